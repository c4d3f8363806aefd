#pragma once
#include <QStringList>

// Applies the command line to the settings file: "-all" or a watch name marks watches to run,
// "-m" asks to hide to the tray after start-up. Returns the start-minimised flag.
bool CheckForParameters(const QStringList& parameters);
