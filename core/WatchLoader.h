#pragma once
#include "notify/TStShellNotification.h"

#include <QString>

// Loads every section of the settings file into its slot: the slot's record, its monitor's
// folder, sub-folder flag and event set, and its list panel's lines and colours. Never starts
// or stops a monitor. A section whose `argindex` is not a number is reported in the error box
// and skipped; the sections after it still load.
void LoadSettingsToWatchList();

// The event set of the last section whose `name` equals `MonName` exactly; empty when none.
TStNotifyEventsSet SetFlags(const QString& MonName);
