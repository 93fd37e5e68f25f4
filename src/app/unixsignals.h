#pragma once

#include <QObject>

#include <functional>

namespace lumavera {

// Runs `handler` from the event loop when one of the given signals (SIGTERM,
// SIGINT, ...) arrives, so that a program asked to stop by the desktop, the
// terminal or a script shuts down the ordinary way. The handler is owned by
// `context` and goes with it.
void OnUnixSignals(std::initializer_list<int> which, QObject *context,
                   std::function<void()> handler);

} // namespace lumavera
