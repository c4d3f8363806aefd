#pragma once
#include "actions/EventKinds.h"
#include "core/Twatcher.h"

class AlertHooks;
class TRzLauncher;
class WatchWindow;

// One event of one slot: builds the event text and the argument from the kinds' table and runs
// the five actions in order: desktop alert, red live-log line, log file, command, pop-up (the
// red line first for association and free-space change). Each action gets a copy of the slot's
// record as it is when that action starts, so an edit made during an earlier action's wait
// reaches only the later ones. An action's failure (a log-file error) is let through: the
// actions after it don't run.
//   first:  the event's item; for a delete or rename the first (old) item
//   second: the new item of a rename
void HandleShellEvent(WatchWindow& window, AlertHooks& hooks, const Twatcher& slot, TRzLauncher& launcher,
                      EventKind kind, const EventItem& first = {}, const EventItem& second = {});
