#include "notify/TreeDropOperation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QString cleanLocal(const QUrl& url) { return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString(); }

bool isSameOrBelow(const QString& path, const QString& base)
{
    return path == base || base == u"/" || path.startsWith(base + u'/');
}

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Copies a file, a link (as a link) or a whole folder; refuses to replace anything.
bool copyTree(const QString& from, const QString& to, QString& why, bool* made = nullptr)
{
    const QFileInfo info(from);
    if (exists(to)) {
        why = QStringLiteral("%1 already exists").arg(to);
        return false;
    }
    if (info.isSymLink()) {
        // The link itself, with its target text unchanged.
        char target[PATH_MAX];
        const ssize_t n = ::readlink(QFile::encodeName(from).constData(), target, sizeof target - 1);
        if (n < 0 || ::symlink(QByteArray(target, n).constData(), QFile::encodeName(to).constData()) != 0) {
            why = QStringLiteral("Cannot copy %1").arg(from);
            return false;
        }
        return true;
    }
    if (info.isDir()) {
        if (!QDir().mkdir(to)) {
            why = QStringLiteral("Cannot create %1").arg(to);
            return false;
        }
        if (made) *made = true;
        const QStringList names =
            QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names) {
            if (!copyTree(QDir(from).filePath(name), QDir(to).filePath(name), why)) return false;
        }
        return true;
    }
    QFile source(from);
    if (!source.copy(to)) {
        why = QStringLiteral("Cannot copy %1: %2").arg(from, source.errorString());
        return false;
    }
    return true;
}

// rename() that never replaces the target.
int renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray a = QFile::encodeName(from), b = QFile::encodeName(to);
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
    if (exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(a.constData(), b.constData());
}

}  // namespace

namespace TreeDropOperation {

bool canDrop(const QList<QUrl>& urls, const QString& folder)
{
    if (urls.isEmpty() || folder.isEmpty()) return false;
    const QString target = QDir::cleanPath(folder);
    for (const QUrl& url : urls) {
        const QString path = cleanLocal(url);
        if (path.isEmpty() || path == u"/") return false;
        if (isSameOrBelow(target, path)) return false;  // into itself
        if (QFileInfo(path).path() == target) return false;  // already there
    }
    return true;
}

QStringList run(const QList<QUrl>& urls, const QString& folder, bool move)
{
    QStringList failures;
    if (!canDrop(urls, folder)) {
        failures.append(QStringLiteral("Cannot drop here: %1").arg(folder));
        return failures;
    }
    const QString target = QDir::cleanPath(folder);
    for (const QUrl& url : urls) {
        const QString from = cleanLocal(url);
        const QString to = QDir(target).filePath(QFileInfo(from).fileName());
        if (!exists(from)) {
            failures.append(QStringLiteral("%1 no longer exists").arg(from));
            continue;
        }
        if (exists(to)) {
            failures.append(QStringLiteral("%1 already exists").arg(to));
            continue;
        }
        if (move) {
            if (renameNoReplace(from, to) == 0) continue;
            if (errno != EXDEV) {
                failures.append(QStringLiteral("Cannot move %1: %2").arg(from, QString::fromLocal8Bit(strerror(errno))));
                continue;
            }
        }
        QString why;
        bool made = false;
        if (!copyTree(from, to, why, &made)) {
            // Leave nothing half-copied behind (only what this copy made); the source is untouched.
            if (made && QFileInfo(to).isDir() && !QFileInfo(to).isSymLink()) QDir(to).removeRecursively();
            else if (made) QFile::remove(to);
            failures.append(why);
            continue;
        }
        if (move) {
            const bool removed = QFileInfo(from).isDir() && !QFileInfo(from).isSymLink() ? QDir(from).removeRecursively()
                                                                                         : QFile::remove(from);
            if (!removed) failures.append(QStringLiteral("Copied %1 but could not remove it").arg(from));
        }
    }
    return failures;
}

}  // namespace TreeDropOperation
