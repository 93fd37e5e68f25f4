#pragma once

#include <QFile>
#include <QString>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// One run of the real tool, offscreen, with `configHome` as its
// configuration folder: started, asked to stop with SIGTERM after
// `stopAfterMs`, and measured. With `fileLimitBytes` >= 0 the tool may not
// write files larger than that, which the kernel reports to it much as a
// full disk.
struct ToolRun
{
    bool cleanExit = false; // stopped by SIGTERM the ordinary way
    long maxRssKb = 0;
    double cpuMs = 0;

    static ToolRun start(const char *binary, const QString &configHome, int stopAfterMs,
                         long fileLimitBytes = -1)
    {
        const QByteArray home = QFile::encodeName(configHome);
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("XDG_CONFIG_HOME", home.constData(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            if (fileLimitBytes >= 0) {
                std::signal(SIGXFSZ, SIG_IGN); // stays ignored across exec
                const rlimit limit{rlim_t(fileLimitBytes), rlim_t(fileLimitBytes)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            ::execl(binary, binary, static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::usleep(useconds_t(stopAfterMs) * 1000);
        ::kill(child, SIGTERM);
        int status = 0;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        ToolRun run;
        run.cleanExit = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        run.maxRssKb = usage.ru_maxrss;
        run.cpuMs = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                    usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
        return run;
    }
};
