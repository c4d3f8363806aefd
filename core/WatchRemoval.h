#pragma once

class WatchWindow;
struct Twatcher;

// Removes the watch a slot shows: stops its monitor, erases its section and writes the blue
// live-log line. Asks nothing (the caller has asked) and leaves the panels to the caller, which
// rebinds the slots and loads the watch list again. A record without a name does nothing.
void RemoveWatch(WatchWindow& window, const Twatcher& w);
