#pragma once
#include <QStringList>

class WatchWindow;

// The Start/Stop button of slot n: starts the slot's watch when its monitor is idle, stops it
// when it runs; writes `active`, the button, the panel colours and the green live-log line. The
// watch is the section named as the slot's panel names it; a slot without one does nothing on
// Start. Stop never needs the folder. A stored folder that can't be found throws "Invalid
// folder" before anything changes. False when the slot shows a watch whose section is gone from
// the file (another copy removed it): a red line says so, nothing starts, and the caller reloads
// the list.
bool StartStopWatch(WatchWindow& window, int slot);

// Whether slot n's watch is still stored as shown. If not, a red line names it and false is
// returned, for the caller to reload the list. An empty slot counts as stored.
bool SlotStillStored(WatchWindow& window, int slot);

// Starts every stored watch whose `active` is "1", and those of `alsoStart` (sections the
// command line selected where the file could not mark them), in file order. A watch that can't
// start is named in a red live-log line, shown stopped, stays stored as running, and the others
// still start.
void CheckForAutoRuns(WatchWindow& window, const QStringList& alsoStart = {});
