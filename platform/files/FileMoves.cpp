#include "platform/files/FileMoves.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileMoves {

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool copyLink(const QString& from, const QString& to)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(QFile::encodeName(from).constData(), target, sizeof target - 1);
    return n >= 0 && ::symlink(QByteArray(target, n).constData(), QFile::encodeName(to).constData()) == 0;
}

QString renameNoReplace(const QString& from, const QString& to, bool* otherVolume)
{
    if (otherVolume) *otherVolume = false;
    const QByteArray a = QFile::encodeName(from), b = QFile::encodeName(to);
    auto failed = [&] {
        if (otherVolume) *otherVolume = errno == EXDEV;
        return QString::fromLocal8Bit(strerror(errno));
    };
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return failed();
#endif
    if (exists(to)) {
        errno = EEXIST;
        return failed();
    }
    if (::rename(a.constData(), b.constData()) == 0) return {};
    return failed();
}

}  // namespace FileMoves
