#include "core/SettingsPaths.h"

QString SettingsFolder;
OpenFolder SettingsFolderOpened;

QString SettingsFilePath() { return SettingsFolder + QStringLiteral("/settings.cfg"); }

ProfileFile::Location SettingsFile()
{
    if (!SettingsFolder.isEmpty() && SettingsFolderOpened.path() == SettingsFolder)
        return ProfileFile::Location(SettingsFolderOpened, QStringLiteral("settings.cfg"));
    return ProfileFile::Location(SettingsFilePath());
}
