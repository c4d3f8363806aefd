#pragma once
#include "core/Twatcher.h"

#include <QString>

// The two banner lines that head the live log and every new log file.
QString BannerLine1();  // "Vesmor 2.5 running on computer <host> by user <user>"
QString BannerLine2();  // "Windows Platform: <os name>"

// Appends one line to the watch's log file when its WriteToLogFile switch is on; a file that
// doesn't exist yet is created with the two banner lines first. The file is opened and closed
// within the call. Every step is checked: a failure raises AppException naming the cause
// ("File access denied", "Disk full", "Path not found", ..., else "I/O error <errno>").
void WriteToLog(Twatcher watch, const QString& line);
