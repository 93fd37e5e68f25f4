#include "app/unixsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lumavera {

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t lastSignal = 0;

void onSignal(int signal)
{
    lastSignal = signal;
    // Only a write is safe in a signal handler; the event loop does the rest.
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

void OnUnixSignals(std::initializer_list<int> which, QObject *context,
                   std::function<void()> handler)
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    for (int sig : which)
        std::signal(sig, onSignal);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [handler = std::move(handler)] {
                         char buf[16];
                         while (::read(signalPipe[0], buf, sizeof buf) > 0) {
                         }
                         handler();
                     });
}

int LastUnixSignal()
{
    return lastSignal;
}

} // namespace lumavera
