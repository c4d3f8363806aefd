#pragma once
#include <QStringList>

// Applies the command line to the settings file: "-all" or a watch name marks watches to run,
// "-m" asks to hide to the tray after start-up. Returns the start-minimised flag; `selected`
// gets the sections the command line selected.
bool CheckForParameters(const QStringList& parameters, QStringList* selected = nullptr);
