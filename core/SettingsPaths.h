#pragma once
#include "platform/files/OpenFolder.h"
#include "platform/settings/ProfileFile.h"

#include <QString>

// The settings folder, set once at start-up, and the settings file inside it. The file is
// never cached: every operation opens it afresh through ProfileFile.
extern QString SettingsFolder;

// The settings folder as start-up checked and opened it. Every settings read and write goes
// through this opening, so the folder's path being swapped afterwards changes nothing.
extern OpenFolder SettingsFolderOpened;

// The settings file's path, for messages.
QString SettingsFilePath();

// The settings file: in the opened folder when SettingsFolder is the one start-up opened (when
// it could not be opened, reads find nothing and writes fail); otherwise by its path (tests).
ProfileFile::Location SettingsFile();
