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

// The last of those signals that arrived, 0 for none: a program that blocks
// outside its event loop for a moment (a wait on a socket) learns of the
// signal when that wait is interrupted, before its handler has run.
int LastUnixSignal();

} // namespace lumavera
