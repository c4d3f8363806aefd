#pragma once
#include <QString>
#include <QStringList>

#include <optional>

class WatchWindow;

// Applies the command line to the settings file: "-all" or a watch name marks watches to run,
// "-m" asks to hide to the tray after start-up. Returns the start-minimised flag; `selected`
// gets the sections the command line selected. A name that marks no watch is said in a red
// live-log line: a mistyped name would otherwise start nothing without a word.
bool CheckForParameters(WatchWindow& window, const QStringList& parameters, QStringList* selected = nullptr);

// What `vesmor --help` and `vesmor --version` print: answered before anything starts (no
// window, no settings folder, no running copy asked). Empty for every other command line.
std::optional<QString> CommandLineAnswer(const QStringList& parameters);
