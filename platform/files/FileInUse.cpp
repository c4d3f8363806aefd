#include "platform/files/FileInUse.h"

#include "platform/text/PathBytes.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileInUse {
namespace {

// A lease break is signalled with SIGIO, whose default action ends the process: someone opening
// the file in the moment we hold the lease must not end the program.
void ignoreLeaseBreaks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
            current.sa_handler == SIG_DFL)
            ::signal(SIGIO, SIG_IGN);
    });
}

bool isNumber(const char* s)
{
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// Whether the descriptor `fd` of the process in `procDir` was opened for writing.
bool openForWriting(int procDir, const char* fd)
{
    const QByteArray info = QByteArray("fdinfo/") + fd;
    const int f = ::openat(procDir, info.constData(), O_RDONLY | O_CLOEXEC);
    if (f < 0) return false;
    char text[512];
    const ssize_t n = ::read(f, text, sizeof text - 1);
    ::close(f);
    if (n <= 0) return false;
    text[n] = '\0';
    const char* flags = std::strstr(text, "flags:");
    if (!flags) return false;
    const long value = std::strtol(flags + 6, nullptr, 8);
    return (value & O_ACCMODE) == O_WRONLY || (value & O_ACCMODE) == O_RDWR;
}

// Any descriptor in /proc/*/fd that refers to (dev, ino), other than our own skipFd. Gives up,
// answering false, once the deadline has passed.
bool heldBySomeone(dev_t dev, ino_t ino, int skipFd, Holders holders)
{
    const QDeadlineTimer deadline(ScanLimitMs);
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    const pid_t self = ::getpid();
    bool found = false;
    while (!found && !deadline.hasExpired()) {
        const dirent* p = ::readdir(proc);
        if (!p) break;
        if (!isNumber(p->d_name)) continue;
        const int procDir = ::openat(::dirfd(proc), p->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (procDir < 0) continue;  // gone
        const int fdDir = ::openat(procDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* fds = fdDir >= 0 ? ::fdopendir(fdDir) : nullptr;
        if (!fds) {  // another user's process
            if (fdDir >= 0) ::close(fdDir);
            ::close(procDir);
            continue;
        }
        const bool own = std::atol(p->d_name) == self;
        while (const dirent* f = ::readdir(fds)) {
            if (!isNumber(f->d_name) || (own && std::atoi(f->d_name) == skipFd)) continue;
            struct stat st {};
            if (::fstatat(::dirfd(fds), f->d_name, &st, 0) != 0 || st.st_dev != dev || st.st_ino != ino) continue;
            if (holders == Holders::Any || openForWriting(procDir, f->d_name)) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
        ::close(procDir);
    }
    ::closedir(proc);
    return found;
}

bool leaseRefusedBecauseHeld() { return errno == EAGAIN || errno == EBUSY; }

// For a file this user may read but not write: a read lease is granted only while nobody has
// the file open for writing.
bool heldForWriting(const QByteArray& path, const struct stat& st)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 && errno == EWOULDBLOCK) return true;  // someone holds a write lease on it
    bool inUse;
    if (fd >= 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        inUse = false;
    } else if (fd >= 0 && leaseRefusedBecauseHeld()) {
        inUse = true;
    } else {
        inUse = heldBySomeone(st.st_dev, st.st_ino, fd, Holders::Writers);
    }
    if (fd >= 0) ::close(fd);
    return inUse;
}

}  // namespace

bool isInUse(const QString& fileName)
{
    ignoreLeaseBreaks();
    const QByteArray path = PathBytes::encode(fileName);
    if (path.isEmpty()) return false;
    // A link is judged as itself, and a link is never in use: what it leads to (a file of the
    // user's that some program keeps open, say) is not the object that changed.
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

    // O_NONBLOCK: a lease held by someone else makes the open fail at once instead of waiting
    // for that lease to be broken.
    const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:  // gone meanwhile
        case ELOOP: return false;  // a link by now
        case EACCES:
        case EPERM:
        case EROFS: return heldForWriting(path, st);
        default: return true;  // held (a lease, a running program), or no room to open it now
        }
    }
    bool inUse;
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        inUse = false;
    } else if (leaseRefusedBecauseHeld()) {
        inUse = true;
    } else {
        inUse = heldBySomeone(st.st_dev, st.st_ino, fd, Holders::Any);
    }
    ::close(fd);
    return inUse;
}

bool openElsewhere(const QString& fileName, Holders holders)
{
    const QByteArray path = PathBytes::encode(fileName);
    struct stat st {};
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return heldBySomeone(st.st_dev, st.st_ino, -1, holders);
}

}  // namespace FileInUse
