#pragma once
#include <QString>

// The settings folder, set once at start-up, and the settings file inside it. The file is
// never cached: every operation opens it afresh through ProfileFile.
extern QString SettingsFolder;

QString SettingsFilePath();
