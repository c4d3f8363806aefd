#pragma once
#include "platform/OpenFolder.h"

#include <QString>

// Where the program keeps its settings: the user's temporary folder (TEMP, else TMP, else the
// per-user cache folder) in long form, followed by "/VSM25".
namespace SettingsFolderService {

// Absolute, normalised, without a trailing "/" (symbolic links kept). Looks, never creates.
QString temporaryFolder();

// temporaryFolder() + "/VSM25".
QString settingsFolderPath();

// When neither TEMP nor TMP names the temporary folder, creates whatever is missing of the
// per-user cache folder, each new level with mode 0700 (a new account has no ~/.cache yet).
void createMissingCacheFolders();

enum class FolderState {
    Private,         // there, the user's own, nobody else may write to it
    Created,         // was missing; made with mode 0700
    CreateFailed,    // nothing usable there and it could not be made
    NotPrivate,      // another user's (or a link of another user's), or others may write to it
    NotInspectable,  // something may be there but can't be looked at
};

struct CheckedFolder {
    FolderState state = FolderState::CreateFailed;
    // Open for Private and Created: every later use goes through this opening, so the path
    // being swapped after the check changes nothing. Not open otherwise (path kept).
    OpenFolder folder;
};

// Judges the folder itself, not what a link at its place points to: a link counts only when
// it is the user's own (or root's), and then the folder it leads to is judged. Creates the one
// folder level (mode 0700) when nothing is there, and opens it once.
CheckedFolder openPrivateFolder(const QString& path);

}  // namespace SettingsFolderService
