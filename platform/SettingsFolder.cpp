#include "platform/SettingsFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SettingsFolderService {
namespace {

QString nonEmptyEnv(const char* name)
{
    return qEnvironmentVariableIsEmpty(name) ? QString() : qEnvironmentVariable(name);
}

QString homeFolder()
{
    const QString home = nonEmptyEnv("HOME");
    if (!home.isEmpty()) return home;
    // An account started without HOME still has one in the password database.
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return QFile::decodeName(found->pw_dir);
    return QString();
}

// The per-user cache folder as the XDG rules give it (a relative XDG_CACHE_HOME is ignored).
QString cacheFolder()
{
    const QString xdg = nonEmptyEnv("XDG_CACHE_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg;
    return homeFolder() + QStringLiteral("/.cache");
}

bool temporaryFolderIsTheCache() { return nonEmptyEnv("TEMP").isEmpty() && nonEmptyEnv("TMP").isEmpty(); }

// Long form: absolute, ".", ".." and doubled separators folded, no trailing "/"; links stay.
QString longForm(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    return clean == QStringLiteral("/") ? QString() : clean;
}

bool trustedLinkOwner(uid_t uid) { return uid == ::geteuid() || uid == 0; }

CheckedFolder result(FolderState state, const QString& path, int fd = -1)
{
    return CheckedFolder{state, OpenFolder::adopt(path, fd)};
}

}  // namespace

QString temporaryFolder()
{
    QString folder = nonEmptyEnv("TEMP");
    if (folder.isEmpty()) folder = nonEmptyEnv("TMP");
    if (folder.isEmpty()) folder = cacheFolder();
    return longForm(folder);
}

QString settingsFolderPath() { return temporaryFolder() + QStringLiteral("/VSM25"); }

void createMissingCacheFolders()
{
    if (!temporaryFolderIsTheCache()) return;
    const QString folder = temporaryFolder();
    if (folder.isEmpty()) return;
    qsizetype at = 0;
    while (at >= 0) {
        at = folder.indexOf(u'/', at + 1);
        const QByteArray level = QFile::encodeName(at < 0 ? folder : folder.left(at));
        struct stat st {};
        if (::lstat(level.constData(), &st) == 0) continue;
        if (errno != ENOENT) return;
        if (::mkdir(level.constData(), 0700) != 0) return;
        ::chmod(level.constData(), 0700);  // whatever the umask took away or left
    }
}

CheckedFolder openPrivateFolder(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    const qsizetype slash = p.lastIndexOf('/');
    const QByteArray parentPath = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : p.left(slash);
    const QByteArray name = p.mid(slash + 1);
    const int parent = ::open(parentPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        const bool nothingThere = errno == ENOENT || errno == ENOTDIR;
        return result(nothingThere ? FolderState::CreateFailed : FolderState::NotInspectable, path);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeParent{parent};

    bool created = false;
    // Someone may put something in the place between our look and our step: look again, twice.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat st {};
        if (::fstatat(parent, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return result(FolderState::NotInspectable, path);
            if (::mkdirat(parent, name.constData(), 0700) == 0) {
                created = true;
            } else if (errno != EEXIST) {
                return result(FolderState::CreateFailed, path);
            }
            continue;
        }
        int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        if (S_ISLNK(st.st_mode)) {
            if (!trustedLinkOwner(st.st_uid)) return result(FolderState::NotPrivate, path);
        } else {
            // Judged as it stands, before any attempt to open it (a stranger's 0700 folder
            // can't be opened, and is still a stranger's).
            if (S_ISDIR(st.st_mode) && (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH))))
                return result(FolderState::NotPrivate, path);
            flags |= O_NOFOLLOW;
        }
        const int fd = ::openat(parent, name.constData(), flags);
        if (fd < 0) {
            // A link of ours that leads nowhere, or to something else than a folder, is in the
            // way of the folder: as when a file stands there, the folder can't be made.
            if (errno == ENOTDIR || (errno == ENOENT && S_ISLNK(st.st_mode))) return result(FolderState::CreateFailed, path);
            if (errno == ELOOP || errno == ENOENT) continue;  // changed under us
            return result(FolderState::NotInspectable, path);
        }
        struct stat dir {};
        if (::fstat(fd, &dir) != 0 || !S_ISDIR(dir.st_mode)) {
            ::close(fd);
            return result(FolderState::NotInspectable, path);
        }
        if (dir.st_uid != ::geteuid() || (dir.st_mode & (S_IWGRP | S_IWOTH))) {
            ::close(fd);
            return result(FolderState::NotPrivate, path);
        }
        if (created) ::fchmod(fd, 0700);
        return result(created ? FolderState::Created : FolderState::Private, path, fd);
    }
    return result(FolderState::NotInspectable, path);
}

}  // namespace SettingsFolderService
