#pragma once
#include <QString>

// What copying and moving dropped files needs of the file system beyond Qt: looking at a name
// without following it, copying a link as a link, and a rename that never replaces anything.
namespace FileMoves {

// True when something has this name (a link that leads nowhere counts).
bool exists(const QString& path);
// Makes `to` a link with the same target text as the link `from`.
bool copyLink(const QString& from, const QString& to);
// Renames without ever replacing `to`: empty on success, else the system's text for why;
// `otherVolume` tells that a rename can't cross volumes (then copy and remove instead).
QString renameNoReplace(const QString& from, const QString& to, bool* otherVolume);

}  // namespace FileMoves
