#pragma once
#include <QString>

// Files appended to line by line (the watches' log files), held open during one turn of the
// event loop. A file is opened at the first line of a turn and closed when the turn ends, so
// that between bursts other programs (log rotation, an editor) find it closed. Lines nobody
// needs at once wait for the turn's end (or 64 KiB) and go in with one write.
//
// Opening never blocks and never follows a stranger: only a regular file is written; a link
// owned by another user (root aside), anywhere on the path, is refused; nothing is created
// through a link that leads nowhere; a file of another user in a folder that everyone may write
// to and that keeps others' files (sticky, as /tmp) is refused unless it belongs to the folder's
// owner. A link of the user's own (or root's) counts as the file it points to.
namespace AppendFiles {

struct Handle {
    int fd = -1;
    bool created = false;        // made by this open: it gets the header first
    bool closeAfterLine = false; // no event loop to end the turn (another thread, no application)
};

// The open file for path, opened now if it isn't open in this turn yet. Throws
// AppException naming the cause ("Path not found", "File not found", "File access denied", ...).
Handle open(const QString& path);
// Appends one line's bytes whole, or throws AppException naming the cause: a line the disk has
// no room for is taken back whole, since a piece of it would run into the next line written.
void appendLine(const Handle& file, const QByteArray& bytes);

enum class When {
    Now,        // in the file, with what waited before it, when append returns
    ByTurnEnd,  // in the file when the turn ends
};
// Appends an entry (one or more whole lines) to path's file, opened in this turn. An entry
// that finds no room is taken back whole and refused: this call's own entry with AppException
// (the file is closed, so the next line opens it afresh), an earlier one that waited with an
// error box naming the cause.
void append(const QString& path, const QByteArray& bytes, When when);
// Closes a handle that is closed after each line (`closeAfterLine`), or throws the cause.
void closeLineHandle(const Handle& file);
// Closes path's file after a failed write, so the next line opens it afresh.
void discard(const QString& path);
// After a failed write: closes a handle of its own, or path's file.
void discardAfterFailure(const QString& path, const Handle& file);
// Writes what waits and closes every file now; the end of the turn does this by itself. An
// entry that found no room is told in an error box.
void closeAll();

// The text that names a failed step's cause ("I/O error <errno>" when it has no text of its
// own); `creating`: a missing name means a missing folder.
QString causeOf(int err, bool creating = false);

}  // namespace AppendFiles
