// The walker thread: lists folders and places their watches, off the window's thread and
// without holding up the reader (the lock is held only between system calls). Each folder is
// watched before it is read, so nothing made in it meanwhile is missed. A walk that
// registrations wait for ends with their Watching notice; a registration whose folders are
// watched already (the same or an enclosing tree) waits for no walk of its own.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unordered_map>

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace InotifyDetail {

namespace {

std::mutex hookMutex;
std::function<void(const QString&)> beforeRead;

void callHook(const QByteArray& path)
{
    std::function<void(const QString&)> hook;
    {
        std::lock_guard lock(hookMutex);
        hook = beforeRead;
    }
    if (hook) hook(PathBytes::decode(path));
}

// The name under which the kernel finds an open folder, for a watch placed on what was opened.
struct ProcPath {
    char text[32];
    explicit ProcPath(int fd) { std::snprintf(text, sizeof text, "/proc/self/fd/%d", fd); }
};

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x4000U
#endif

// What was opened: its device and inode, and whether its file system fills a read of a folder
// as far as the buffer goes (so that a read that leaves room has reached the end).
struct Opened {
    dev_t device = 0;
    ino_t inode = 0;
    bool readsWhole = false;
};

// File systems whose folder reads stop only at the end of the buffer or of the folder.
bool fillsEveryRead(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case TMPFS_MAGIC:
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
    case BTRFS_SUPER_MAGIC: return true;
    default: return false;  // network and user-space file systems may answer in pieces
    }
}

Opened identify(int fd)
{
    Opened o;
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO | STATX_MNT_ID_UNIQUE, &sx) != 0) {
        struct stat st {};  // statx refused (an old kernel, a sandbox)
        if (::fstat(fd, &st) == 0) {
            o.device = st.st_dev;
            o.inode = st.st_ino;
        }
        return o;
    }
    o.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    o.inode = ino_t(sx.stx_ino);
    // Learned once per mount; the kernel never gives a mount's unique number to another.
    if (sx.stx_mask & STATX_MNT_ID_UNIQUE) {
        thread_local std::unordered_map<quint64, bool> known;
        const auto it = known.find(sx.stx_mnt_id);
        o.readsWhole = it != known.end() ? it->second : known.emplace(sx.stx_mnt_id, fillsEveryRead(fd)).first->second;
    }
    return o;
}

// The entries of an open folder. Read with getdents64 into one buffer kept by the thread: a
// DIR stream would cost two more system calls and an allocation per folder. Where a read that
// leaves room is known to have reached the end, the read that would find nothing is spared.
std::vector<Entry> readEntries(int fd, bool readsWhole)
{
    // The kernel's record: inode (8 bytes), offset (8), length (2), type (1), then the name.
    constexpr size_t kLengthAt = 16, kTypeAt = 18, kNameAt = 19;
    constexpr long kLongestRecord = (kNameAt + NAME_MAX + 1 + 7) / 8 * 8;
    thread_local std::vector<char> buffer(64 * 1024);
    std::vector<Entry> out;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            const char* record = buffer.data() + at;
            unsigned short length = 0;
            std::memcpy(&length, record + kLengthAt, sizeof length);
            if (length <= kNameAt) break;  // never from a sound kernel; not a reason to spin
            const unsigned char type = static_cast<unsigned char>(record[kTypeAt]);
            const char* name = record + kNameAt;
            at += length;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            bool isDir = type == DT_DIR;
            if (type == DT_UNKNOWN) {
                struct stat st;
                isDir = ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            }
            out.push_back({std::string(name), isDir});
        }
        if (readsWhole && n + kLongestRecord <= long(buffer.size())) break;
    }
    return out;
}

constexpr auto kWalkHandOver = std::chrono::milliseconds(1);

}  // namespace

quint32 watchMask()
{
    return IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
           IN_ONLYDIR | IN_EXCL_UNLINK;
}

void State::walkerRun()
{
    std::unique_lock lock(mutex);
    auto figuresAt = Clock::now();
    auto flushedAt = Clock::now();
    auto figuresCounted = Clock::now() - std::chrono::seconds(10);
    while (!stop.load()) {
        if (!urgent.empty() || !tasks.empty()) {
            ScanTask task;
            if (!urgent.empty()) {
                task = std::move(urgent.front());
                urgent.pop_front();
            } else {
                task = std::move(tasks.back());
                tasks.pop_back();
            }
            ++walkerBusy;
            scan(std::move(task), lock);
            --walkerBusy;
            // What a walk finds is handed over at most every millisecond while it goes on: the
            // window is woken for many folders at a time, not for every one.
            if ((urgent.empty() && tasks.empty()) || Clock::now() - flushedAt >= kWalkHandOver) {
                flush();
                flushedAt = Clock::now();
            }
            if (Clock::now() - figuresAt > std::chrono::milliseconds(500)) {
                figureWatches = table.watchCount();
                figureWalks = int(jobs.size());
                figuresAt = Clock::now();
            }
            continue;
        }
        if (lookoutsDue) {
            lookoutsDue = false;
            lookoutDuty(lock);
            flush();
            continue;
        }
        freeSpaceDuty(lock);
        flush();
        // Counting what the comparison keeps goes over every folder: not more than every two
        // seconds.
        if (Clock::now() - figuresCounted > std::chrono::seconds(2)) {
            updateFigures();
            figuresCounted = Clock::now();
        }
        figuresAt = Clock::now();
        if (!urgent.empty() || !tasks.empty() || lookoutsDue || stop.load()) continue;
        held.release();
        movedFolders.clear();
        if (wantsFreeSpace()) {
            walkerWake.wait_until(lock, nextFreeCheck);
        } else {
            walkerWake.wait(lock);
        }
    }
    held.release();
}

void State::HeldFolder::release()
{
    if (fd >= 0) ::close(fd);
    fd = -1;
    path.clear();
}

bool State::heldStillThere() const
{
    const WatchedFolder* f = table.find(held.path);
    return f && f->watched() && !f->lookoutOnly && f->device == held.device && f->inode == held.inode;
}

void State::updateFigures()
{
    figureWatches = table.watchCount();
    figureWalks = int(jobs.size());
    figureEntries = table.namesCount();
    figureBytes = table.namesBytes();
}

void State::queueScan(ScanTask task, bool urgently)
{
    task.urgent = urgently;
    task.movesSeen = movedFolders.size();
    if (urgently) {
        urgent.push_back(std::move(task));
    } else {
        tasks.push_back(std::move(task));
    }
    walkerWake.notify_all();
}

bool State::wanted(const QByteArray& real) const
{
    return regs.needed(real) || (assocActive && assocDirs.contains(real));
}

bool State::walkUnderWay(const QByteArray& real) const
{
    for (const auto& [id, j] : jobs)
        if (!j.reporting && j.followed.isEmpty() && j.outstanding > 0 &&
            (j.recursive ? BytePath::isAtOrUnder(real, j.root) : real == j.root))
            return true;
    return false;
}

void State::scan(ScanTask task, std::unique_lock<std::mutex>& lock)
{
    if (task.mode == ScanTask::Mode::Follow) {
        follow(task, lock);
        return;
    }
    if (task.mode == ScanTask::Mode::Remount) {
        remount(task, lock);
        return;
    }
    // Renamed since it was queued: its folder is looked for where the table has it now (where
    // it was may hold it again, by a rename yet to be read).
    if (!task.jobRoot) {
        renamedSince(task.path, task.movesSeen);
        task.movesSeen = movedFolders.size();
    }
    QByteArray path = task.path;
    if (!wanted(path) || pseudoMounts.contains(path)) {
        finishTask(task, 0);
        return;
    }
    // An association folder watched already (for a registration) is watched anew, with the
    // close of a write asked for too.
    const bool closesWanted = !task.job && assocActive && assocDirs.contains(path);
    if (WatchedFolder* f = table.find(path);
        f && f->watched() && !f->lookoutOnly && task.mode != ScanTask::Mode::Resync && !closesWanted) {
        // Watched and listed already: a walk needs only what is not kept watched below it.
        std::vector<ScanTask> next;
        if (task.mode == ScanTask::Mode::Baseline && f->listed) {
            f->names.forEach([&](std::string_view name, bool isDir) {
                if (!isDir) return;
                const QByteArray child = BytePath::join(path, name);
                if (!wanted(child)) return;
                const WatchedFolder* c = table.child(f, name);
                if (c && c->watched() && c->listed && regs.keptWatched(child)) return;
                next.push_back({child, ScanTask::Mode::Baseline, task.job, false, task.urgent});
            });
        }
        for (auto it = next.rbegin(); it != next.rend(); ++it) tasks.push_back(std::move(*it));
        finishTask(task, int(next.size()));
        return;
    }

    // A registration's own folder: whether it is the top of a volume (it goes with it).
    bool someonesRoot = false;
    for (const auto& [id, r] : regs.all()) someonesRoot = someonesRoot || r.root.real == path;
    // A sub-folder of the folder listed last (the usual order of a walk) is looked up by its
    // name in it: a whole path costs the kernel a look at every folder on the way, twice.
    const bool byName = held.fd >= 0 && !someonesRoot && held.path == BytePath::parentOf(path) && heldStillThere();
    const std::string name(BytePath::nameOf(path));
    const quint64 readBefore = readSerial;
    lock.unlock();
    callHook(path);
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    const int dfd = byName ? ::openat(held.fd, name.c_str(), kFlags) : ::open(path.constData(), kFlags);
    const int openError = dfd < 0 ? errno : 0;
    const Opened opened = dfd >= 0 ? identify(dfd) : Opened{};
    struct stat above {};
    const bool aboveKnown = someonesRoot && dfd >= 0 && ::stat(BytePath::parentOf(path).constData(), &above) == 0;
    lock.lock();
    if (stop.load()) {
        if (dfd >= 0) ::close(dfd);
        return;
    }
    if (dfd < 0) {
        if ((openError == ENOENT || openError == ENOTDIR) && (followMoved(task) || missedFolder(task))) return;
        taskFailed(task, openError, false);
        finishTask(task, 0);
        return;
    }
    // Still what was opened (not renamed or replaced meanwhile: its events tell where it went),
    // and still wanted. By name, while the table still has the held folder where it was: a move
    // of that folder that the table has yet to hear of takes this one along with it. When no
    // event at all was read since the folder was opened, any move of it is still to be read,
    // and reading it will move the watch along: there is nothing to check.
    struct stat now {};
    bool there;
    if (byName && readSerial == readBefore) {
        there = heldStillThere();
        now.st_dev = opened.device;
        now.st_ino = opened.inode;
    } else {
        there = byName ? heldStillThere() && ::fstatat(held.fd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0
                       : ::lstat(path.constData(), &now) == 0;
    }
    if (!wanted(path) || !there || now.st_dev != opened.device || now.st_ino != opened.inode) {
        ::close(dfd);
        if (wanted(path) && (followMoved(task) || missedFolder(task))) return;
        finishTask(task, 0);
        return;
    }
    const int wd = ::inotify_add_watch(fd, ProcPath(dfd).text, maskFor(path));
    if (wd < 0) {
        const int e = errno;
        ::close(dfd);
        taskFailed(task, e, true);
        finishTask(task, 0);
        return;
    }
    WatchedFolder* f = table.ensure(path);
    if (f->wd != wd) {
        const int old = f->wd;
        if (old >= 0 && table.dropWatch(f)) ::inotify_rm_watch(fd, old);
        table.setWatch(f, wd);
    }
    f->device = quint64(opened.device);
    f->inode = quint64(opened.inode);
    f->mountTop = aboveKnown ? above.st_dev != opened.device
                             : f->parent && f->parent->watched() && f->parent->device != f->device;
    if (f->lookoutOnly) {
        f->lookoutOnly = false;
        f->listed = false;
        f->names.clear();
    }
    const bool resync = task.mode == ScanTask::Mode::Resync && f->listed;
    ++f->listings;
    lock.unlock();
    std::vector<Entry> entries = readEntries(dfd, opened.readsWhole);
    ++figureListed;
    lock.lock();
    f = table.find(path);
    if (!f || f->wd != wd || f->listings == 0) {
        // Renamed meanwhile (the table moved it along): what was read is told where it is now.
        f = nullptr;
        for (WatchedFolder* g = table.byWatch(wd); g && !f; g = g->nextAlias)
            if (g->listings > 0) f = g;
        if (f) path = table.pathOf(f);
    }
    if (!f) {  // gone meanwhile: its events told
        ::close(dfd);
        finishTask(task, 0);
        return;
    }
    held.release();
    held.path = path;
    held.fd = dfd;
    held.device = f->device;
    held.inode = f->inode;
    --f->listings;
    ScanTask applied = task;
    if (task.mode == ScanTask::Mode::Resync && !resync) applied.mode = ScanTask::Mode::Baseline;
    barrierNow = barriers.value(task.job);
    if (const auto j = jobs.find(task.job); j != jobs.end()) compareNow = j->second.compare;
    if (task.announce) push(item(SHCNE_MKDIR, path, true));
    std::vector<ScanTask> next = applyListing(f, path, entries, applied);
    barrierNow = nullptr;
    compareNow = 0;
    if (f->listings == 0) {
        f->listed = true;
        f->touched.reset();
    }
    for (ScanTask& t : next) t.movesSeen = movedFolders.size();
    // The first sub-folder is listed first; those of a folder that just came before any walk.
    if (task.urgent) {
        for (auto it = next.rbegin(); it != next.rend(); ++it) urgent.push_front(std::move(*it));
    } else {
        for (auto it = next.rbegin(); it != next.rend(); ++it) tasks.push_back(std::move(*it));
    }
    finishTask(task, int(next.size()));
}

void State::follow(const ScanTask& task, std::unique_lock<std::mutex>& lock)
{
    const QString user = task.user;
    const quint32 id = task.target;
    lock.unlock();
    QByteArray real;
    if (char* r = ::realpath(PathBytes::encode(user).constData(), nullptr)) {
        real = r;
        std::free(r);
    }
    lock.lock();
    Registration* reg = regs.find(id);
    if (!reg) return;
    if (real.isEmpty()) {  // gone already: nothing to follow, and the follower need not wait
        targeted(id, ChangeNotice::Kind::Followed, 0, {}, user);
        return;
    }
    reg->followed.insert(real, user);
    const quint64 job = nextJob++;
    WalkJob& j = jobs[job];
    j.root = real;
    j.outstanding = 1;
    j.regs = {id};
    j.followed = user;
    queueScan({real, ScanTask::Mode::Baseline, job}, true);
}

bool State::watchOnly(const QByteArray& path, std::unique_lock<std::mutex>& lock)
{
    if (WatchedFolder* f = table.find(path); f && f->watched()) return true;
    lock.unlock();
    const int dfd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened {};
    if (dfd >= 0) ::fstat(dfd, &opened);
    lock.lock();
    if (dfd < 0) return false;
    struct stat now {};
    int wd = -1;
    if (::lstat(path.constData(), &now) == 0 && now.st_dev == opened.st_dev && now.st_ino == opened.st_ino)
        wd = ::inotify_add_watch(fd, ProcPath(dfd).text, maskFor(path));
    const int e = errno;
    ::close(dfd);
    if (wd < 0) {
        if (e == ENOSPC || e == ENOMEM) limitReached(path);
        return false;
    }
    WatchedFolder* f = table.ensure(path);
    if (!f->watched()) {
        table.setWatch(f, wd);
        f->device = quint64(opened.st_dev);
        f->inode = quint64(opened.st_ino);
        if (!f->listed && f->listings == 0) {
            f->lookoutOnly = true;
            f->listed = true;
        }
    }
    return true;
}

}  // namespace InotifyDetail

void ChangeBackend::setBeforeFolderRead(std::function<void(const QString& folder)> hook)
{
    std::lock_guard lock(InotifyDetail::hookMutex);
    InotifyDetail::beforeRead = std::move(hook);
}
