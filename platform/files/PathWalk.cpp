#include "platform/files/PathWalk.h"

#include <QList>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinks = 40;  // as the kernel: a longer chain is a loop

[[noreturn]] void fail(int err, bool onTheWay = false, const QByteArray& link = {})
{
    throw PathWalk::Failure{err, onTheWay, link};
}

bool trusted(uid_t owner) { return owner == ::geteuid() || owner == 0; }

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    if (folder.isEmpty() || folder == ".") return name;
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

}  // namespace

PathWalk::PathWalk(const QByteArray& path)
{
    if (withoutLinks(path)) return;
    reset(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    here_ = ".";
    push(path);
    advance();
}

PathWalk::~PathWalk() { reset(-1); }

void PathWalk::reset(int fd)
{
    if (dir_ >= 0) ::close(dir_);
    dir_ = fd;
}

QByteArray PathWalk::pathOfName() const { return joined(here_, name_); }

void PathWalk::follow(int link)
{
    pushTarget(link, pathOfName());
    viaLink_ = true;
    advance();
}

QByteArray PathWalk::strangersLinkOn(const QByteArray& path)
{
    try {
        PathWalk walk(path);
        for (;;) {
            const int node = ::openat(walk.folder(), walk.name().constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
            struct stat st {};
            const bool link = node >= 0 && ::fstat(node, &st) == 0 && S_ISLNK(st.st_mode);
            if (link) {
                try {
                    walk.follow(node);
                } catch (...) {
                    ::close(node);
                    throw;
                }
            }
            if (node >= 0) ::close(node);
            if (!link) return {};
        }
    } catch (const Failure& f) {
        return f.strangersLink;
    }
}

bool PathWalk::folderSharedWithOthers() const
{
    struct stat folder {};
    if (::fstat(dir_, &folder) != 0) return true;
    return !trusted(folder.st_uid) || (folder.st_mode & (S_IWGRP | S_IWOTH));
}

// Most paths hold no link at all: their folder is opened in one step, the kernel refusing any
// link on the way. Anything else takes the walk, which also names what went wrong.
bool PathWalk::withoutLinks(const QByteArray& path)
{
#ifdef SYS_openat2
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray last = path.mid(slash + 1);
    if (last.isEmpty() || last == "." || last == "..") return false;
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int fd = int(::syscall(SYS_openat2, AT_FDCWD, folder.constData(), &how, sizeof how));
    if (fd < 0) return false;
    reset(fd);
    here_ = folder;
    name_ = last;
    return true;
#else
    Q_UNUSED(path);
    return false;
#endif
}

void PathWalk::push(const QByteArray& path)
{
    if (path.startsWith('/')) {
        reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        here_ = "/";
    }
    if (dir_ < 0) fail(errno);
    const QList<QByteArray> parts = path.split('/');
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        if (!it->isEmpty() && *it != ".") rest_.push_front(*it);
}

// A link's target goes before the names that followed the link, from the link's folder.
void PathWalk::pushTarget(int link, const QByteArray& linkPath)
{
    struct stat st {};
    if (::fstat(link, &st) != 0) fail(errno);
    if (!trusted(st.st_uid)) fail(EACCES, false, linkPath);
    if (++links_ > kMaxLinks) fail(ELOOP);
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(link, "", target, sizeof target);
    if (n < 0) fail(errno);
    if (n == ssize_t(sizeof target)) fail(ENAMETOOLONG);
    push(QByteArray(target, n));
}

void PathWalk::advance()
{
    for (;;) {
        if (rest_.empty()) fail(EISDIR);  // names a folder, not a file
        if (rest_.size() == 1) {
            name_ = rest_.front();
            rest_.clear();
            return;
        }
        const QByteArray part = rest_.front();
        rest_.pop_front();
        // A folder (an automounted one gets mounted by this look).
        const int sub = ::openat(dir_, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            reset(sub);
            here_ = joined(here_, part);
            continue;
        }
        if (errno != ENOTDIR && errno != ELOOP) fail(errno, true);
        const int node = ::openat(dir_, part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (node < 0 || ::fstat(node, &st) != 0) {
            const int err = errno;
            if (node >= 0) ::close(node);
            fail(err, true);
        }
        if (!S_ISLNK(st.st_mode)) {
            ::close(node);
            fail(ENOTDIR);
        }
        try {
            pushTarget(node, joined(here_, part));
        } catch (...) {
            ::close(node);
            throw;
        }
        ::close(node);
    }
}
