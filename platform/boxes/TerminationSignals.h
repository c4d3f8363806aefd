#pragma once
#include <functional>

// SIGTERM, SIGINT and SIGHUP delivered as a call on the main thread, so that they can close
// the main window the way the Exit button does; the call comes from a box's or a wait's event
// loop as well. Whatever the program is doing, it ends within a second of the first signal:
// when it has not ended by then, it ends at once with exit code 0 (nothing is saved at exit
// anyway) and says so on standard error.
namespace TerminationSignals {

// Installs the handlers; `onSignal` runs from the event loop, once per signal received, after
// every open box has been dismissed (later ones are answered at once). The main event loop is
// also asked to end, even when it only starts after the signal.
void install(std::function<void()> onSignal);

// How long the program may take to end after the first signal.
constexpr int GraceMs = 900;

}  // namespace TerminationSignals
