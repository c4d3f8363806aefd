#pragma once
#include "core/WatchEvents.h"

#include <QString>
#include <QStringList>

// What the editor holds when Apply stores a watch.
struct WatchEditorInput {
    QString nameText;  // the name box as typed
    QString path;      // the folder selected in the tree
    bool sub = false;
    std::array<bool, EventKindCount> events{};  // by row of WatchEvents
    bool runProgram = false;
    QString program;
    bool useArguments = false;
    int argumentIndex = -1;
    bool wait = false;
    bool writeLog = false;
    QString logFile;
    bool popup = false;
    bool desktop = false;
};

class WatchWindow;

// Creates the settings file with its sample section when no file exists.
void CheckForIni();

// A watch name as stored: the text with every tab and then every blank removed.
QString WatchNameOf(const QString& nameText);

// Whether a watch name can be stored and found again: no "[" or "]", no control character, not
// wrapped in a pair of quotes.
bool IsStorableWatchName(const QString& name);
inline const QString UnstorableNameMessage =
    QStringLiteral("Watch name can't contain [, ] or control characters, or be enclosed in quotes");

enum class PopulateResult {
    EmptyName,  // "Please enter a watch name" shown; the caller focuses the name box
    BadName,    // UnstorableNameMessage shown; the caller focuses the name box
    ListFull,   // "Watch list is full, delete a watch first" shown
    Running,    // a watch of that name runs: the box says to stop it first
    Stored,
};

// Stores the watch from the editor: keeps the slot of a stored name, takes the lowest slot no
// section holds for a new one, clears the editor and writes the blue live-log line; `storedSlot`
// gets the slot. Refuses the name of a running watch. The caller shows the tab.
PopulateResult PopulatIni(WatchWindow& window, const WatchEditorInput& input, int* storedSlot = nullptr);

// The command line's activation: `active` = "1" in every section whose `name` equals `name`
// exactly, or in every section when `all`. Returns those sections, also when the file can't be
// written: they are to start all the same.
QStringList ActivateWatches(const QString& name, bool all);
