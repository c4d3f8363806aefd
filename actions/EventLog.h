#pragma once
#include "core/Twatcher.h"

#include <QString>

// Appends one line to the watch's log file when its WriteToLogFile switch is on; a file that
// doesn't exist yet is created with the two banner lines first. The line is in the file when
// this returns; the file stays open until the event loop's turn ends (AppendFiles). Every
// step is checked: a failure raises AppException naming the cause ("File access denied",
// "Disk full", "Path not found", ..., else "I/O error <errno>").
void WriteToLog(const Twatcher& watch, const QString& line);
