#pragma once

#include "events.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <functional>

// The virtual module as a separate process on a pty linked at `link`; it is
// up once it has printed its link.
class ModuleProcess
{
public:
    ModuleProcess(const QString &link, const QStringList &args) : link_(link)
    {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            while (process_.canReadLine())
                lines << QString::fromLocal8Bit(process_.readLine()).trimmed();
        });
        process_.start(QStringLiteral(VIRTUAL_MODULE), QStringList{"--link", link} + args);
    }

    ~ModuleProcess() { stop(); }

    bool started()
    {
        return waitUntil([this] { return lines.contains(QStringLiteral("link ") + link_); }, 5000);
    }

    // Ends it as Ctrl+C would: the link goes with it.
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }

private:
    QStringList lines;
    QString link_;
    QProcess process_;
};
