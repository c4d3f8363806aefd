#pragma once
#include "core/Twatcher.h"

#include <QString>

class TRzLauncher;
class WatchWindow;

// Runs the watch's program for one event when its RunProgram switch is on, with the argument
// as parameters when UseArguments is on, after waiting (WaitForProcess) until the file the
// argument names is free. Writes the blue "execute" line after every start attempt. The wait
// tests the file every 100 ms while the window keeps handling events; it ends when the file is
// free or gone, or when the window closes (the program is then not started).
void ExecuteCommand(WatchWindow& window, Twatcher watch, TRzLauncher& launcher, const QString& argument);

// True when a file of that name exists and another program holds it open (or it can't be
// opened for reading and writing at all). A file this user can't open for writing is in use
// only while someone has it open for writing.
bool IsFileInUse(const QString& fileName);
