#include "platform/files/AppendFiles.h"

#include "platform/boxes/AppException.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/files/PathWalk.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QFile>
#include <QHash>
#include <QThread>

#include <cerrno>
#include <algorithm>
#include <deque>
#include <memory>
#include <functional>
#include <vector>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppendFiles {
namespace {

constexpr int kMaxRetries = 8;   // the file changed under us between two looks
constexpr qsizetype kMostWaiting = 64 * 1024;  // lines held back for the turn's end, at most

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

[[noreturn]] void refuse(const char* cause) { throw AppException(QString::fromLatin1(cause)); }

[[noreturn]] void fail(int err, bool creating = false) { throw AppException(causeOf(err, creating)); }

// Walks to the folder that holds path's last name; what stops the walk is told as its cause.
std::unique_ptr<PathWalk> walkTo(const QString& path)
{
    try {
        return std::make_unique<PathWalk>(QFile::encodeName(path));
    } catch (const PathWalk::Failure& f) {
        fail(f.err, f.onTheWay);
    }
}

Handle openSafely(const QString& path)
{
    const std::unique_ptr<PathWalk> walk = walkTo(path);
    for (int attempt = 0;; ++attempt) {
        const bool again = attempt < kMaxRetries;
        const char* name = walk->name().constData();
        // Without waiting: a pipe nobody reads would hold the window for good. What turns out
        // to be no regular file is let go at once.
        Fd fd(::openat(walk->folder(), name, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (fd.get() < 0) {
            const int err = errno;
            if (err == ELOOP) {
                // A link: its target counts, if the link may be trusted.
                Fd node(::openat(walk->folder(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
                struct stat st {};
                if (node.get() < 0 || ::fstat(node.get(), &st) != 0) {
                    if (errno == ENOENT && again) continue;
                    fail(errno);
                }
                if (!S_ISLNK(st.st_mode)) {
                    if (again) continue;
                    fail(ELOOP);
                }
                try {
                    walk->follow(node.get());
                } catch (const PathWalk::Failure& f) {
                    fail(f.err, f.onTheWay);
                }
                continue;
            }
            // A pipe without a reader, a socket, a device without its driver.
            if (err == ENXIO || err == ENODEV) refuse("File access denied");
            if (err != ENOENT) fail(err);
            // Nothing is made where a link points: the link may be a stranger's, or stale.
            if (walk->viaLink()) fail(ENOENT);
            // Exclusive create: a file that appears in the meantime is appended to, never emptied.
            const int made = ::openat(walk->folder(), name,
                                      O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
            if (made >= 0) return {made, true};
            if (errno == EEXIST && again) continue;
            fail(errno, true);
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) fail(errno);
        // A pipe, a device or a socket is no log file.
        if (!S_ISREG(st.st_mode)) refuse("File access denied");
        if (st.st_uid != ::geteuid()) {
            // Someone else's file planted in a shared folder such as /tmp: not ours to append to.
            struct stat folder {};
            if (::fstat(walk->folder(), &folder) != 0) fail(errno);
            if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) && st.st_uid != folder.st_uid)
                refuse("File access denied");
        } else if (st.st_nlink > 1 && walk->folderSharedWithOthers()) {
            // One of our files under a second name in a folder others may write to, or that
            // belongs to someone else: a hard link made there would have us append to, say,
            // our shell's start-up file.
            refuse("File access denied");
        }
        ::fcntl(fd.get(), F_SETFL, O_APPEND);
        return {fd.release(), false};
    }
}

// A file open in this turn, with the lines that wait to be written at the turn's end.
struct OpenFile {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray waiting;
    std::vector<qsizetype> ends;  // where each waiting entry ends in `waiting`
};

// The causes of the entries that found no place in their file, in order.
using Refusals = std::vector<QString>;

Refusals writeWaiting(OpenFile& file);

// Paths that name one file (a link, "./", two spellings) share its entry, so that their lines
// keep the order they came in.
struct OpenFiles {
    QHash<QString, std::shared_ptr<OpenFile>> byPath;
    bool closeQueued = false;

    std::vector<std::shared_ptr<OpenFile>> each() const
    {
        std::vector<std::shared_ptr<OpenFile>> out;
        for (const auto& f : byPath)
            if (std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
        return out;
    }

    // Leaving the program ends the turn too: what waits is written, not lost.
    ~OpenFiles()
    {
        for (const auto& f : each()) {
            writeWaiting(*f);
            ::close(f->fd);
        }
    }
};

OpenFiles& openFiles()
{
    static OpenFiles files;
    return files;
}

// Writes the whole of `bytes` at the file's end; what went in before a failure is taken back
// to where `keep` of it ends (nothing of a line that did not fit runs into the next one).
// Returns 0, or the error.
int writeAll(int fd, const QByteArray& bytes, const std::function<qsizetype(qsizetype)>& keep)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            const qsizetype written = bytes.size() - left;
            const qsizetype kept = keep(written);
            // Appended only: the file's end less what went in past what is kept.
            const off_t end = written > kept ? ::lseek(fd, 0, SEEK_END) : -1;
            if (end >= 0) {
                [[maybe_unused]] const int cut = ::ftruncate(fd, end - off_t(written - kept));
            }
            return err;
        }
        p += n;
        left -= n;
    }
    return 0;
}

// The waiting entries in one write. Empty when all went in; otherwise a cause for each entry,
// empty for one that is in the file: after a failure the entries that did not go in whole are
// tried one by one, so that each is either in the file whole or refused with its cause.
Refusals writeWaiting(OpenFile& file)
{
    if (file.ends.empty()) return {};
    const QByteArray bytes = std::exchange(file.waiting, {});
    const std::vector<qsizetype> ends = std::exchange(file.ends, {});
    size_t whole = 0;  // entries written whole
    const int err = writeAll(file.fd, bytes, [&](qsizetype written) {
        while (whole < ends.size() && ends[whole] <= written) ++whole;
        return whole ? ends[whole - 1] : 0;
    });
    if (err == 0) return {};
    Refusals causes(ends.size());
    causes[whole] = causeOf(err);
    for (size_t i = whole + 1; i < ends.size(); ++i) {
        const qsizetype from = ends[i - 1];
        if (const int e = writeAll(file.fd, bytes.mid(from, ends[i] - from), [](qsizetype) { return 0; })) causes[i] = causeOf(e);
    }
    return causes;
}

// The end of the turn: when the event loop is about to wait again, or else (a loop that only
// looks without waiting) at its next pass, which runs the posted call after this turn's events.
bool queueClose()
{
    OpenFiles& files = openFiles();
    if (files.closeQueued) return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) return false;
    static QPointer<QAbstractEventDispatcher> hooked;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(app->thread());
    if (dispatcher && hooked != dispatcher) {
        hooked = dispatcher;
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, app, [] {
            if (openFiles().closeQueued) closeAll();
        });
    }
    files.closeQueued = true;
    QMetaObject::invokeMethod(app, [] { if (openFiles().closeQueued) closeAll(); }, Qt::QueuedConnection);
    return true;
}

}  // namespace

QString causeOf(int err, bool creating)
{
    switch (err) {
    case ENOENT: return creating ? QStringLiteral("Path not found") : QStringLiteral("File not found");
    case ENOTDIR: return QStringLiteral("Path not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("Disk full");
    case EMFILE:
    case ENFILE: return QStringLiteral("Too many open files");
    default: return QStringLiteral("I/O error %1").arg(err);
    }
}

Handle open(const QString& path)
{
    OpenFiles& files = openFiles();
    // Within the turn the lines go to the file as it was opened: moved or deleted meanwhile,
    // it is looked for afresh at the next turn.
    const auto it = files.byPath.constFind(path);
    if (it != files.byPath.cend()) return {(*it)->fd, false};
    Handle h = openSafely(path);
    if (queueClose()) {
        struct stat st {};
        const bool known = ::fstat(h.fd, &st) == 0;  // else shared with no other name
        for (const auto& f : files.byPath) {
            if (known && !h.created && f->device == st.st_dev && f->inode == st.st_ino) {
                ::close(h.fd);
                files.byPath.insert(path, f);
                return {f->fd, false};
            }
        }
        auto file = std::make_shared<OpenFile>();
        file->fd = h.fd;
        file->device = st.st_dev;
        file->inode = st.st_ino;
        files.byPath.insert(path, std::move(file));
    } else {
        h.closeAfterLine = true;
    }
    return h;
}

void appendLine(const Handle& file, const QByteArray& bytes)
{
    if (const int err = writeAll(file.fd, bytes, [](qsizetype) { return 0; })) fail(err);
}

void append(const QString& path, const QByteArray& bytes, When when)
{
    OpenFiles& files = openFiles();
    const auto it = files.byPath.find(path);
    if (it == files.byPath.end()) fail(EBADF);  // not opened in this turn: a caller's slip
    OpenFile& file = **it;
    file.waiting += bytes;
    file.ends.push_back(file.waiting.size());
    if (when == When::ByTurnEnd && file.waiting.size() < kMostWaiting) return;
    const Refusals causes = writeWaiting(file);
    if (causes.empty()) return;
    // A failed file is closed at once: the next line opens it afresh.
    discard(path);
    // The earlier lines' events are over: their causes are told now. This line's stops its event.
    for (size_t i = 0; i + 1 < causes.size(); ++i)
        if (!causes[i].isEmpty()) ModalBoxes::showException(causes[i]);
    if (!causes.back().isEmpty()) throw AppException(causes.back());
}

void closeLineHandle(const Handle& file)
{
    if (::close(file.fd) != 0 && errno != EINTR) fail(errno);
}

void discardAfterFailure(const QString& path, const Handle& file)
{
    if (file.closeAfterLine) {
        ::close(file.fd);
    } else {
        discard(path);
    }
}

void discard(const QString& path)
{
    QHash<QString, std::shared_ptr<OpenFile>>& byPath = openFiles().byPath;
    const std::shared_ptr<OpenFile> file = byPath.value(path);
    if (!file) return;
    for (auto it = byPath.begin(); it != byPath.end();) it = *it == file ? byPath.erase(it) : std::next(it);
    ::close(file->fd);
}

void closeAll()
{
    OpenFiles& files = openFiles();
    files.closeQueued = false;
    const std::vector<std::shared_ptr<OpenFile>> open = files.each();
    files.byPath.clear();
    // Everything is written and closed before the first box, which lets events in again.
    QStringList told;
    for (const auto& f : open) {
        OpenFile& file = *f;
        for (const QString& cause : writeWaiting(file))
            if (!cause.isEmpty()) told << cause;
        // Local files never fail here; a network file system may only now say that it had no
        // room for lines written this turn.
        if (::close(file.fd) != 0 && errno != EINTR) told << causeOf(errno);
    }
    for (const QString& cause : told) ModalBoxes::showException(cause);
}

}  // namespace AppendFiles
