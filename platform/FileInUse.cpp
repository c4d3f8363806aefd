#include "platform/FileInUse.h"

#include "platform/PathBytes.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileInUse {
namespace {

bool isNumber(const char* s)
{
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// Any descriptor in /proc/*/fd that refers to (dev, ino), other than our own skipFd.
bool heldBySomeone(dev_t dev, ino_t ino, int skipFd)
{
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    const pid_t self = ::getpid();
    bool found = false;
    while (!found) {
        const dirent* p = ::readdir(proc);
        if (!p) break;
        if (!isNumber(p->d_name)) continue;
        const pid_t pid = pid_t(std::atol(p->d_name));
        const QByteArray fdDir = QByteArray("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.constData());
        if (!fds) continue;  // gone, or another user's process
        while (const dirent* f = ::readdir(fds)) {
            if (!isNumber(f->d_name)) continue;
            if (pid == self && std::atoi(f->d_name) == skipFd) continue;
            struct stat st {};
            if (::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 && st.st_dev == dev && st.st_ino == ino) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

}  // namespace

bool isInUse(const QString& fileName)
{
    const QByteArray path = PathBytes::encode(fileName);
    if (path.isEmpty()) return false;
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

    // O_NONBLOCK: a lease held by someone else makes the open fail at once instead of waiting
    // for that lease to be broken.
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return true;

    bool inUse;
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        inUse = false;
    } else if (errno == EAGAIN || errno == EBUSY) {
        inUse = true;
    } else {
        struct stat own {};
        inUse = ::fstat(fd, &own) == 0 && heldBySomeone(own.st_dev, own.st_ino, fd);
    }
    ::close(fd);
    return inUse;
}

bool openElsewhere(const QString& fileName)
{
    const QByteArray path = PathBytes::encode(fileName);
    struct stat st {};
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0) return false;
    return heldBySomeone(st.st_dev, st.st_ino, -1);
}

}  // namespace FileInUse
