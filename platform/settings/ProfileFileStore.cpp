#include "platform/settings/ProfileFileStore.h"

#include "platform/boxes/AppException.h"
#include "platform/files/SiblingCopy.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProfileFile::Store {
namespace {

constexpr int MaxLinks = 40;

const QByteArray LockSuffix(".lock");

// A folder descriptor, closed at the end when it was opened here.
class Dir {
public:
    Dir() = default;
    static Dir borrow(int fd) { return Dir(fd, false); }
    static Dir own(int fd) { return Dir(fd, fd >= 0); }
    Dir(Dir&& o) noexcept : fd_(o.fd_), owned_(o.owned_) { o.owned_ = false; }
    Dir& operator=(Dir&& o) noexcept
    {
        if (this != &o) {
            reset();
            fd_ = o.fd_;
            owned_ = o.owned_;
            o.owned_ = false;
        }
        return *this;
    }
    ~Dir() { reset(); }
    int fd() const { return fd_; }

private:
    Dir(int fd, bool owned) : fd_(fd), owned_(owned) {}
    void reset()
    {
        if (owned_) ::close(fd_);
        owned_ = false;
    }
    int fd_ = -1;
    bool owned_ = false;
};

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// The location's folder and the file's name in it.
struct Place {
    Dir dir;
    QByteArray name;
};

std::optional<Place> placeOf(const Location& file)
{
    if (file.inOpenFolder()) {
        if (!file.folder().isOpen()) return std::nullopt;
        return Place{Dir::borrow(file.folder().handle()), QFile::encodeName(file.name())};
    }
    const QByteArray path = QFile::encodeName(file.path());
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    const QByteArray name = path.mid(slash + 1);
    if (name.isEmpty()) return std::nullopt;
    Dir dir = Dir::own(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd() < 0) return std::nullopt;
    return Place{std::move(dir), name};
}

bool trustedOwner(uid_t uid) { return uid == ::geteuid() || uid == 0; }

// Where the file's name leads once links are followed.
struct Target {
    Dir dir;
    QByteArray name;
    bool exists = false;
    bool viaLink = false;
    struct stat st {};
};

// Follows the links at the file's name, each of which must be the user's own (or root's).
// Nothing when a link is refused or can't be followed.
std::optional<Target> follow(const Place& place)
{
    Target t{Dir::borrow(place.dir.fd()), place.name};
    for (int hops = 0; hops <= MaxLinks; ++hops) {
        if (t.name.isEmpty() || t.name == "." || t.name == "..") return std::nullopt;
        if (::fstatat(t.dir.fd(), t.name.constData(), &t.st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return std::nullopt;
            t.exists = false;
            return t;
        }
        if (!S_ISLNK(t.st.st_mode)) {
            t.exists = true;
            return t;
        }
        if (!trustedOwner(t.st.st_uid)) return std::nullopt;
        QByteArray target(qsizetype(t.st.st_size > 0 ? t.st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlinkat(t.dir.fd(), t.name.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size()) return std::nullopt;
        target.truncate(n);
        t.viaLink = true;
        const qsizetype slash = target.lastIndexOf('/');
        if (slash >= 0) {
            const QByteArray parent = slash == 0 ? QByteArray("/") : target.left(slash);
            Dir next = Dir::own(::openat(t.dir.fd(), parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (next.fd() < 0) return std::nullopt;
            t.dir = std::move(next);
            t.name = target.mid(slash + 1);
        } else {
            t.name = target;
        }
    }
    return std::nullopt;
}

// A file that may be read as settings: a regular file of the user's own (or root's).
bool readable(const Target& t) { return t.exists && S_ISREG(t.st.st_mode) && trustedOwner(t.st.st_uid); }

// The whole content of the target; nothing when it can't be read to its end.
std::optional<QByteArray> readTarget(const Target& t)
{
    // Never blocks: a pipe put in its place is refused by the checks below, not waited on.
    Fd fd(::openat(t.dir.fd(), t.name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != t.st.st_dev || st.st_ino != t.st.st_ino)
        return std::nullopt;
    // Read straight into the result; a file that grows meanwhile is read to its new end.
    QByteArray content(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == content.size()) content.resize(content.size() + 65536);
        const ssize_t n = ::read(fd.get(), content.data() + got, size_t(content.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += n;
    }
    content.truncate(got);
    return content;
}

// The write lock of a location, held while it lives.
class WriteLock {
public:
    // waitMs 0: one try.
    WriteLock(const Place& place, int waitMs)
    {
        const QByteArray name = place.name + LockSuffix;
        Fd fd(::openat(place.dir.fd(), name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return;
        const QDeadlineTimer deadline(waitMs);
        for (;;) {
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
                fd_ = fd.release();
                return;
            }
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK || deadline.hasExpired()) return;
            QThread::msleep(5);
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    ~WriteLock()
    {
        if (fd_ >= 0) ::close(fd_);  // closing drops the lock
    }
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Writes a temporary copy beside the target, flushes it to disk and renames it over the target:
// a crash, a kill or a full disk leaves either the old file or the new one.
bool replace(const Target& t, const QByteArray& content, mode_t mode)
{
    QByteArray copy;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        copy = SiblingCopy::name(t.name);
        fd = ::openat(t.dir.fd(), copy.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = SiblingCopy::writeAll(fd, content);
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::renameat(t.dir.fd(), copy.constData(), t.dir.fd(), t.name.constData()) == 0;
    if (!ok) {
        ::unlinkat(t.dir.fd(), copy.constData(), 0);
        return false;
    }
    ::fsync(t.dir.fd());  // makes the rename itself durable
    return true;
}

bool isCopyOf(const QByteArray& entry, const QByteArray& name)
{
    const QByteArray prefix = name + SiblingCopy::Mark;
    if (entry.size() != prefix.size() + 6 || !entry.startsWith(prefix)) return false;
    for (qsizetype i = prefix.size(); i < entry.size(); ++i) {
        const char c = entry[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

void removeCopies(const Dir& dir, const QByteArray& name)
{
    const int fd = ::openat(dir.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        const QByteArray entry(e->d_name);
        if (!isCopyOf(entry, name)) continue;
        struct stat st {};
        // Only our own files: a copy-like name in a shared folder may be someone else's.
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlinkat(fd, e->d_name, 0);
    }
    ::closedir(d);
}

}  // namespace

QByteArray read(const Location& file)
{
    const std::optional<Place> place = placeOf(file);
    if (!place) return {};
    const std::optional<Target> t = follow(*place);
    if (!t || !readable(*t)) return {};
    return readTarget(*t).value_or(QByteArray());
}

bool exists(const Location& file)
{
    const std::optional<Place> place = placeOf(file);
    struct stat st {};
    return place && ::fstatat(place->dir.fd(), place->name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

void modify(const Location& file, const std::function<std::optional<QByteArray>(const QByteArray&)>& change)
{
    const AppException failure(QStringLiteral("Unable to write to %1").arg(file.path()));
    const std::optional<Place> place = placeOf(file);
    if (!place) throw failure;
    const WriteLock lock(*place, LockWaitMs);
    if (!lock.held()) throw failure;
    const std::optional<Target> t = follow(*place);
    if (!t) throw failure;
    QByteArray content;
    mode_t mode = 0600;
    if (t->exists) {
        // A read-only file is the user's decision, not something to replace behind their back.
        if (!S_ISREG(t->st.st_mode) || t->st.st_uid != ::geteuid() || !(t->st.st_mode & S_IWUSR)) throw failure;
        // What can't be read whole must not be replaced by a part of it.
        std::optional<QByteArray> current = readTarget(*t);
        if (!current) throw failure;
        content = std::move(*current);
        mode = t->st.st_mode & 0755;
    } else if (t->viaLink) {
        throw failure;
    }
    const std::optional<QByteArray> next = change(content);
    if (next && !replace(*t, *next, mode)) throw failure;
}

void removeUnfinishedWrites(const Location& file)
{
    const std::optional<Place> place = placeOf(file);
    if (!place) return;
    // While anyone holds the lock a save may be in progress: its copy is not ours to remove.
    const WriteLock lock(*place, 0);
    if (!lock.held()) return;
    removeCopies(place->dir, place->name);
    const std::optional<Target> t = follow(*place);
    if (t && t->viaLink) removeCopies(t->dir, t->name);
}

}  // namespace ProfileFile::Store
