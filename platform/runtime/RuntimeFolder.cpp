#include "platform/runtime/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RuntimeFolder {
namespace {

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Creates the missing folders of an absolute path, each with mode 0700.
void makePath(const QString& path)
{
    QByteArray sofar;
    for (const QByteArray& part : QFile::encodeName(QDir::cleanPath(path)).split('/')) {
        if (part.isEmpty()) continue;
        sofar += '/' + part;
        ::mkdir(sofar.constData(), 0700);
    }
}

QString homeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty()) return home;
    const passwd* entry = ::getpwuid(::geteuid());
    return entry && entry->pw_dir ? QFile::decodeName(entry->pw_dir) : QString();
}

QString safeHostName(const QString& hostName)
{
    QString name = hostName;
    for (QChar& c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'.') c = u'_';
    return name.isEmpty() || name.startsWith(u'.') ? QStringLiteral("localhost") + name : name;
}

}  // namespace

QString whyNotPrivate(const QString& path, int* handle)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat link {};
    if (p.isEmpty() || ::lstat(p.constData(), &link) != 0)
        return QStringLiteral("it can't be inspected (%1)").arg(systemError(p.isEmpty() ? ENOENT : errno));
    if (S_ISLNK(link.st_mode) && link.st_uid != ::geteuid() && link.st_uid != 0)
        return QStringLiteral("it is a link that belongs to another user");
    // The checks below look at what was opened, so a folder swapped in meanwhile is never used.
    const int fd = ::open(p.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return QStringLiteral("it can't be opened as a folder (%1)").arg(systemError(errno));
    struct stat st {};
    QString why;
    if (::fstat(fd, &st) != 0) why = QStringLiteral("it can't be inspected (%1)").arg(systemError(errno));
    else if (st.st_uid != ::geteuid()) why = QStringLiteral("it belongs to another user");
    else if (st.st_mode & (S_IWGRP | S_IWOTH)) why = QStringLiteral("others may write to it");
    if (!why.isEmpty() || !handle) ::close(fd);
    else *handle = fd;
    return why;
}

Folder choose(const QString& runtimeDir, const QString& cacheHome, const QString& home, const QString& hostName,
              const QString& tempDir)
{
    QString refusedRuntime;
    if (!runtimeDir.isEmpty()) {
        int fd = -1;
        const QString why = QDir::isAbsolutePath(runtimeDir) ? whyNotPrivate(runtimeDir, &fd)
                                                             : QStringLiteral("it is not an absolute path");
        if (why.isEmpty()) return {QDir::cleanPath(runtimeDir), QString(), fd};
        refusedRuntime = QStringLiteral(" (XDG_RUNTIME_DIR %1 is not used: %2)").arg(runtimeDir, why);
    }
    QString cache = QDir::isAbsolutePath(cacheHome) ? cacheHome : QString();
    if (cache.isEmpty() && QDir::isAbsolutePath(home)) cache = home + QStringLiteral("/.cache");
    // An account without a home (an id with no account entry, HOME unset): a folder of this
    // user's id in the temporary folder, used only when it is private as made.
    QString folder;
    if (!cache.isEmpty()) folder = QDir::cleanPath(cache + QStringLiteral("/vesmor-") + safeHostName(hostName));
    else if (QDir::isAbsolutePath(tempDir)) folder = QDir::cleanPath(tempDir + QStringLiteral("/vesmor-%1").arg(::geteuid()));
    else return {QString(), QStringLiteral("there is no home folder") + refusedRuntime, -1};
    makePath(folder);
    int fd = -1;
    const QString why = whyNotPrivate(folder, &fd);
    if (!why.isEmpty()) return {QString(), QStringLiteral("the folder %1 is not private: %2%3").arg(folder, why, refusedRuntime), -1};
    return {folder, QString(), fd};
}

const Folder& current()
{
    static const Folder folder = choose(qEnvironmentVariable("XDG_RUNTIME_DIR"), qEnvironmentVariable("XDG_CACHE_HOME"),
                                        homeFolder(), QSysInfo::machineHostName(), QDir::tempPath());
    return folder;
}

QByteArray reachableName(int handle, const QByteArray& name)
{
    return "/proc/self/fd/" + QByteArray::number(handle) + '/' + name;
}

}  // namespace RuntimeFolder
