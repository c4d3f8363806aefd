#pragma once
#include <QString>

// Where the program keeps its settings: the user's temporary folder (TEMP, else TMP, else the
// per-user cache folder) in long form, followed by "/VSM25".
namespace SettingsFolderService {

// Absolute, normalised, without a trailing "/" (symbolic links kept).
QString temporaryFolder();

// temporaryFolder() + "/VSM25".
QString settingsFolderPath();

enum class FolderState { Private, Created, CreateFailed, NotPrivate };

// Creates the folder with mode 0700 when no directory exists there (a link to a directory
// counts as existing). NotPrivate: it belongs to another user, or group or others may write it.
FolderState ensurePrivateFolder(const QString& path);

}  // namespace SettingsFolderService
