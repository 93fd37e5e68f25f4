// Start-up cost of the tool with settings files of different sizes: the CPU
// time of a whole start and stop and the peak memory, for one or two builds
// side by side (the current one, and an older one given as a second path).

#include "toolrun.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LUMAVERA [OLDER-LUMAVERA]\n", argv[0]);
        return 2;
    }
    QTemporaryDir dir;
    QByteArray keys;
    for (int i = 0; keys.size() < (1 << 20) - 32; ++i)
        keys += "Key" + QByteArray::number(i) + "=" + QByteArray::number(i % 256) + "\r\n";
    struct Case
    {
        const char *name;
        bool older; // worth running on the older build
    };
    const std::vector<Case> cases = {
        {"empty file", true},
        {"1 MiB of keys", true},
        {"1 MiB of blank lines", true},
        {"100 MiB of blank lines", false},
    };
    // The files are written first and this process lets go of them before
    // any start: a child's peak memory counts what it inherited at fork.
    const auto folder = [&](const Case &c) {
        return dir.filePath(QString::fromLatin1(c.name).replace(' ', '-'));
    };
    const auto content = [&](int i) -> QByteArray {
        switch (i) {
        case 1:
            return "[Colors]\r\n" + keys;
        case 2:
            return QByteArray(1 << 20, '\n');
        case 3:
            return QByteArray(100 << 20, '\n');
        default:
            return {};
        }
    };
    for (int i = 0; i < int(cases.size()); ++i) {
        QDir().mkpath(folder(cases[i]) + QStringLiteral("/lumavera"));
        QFile f(folder(cases[i]) + QStringLiteral("/lumavera/original.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(content(i));
    }
    keys = QByteArray();
    std::printf("%-26s %-8s %12s %14s\n", "settings file", "build", "CPU ms", "peak RSS MiB");
    for (const Case &c : cases) {
        const QString home = folder(c);
        for (int b = 1; b < argc; ++b) {
            if (b > 1 && !c.older) {
                std::printf("%-26s %-8s %12s %14s\n", c.name, "older", "(skipped)", "");
                continue;
            }
            std::vector<double> cpu;
            long rss = 0;
            bool ok = true;
            for (int round = 0; round < 3; ++round) {
                const QString ini = home + QStringLiteral("/lumavera/lumavera.ini");
                QFile::remove(ini);
                QFile::copy(home + QStringLiteral("/lumavera/original.ini"), ini);
                // The older build may need many seconds for a large file.
                const ToolRun s = ToolRun::start(argv[b], home, b == 1 ? 2000 : 15000);
                ok = ok && s.cleanExit;
                cpu.push_back(s.cpuMs);
                rss = std::max(rss, s.maxRssKb);
            }
            std::sort(cpu.begin(), cpu.end());
            std::printf("%-26s %-8s %12.0f %14.1f%s\n", c.name, b == 1 ? "this" : "older", cpu[1],
                        rss / 1024.0, ok ? "" : "  (not up within 2 s)");
        }
    }
    return 0;
}
