#include "core/SettingsPaths.h"

QString SettingsFolder;

QString SettingsFilePath() { return SettingsFolder + QStringLiteral("/settings.cfg"); }
