#pragma once
#include <QString>

// The folder that holds this user's single-instance objects: one in which only this user can
// create names, so that nobody else can plant an object where the program looks for its own.
// It is $XDG_RUNTIME_DIR when that is set and private; otherwise "vesmor-<host name>" in the
// per-user cache folder ($XDG_CACHE_HOME, else ~/.cache), made with mode 0700 (missing parents
// too); without a home, "vesmor-<user id>" in the temporary folder. A folder is private when it belongs to this user and neither group nor others may write
// to it; a link to it counts only when the link is this user's or root's.
namespace RuntimeFolder {

struct Folder {
    QString path;   // empty when no private folder could be had
    QString error;  // why not
    int handle = -1;  // the folder, opened once: names inside are reached relative to it
};

// The folder of this process, chosen and opened at the first call, kept until the process ends.
const Folder& current();

// The choice made from these values (as found in the environment); the folder is opened and the
// caller owns the handle. `hostName` names the fallback folder, so that a home shared between
// machines keeps their objects apart.
Folder choose(const QString& runtimeDir, const QString& cacheHome, const QString& home, const QString& hostName,
              const QString& tempDir = QString());

// Why the folder at `path` is not private (empty when it is); with `handle`, the folder is opened
// and handed back on success.
QString whyNotPrivate(const QString& path, int* handle = nullptr);

// A path that reaches `name` inside the opened folder, short enough for a socket address.
QByteArray reachableName(int handle, const QByteArray& name);

}  // namespace RuntimeFolder
