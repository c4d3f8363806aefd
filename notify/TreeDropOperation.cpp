#include "notify/TreeDropOperation.h"

#include "platform/files/FileMoves.h"
#include "platform/text/PathRelations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString cleanLocal(const QUrl& url) { return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString(); }

using PathRelations::isAtOrUnder;

using FileMoves::exists;

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
        if (!FileMoves::copyLink(from, to)) {
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

}  // namespace

namespace TreeDropOperation {

bool canDrop(const QList<QUrl>& urls, const QString& folder)
{
    if (urls.isEmpty() || folder.isEmpty()) return false;
    const QString target = QDir::cleanPath(folder);
    for (const QUrl& url : urls) {
        const QString path = cleanLocal(url);
        if (path.isEmpty() || path == u"/") return false;
        if (isAtOrUnder(target, path)) return false;  // into itself
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
            bool otherVolume = false;
            const QString why = FileMoves::renameNoReplace(from, to, &otherVolume);
            if (why.isEmpty()) continue;
            if (!otherVolume) {
                failures.append(QStringLiteral("Cannot move %1: %2").arg(from, why));
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
