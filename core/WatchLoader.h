#pragma once
#include "notify/TStShellNotification.h"

#include <QString>

class WatchWindow;

// Loads every section of the settings file into its slot: the slot's record, its monitor's
// folder, sub-folder flag and event set, and its list panel's lines and colours (running only
// while its monitor runs, whatever `active` says). Never starts or stops a monitor. Reads the
// file once; a tidying write that fails is named in red and cuts nothing short. A section is not loaded, and a red live-log line
// says why, when its `panel` names no slot, its `name` is not its section's name, an earlier
// section holds its slot or its name (in any case), or its `argindex` is not a number; the
// sections after it still load.
void LoadSettingsToWatchList(WatchWindow& window);
