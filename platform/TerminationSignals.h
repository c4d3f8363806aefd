#pragma once
#include <functional>

// SIGTERM, SIGINT and SIGHUP delivered as a call on the main thread, so that they can close
// the main window the way the Exit button does.
namespace TerminationSignals {

// Installs the handlers; `onSignal` runs from the event loop, once per signal received.
void install(std::function<void()> onSignal);

}  // namespace TerminationSignals
