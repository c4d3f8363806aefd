#pragma once
#include <QByteArray>
#include <QString>

// Files written whole at a path the user chose (the saved live log). The new content goes to a
// copy beside the file, reaches the disk and is renamed over the old file, so a reader never sees
// half of it and a failed save leaves the old file as it was. Only a regular file is replaced,
// never through a stranger: a link of another user (root aside) anywhere on the path is refused,
// nothing is created where a link points to nothing, and what is replaced is the name, never
// another name of the same file (a hard link). A link of the user's own stays a link: the file
// it leads to is replaced.
namespace FileSaving {

enum class Failed {
    Nothing,
    Create,  // nothing was written; `cause` tells why
    Write,   // the copy could not be written whole; the old file is unchanged
};

struct Result {
    Failed failed = Failed::Nothing;
    QString cause;
};

Result replace(const QString& path, const QByteArray& content);

}  // namespace FileSaving
