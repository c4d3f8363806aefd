#pragma once

class WatchWindow;

// The Start/Stop button of slot n: starts the slot's watch when its monitor is idle, stops it
// when it runs; writes `active`, the button, the panel colours and the green live-log line. A
// slot without a section does nothing. A stored folder that can't be found throws "Invalid
// folder" before anything changes.
void StartStopWatch(WatchWindow& window, int slot);

// Starts every stored watch whose `active` is "1", in file order; the first error ends it.
void CheckForAutoRuns(WatchWindow& window);
