#pragma once
#include "platform/files/OpenFolder.h"

#include <QString>

// Where the program keeps its settings: the user's temporary folder (TEMP, else TMP, else the
// per-user configuration folder) in long form, followed by "/VSM25".
namespace SettingsFolderService {

// Absolute, normalised, without a trailing "/" (symbolic links kept). Looks, never creates.
QString temporaryFolder();

// temporaryFolder() + "/VSM25".
QString settingsFolderPath();

// When neither TEMP nor TMP names the temporary folder, creates whatever is missing of the
// per-user configuration folder, each new level with mode 0700 (a new account has no ~/.config
// yet).
void createMissingConfigFolders();

// Where earlier versions kept the settings when neither TEMP nor TMP was set: "/VSM25" in the
// per-user cache folder, which cache cleaners empty. Empty when TEMP or TMP is set.
QString formerSettingsFolderPath();

// What became of a settings file left in the former settings folder: `from` when it was moved,
// else `left` names it and `why` says why it stays there (empty both when there was none, or when
// the new folder holds one already: that one is the user's current one).
struct FormerSettingsMove {
    QString from;
    QString left;
    QString why;
};

// Moves `name` from the former settings folder into `folder` (the settings folder as opened),
// once: only a regular file or a link of the user's own (moved as a link), from a folder of the
// user's own that nobody else may write to, and only when `folder` holds nothing under that name.
FormerSettingsMove moveFormerSettingsFile(const OpenFolder& folder, const QString& name);

// Why `name` in `folder` can't be read; empty when it can, or when it is not there.
QString unreadableReason(const OpenFolder& folder, const QString& name);

enum class FolderState {
    Private,         // there, the user's own, nobody else may write to it
    Created,         // was missing; made with mode 0700
    CreateFailed,    // nothing usable there and it could not be made
    NotPrivate,      // another user's (or a link of another user's), or others may write to it
    NotInspectable,  // something may be there but can't be looked at
};

struct CheckedFolder {
    FolderState state = FolderState::CreateFailed;
    // For CreateFailed: what stands in the way, for the message.
    QString reason;
    // Open for Private and Created: every later use goes through this opening, so the path
    // being swapped after the check changes nothing. Not open otherwise (path kept).
    OpenFolder folder;
};

// Judges the folder itself, not what a link at its place points to: a link counts only when
// it is the user's own (or root's), and then the folder it leads to is judged. Creates the one
// folder level (mode 0700) when nothing is there, and opens it once.
CheckedFolder openPrivateFolder(const QString& path);

}  // namespace SettingsFolderService
