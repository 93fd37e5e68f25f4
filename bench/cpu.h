#pragma once

#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

// CPU time this process has used, user and system, in milliseconds.
inline double cpuMilliseconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The CPU time this process spends in `ms` of an event loop that sleeps
// until something happens, as the window's own does.
inline double idleCpuMilliseconds(int ms)
{
    const double before = cpuMilliseconds();
    QEventLoop idle;
    QTimer::singleShot(ms, &idle, &QEventLoop::quit);
    idle.exec();
    return cpuMilliseconds() - before;
}
