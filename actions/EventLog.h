#pragma once
#include "core/Twatcher.h"

#include <QString>

enum class LogLineDue {
    Now,        // in the file when WriteToLog returns
    ByTurnEnd,  // nothing of this event needs it sooner: written with the turn's other lines
};

// Appends one line to the watch's log file when its WriteToLogFile switch is on; a file that
// doesn't exist yet is created with the two banner lines first. The file stays open until the
// event loop's turn ends (AppendFiles). Every step is checked: a failure raises AppException
// naming the cause ("File access denied", "Disk full", "Path not found", ..., else
// "I/O error <errno>"); a line that waited for the turn's end and found no room is told in an
// error box then.
void WriteToLog(const Twatcher& watch, const QString& line, LogLineDue due = LogLineDue::Now);
