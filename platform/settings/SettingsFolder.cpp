#include "platform/settings/SettingsFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
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

// A per-user folder as the XDG rules give it (a relative value is ignored).
QString xdgFolder(const char* variable, const char* inHome)
{
    const QString xdg = nonEmptyEnv(variable);
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg;
    return homeFolder() + QLatin1String(inHome);
}

// Not the cache folder: cache cleaners empty it, and the user's watches would go with it.
QString configFolder() { return xdgFolder("XDG_CONFIG_HOME", "/.config"); }
QString cacheFolder() { return xdgFolder("XDG_CACHE_HOME", "/.cache"); }

bool noTemporaryVariable() { return nonEmptyEnv("TEMP").isEmpty() && nonEmptyEnv("TMP").isEmpty(); }

// Long form: absolute, ".", ".." and doubled separators folded, no trailing "/"; links stay.
QString longForm(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    return clean == QStringLiteral("/") ? QString() : clean;
}

bool trustedLinkOwner(uid_t uid) { return uid == ::geteuid() || uid == 0; }

CheckedFolder result(FolderState state, const QString& path, int fd = -1)
{
    return CheckedFolder{state, QString(), OpenFolder::adopt(path, fd)};
}

CheckedFolder createFailed(const QString& path, const QString& reason)
{
    return CheckedFolder{FolderState::CreateFailed, reason, OpenFolder::adopt(path, -1)};
}

struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

// The whole file at `from` copied to a new file `to` (never over one that is there), flushed.
bool copyToNewFile(int fromDir, const char* from, int toDir, const char* to)
{
    const Fd in{::openat(fromDir, from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (in.fd < 0) return false;
    Fd out{::openat(toDir, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (out.fd < 0) return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out.fd, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
        if (!ok) break;
    }
    ok = ok && ::fsync(out.fd) == 0;
    if (!ok) ::unlinkat(toDir, to, 0);
    return ok;
}

}  // namespace

QString temporaryFolder()
{
    QString folder = nonEmptyEnv("TEMP");
    if (folder.isEmpty()) folder = nonEmptyEnv("TMP");
    if (folder.isEmpty()) folder = configFolder();
    return longForm(folder);
}

QString settingsFolderPath() { return temporaryFolder() + QStringLiteral("/VSM25"); }

void createMissingConfigFolders()
{
    if (!noTemporaryVariable()) return;
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

QString formerSettingsFolderPath()
{
    return noTemporaryVariable() ? longForm(cacheFolder()) + QStringLiteral("/VSM25") : QString();
}

FormerSettingsMove moveFormerSettingsFile(const OpenFolder& folder, const QString& name)
{
    const QString former = formerSettingsFolderPath();
    if (former.isEmpty() || !folder.isOpen() || former == folder.path()) return {};
    const QString formerFile = former + u'/' + name;
    auto notMoved = [&](const QString& why) { return FormerSettingsMove{QString(), formerFile, why}; };
    // Judged as the settings folder is: what another user could plant is not taken in.
    const QByteArray formerPath = QFile::encodeName(former);
    struct stat st {};
    if (::lstat(formerPath.constData(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode) && !trustedLinkOwner(st.st_uid)) return {};
    const Fd dir{::open(formerPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0 || ::fstat(dir.fd, &st) != 0) return {};
    const QByteArray file = QFile::encodeName(name);
    struct stat fileSt {};
    if (::fstatat(dir.fd, file.constData(), &fileSt, AT_SYMLINK_NOFOLLOW) != 0) return {};
    // From here on there is a file the user may miss: say why it stays where it is.
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)))
        return notMoved(QStringLiteral("its folder belongs to another user or others may write to it"));
    const bool link = S_ISLNK(fileSt.st_mode);
    if (fileSt.st_uid != ::geteuid()) return notMoved(QStringLiteral("it belongs to another user"));
    if (!link && !S_ISREG(fileSt.st_mode)) return notMoved(QStringLiteral("it is not a plain file"));
    // Never over a settings file that is there: that one is the user's current one. A link of
    // the user's own moves as a link, still leading where it led.
    bool moved = ::renameat2(dir.fd, file.constData(), folder.handle(), file.constData(), RENAME_NOREPLACE) == 0;
    if (!moved && (errno == EXDEV || errno == EINVAL)) {
        // Another file system (or one that can't rename without replacing): copy, then remove.
        if (link) {
            char target[4096];
            const ssize_t n = ::readlinkat(dir.fd, file.constData(), target, sizeof target - 1);
            if (n > 0) {
                target[n] = 0;
                moved = ::symlinkat(target, folder.handle(), file.constData()) == 0;
            }
        } else {
            moved = copyToNewFile(dir.fd, file.constData(), folder.handle(), file.constData());
        }
        if (moved) ::unlinkat(dir.fd, file.constData(), 0);
    }
    if (!moved) {
        if (errno == EEXIST) return {};  // the current one stays; the old one is the user's to remove
        return notMoved(qt_error_string(errno));
    }
    ::fsync(folder.handle());
    return FormerSettingsMove{formerFile, QString(), QString()};
}

QString unreadableReason(const OpenFolder& folder, const QString& name)
{
    if (!folder.isOpen()) return {};
    const int fd = ::openat(folder.handle(), QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    return errno == ENOENT ? QString() : qt_error_string(errno);
}

CheckedFolder openPrivateFolder(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    const qsizetype slash = p.lastIndexOf('/');
    const QByteArray parentPath = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : p.left(slash);
    const QByteArray name = p.mid(slash + 1);
    const int parent = ::open(parentPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        if (errno == ENOENT) return createFailed(path, QStringLiteral("the folder it belongs in does not exist"));
        if (errno == ENOTDIR) return createFailed(path, QStringLiteral("the folder it belongs in is not a folder"));
        return result(FolderState::NotInspectable, path);
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
                return createFailed(path, qt_error_string(errno));
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
            if (errno == ENOTDIR) return createFailed(path, QStringLiteral("something that is not a folder is in its place"));
            if (errno == ENOENT && S_ISLNK(st.st_mode)) return createFailed(path, QStringLiteral("a link that leads nowhere is in its place"));
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
