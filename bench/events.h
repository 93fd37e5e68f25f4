#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <functional>

// Runs the event loop until `done` holds or `ms` pass; whether it held.
inline bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

// The same, woken by each event rather than every 10 ms, so that a figure
// taken right after holds no polling interval; for a wait that events end
// (the window's tick, an answer).
inline bool runEventsUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}
