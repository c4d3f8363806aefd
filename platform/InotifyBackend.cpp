#include "platform/InotifyBackend.h"

#include "platform/MountTable.h"
#include "platform/ShellNamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QSet>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long the first half of a move waits for its second half before it counts as moved out.
// Both halves are queued by the same rename, so the wait only ends this way for real moves out.
constexpr auto kMoveAge = std::chrono::milliseconds(30);
constexpr auto kFreeSpacePeriod = std::chrono::seconds(1);
constexpr size_t kReadBuffer = 256 * 1024;

// Only changes: opening, reading and closing never make an event.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

const QSet<QString> kPseudoFileSystems = {
    QStringLiteral("proc"),    QStringLiteral("sysfs"),      QStringLiteral("cgroup"),   QStringLiteral("cgroup2"),
    QStringLiteral("devpts"),  QStringLiteral("debugfs"),    QStringLiteral("tracefs"),  QStringLiteral("securityfs"),
    QStringLiteral("pstore"),  QStringLiteral("bpf"),        QStringLiteral("configfs"), QStringLiteral("fusectl"),
    QStringLiteral("mqueue"),  QStringLiteral("hugetlbfs"),  QStringLiteral("binfmt_misc"), QStringLiteral("autofs"),
    QStringLiteral("efivarfs"), QStringLiteral("devtmpfs"),
};

QByteArray enc(const QString& s) { return QFile::encodeName(s); }

QString parentOf(const QString& path)
{
    const qsizetype i = path.lastIndexOf(u'/');
    if (i < 0 || path == u"/") return {};
    return i == 0 ? QStringLiteral("/") : path.left(i);
}

QString join(const QString& dir, const QString& name) { return dir == u"/" ? u'/' + name : dir + u'/' + name; }

bool isUnder(const QString& path, const QString& root)
{
    if (root == u"/") return path.size() > 1 && path.startsWith(u'/');
    return path.size() > root.size() && path.startsWith(root) && path[root.size()] == u'/';
}

bool isAtOrUnder(const QString& path, const QString& root) { return path == root || isUnder(path, root); }

bool isAssociationFile(const QString& name)
{
    return name == u"mimeapps.list" || name.endsWith(u"-mimeapps.list") || name == u"mimeinfo.cache" ||
           name == u"defaults.list";
}

QStringList associationFolders()
{
    auto env = [](const char* name, const QString& fallback) {
        const QString v = qEnvironmentVariable(name);
        return v.isEmpty() ? fallback : v;
    };
    const QString home = QDir::homePath();
    QStringList dirs;
    dirs << env("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    dirs << env("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(u':', Qt::SkipEmptyParts);
    dirs << env("XDG_DATA_HOME", home + QStringLiteral("/.local/share")) + QStringLiteral("/applications");
    for (const QString& d : env("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")).split(u':', Qt::SkipEmptyParts))
        dirs << d + QStringLiteral("/applications");
    QStringList found;
    for (const QString& d : dirs) {
        const QString c = QFileInfo(d).canonicalFilePath();
        if (!c.isEmpty() && QFileInfo(c).isDir() && !found.contains(c)) found << c;
    }
    return found;
}

// A notice as read, before it is told to the registrations that cover it.
struct Raw {
    enum class Type {
        Item,       // mask about `path`
        Move,       // first half of a move, waiting for its second
        Rename,     // `path` became `path2`
        Media,      // mask about the volume mounted at `path` (list in `first`)
        Targeted,   // for registration `target` alone (mask + lists, or an error)
        Assoc,      // an association file changed
        Announced,  // told by the program (lists in `first`, `second`)
    };
    Type type = Type::Item;
    quint32 mask = 0;
    QString path;
    QString path2;
    bool isDir = false;
    quint32 target = 0;
    quint32 cookie = 0;
    Clock::time_point since;
    ItemIdList first;
    ItemIdList second;
    QString error;
    QList<quint32> retireAfter;  // registrations whose folder this notice takes away
    quint64 read = 0;            // the read from the kernel that made it
    quint64 serial = 0;          // its place among all notices made
};

// What a scan of a folder that just came reports of what it finds.
enum class Report {
    Nothing,    // a folder that was there before (registration, rebuild)
    Everything, // a new folder: all it holds is new
    BornSince,  // a folder moved in: what was made in it since the move
};

struct Registration {
    WatchRequest req;
    bool retired = false;      // its folder is gone: quiet until a folder is back at its place
    QString lookout;           // while retired: the nearest folder above it that exists, watched
    quint64 backFrom = 0;      // the first notice it hears since its folder came back
    bool toldLimit = false;
    qint64 lastFree = -1;
    quint32 drive = 0;
};

}  // namespace

struct InotifyBackend::State {
    std::function<void()> wake;
    int fd = -1;
    int wakeFd = -1;
    int mountFd = -1;
    QString startError;
    std::thread reader;
    std::atomic<bool> stop{false};
    std::atomic<bool> paused{false};

    mutable std::mutex mutex;  // everything below
    std::map<quint32, Registration> regs;
    QHash<int, QString> wdPath;
    QHash<QString, int> pathWd;
    QSet<QString> enumerated;
    QSet<QString> assocDirs;
    bool assocActive = false;
    QSet<QString> scanned;  // reported by a scan; their own create events, when they come, are not
    std::deque<Raw> pending;
    QHash<quint32, Raw*> moves;  // by cookie; deque elements keep their address
    std::deque<ChangeNotice> outbox;
    quint64 readSerial = 0;
    quint64 noticeSerial = 0;
    QList<MountTable::Mount> mounts;
    QSet<QString> pseudoMounts;
    Clock::time_point nextFreeCheck = Clock::now();
    QString lastFolder;  // listFor's cache; forgotten when the volumes change
    ItemIdList lastFolderList;
    QSet<QString> roots;

    // --- watches ---

    int addWatch(const QString& path, bool followLink)
    {
        const int wd = ::inotify_add_watch(fd, enc(path).constData(), kWatchMask | (followLink ? 0 : IN_DONT_FOLLOW));
        if (wd < 0) {
            if (errno == ENOSPC || errno == ENOMEM) limitReached(path);
            return -1;
        }
        const auto old = wdPath.constFind(wd);
        if (old != wdPath.constEnd() && *old != path) return wd;  // the same folder seen through another path
        wdPath.insert(wd, path);
        pathWd.insert(path, wd);
        return wd;
    }

    void forget(int wd)
    {
        const QString path = wdPath.take(wd);
        const auto it = pathWd.constFind(path);
        if (it != pathWd.constEnd() && *it == wd) pathWd.remove(path);
    }

    bool needed(const QString& path) const
    {
        for (const auto& [id, r] : regs) {
            if (r.retired) {
                if (path == r.lookout) return true;
                continue;
            }
            switch (r.req.scope) {
            case WatchRequest::Scope::Folder:
                if (r.req.recursive ? isAtOrUnder(path, r.req.folder) : path == r.req.folder) return true;
                break;
            case WatchRequest::Scope::Everything:
                if (enumerated.contains(path)) return true;
                break;
            case WatchRequest::Scope::Computer: break;
            }
        }
        return assocActive && assocDirs.contains(path);
    }

    bool covers(const Registration& r, const QString& path) const
    {
        switch (r.req.scope) {
        case WatchRequest::Scope::Folder:
            return path == r.req.folder || (r.req.recursive ? isUnder(path, r.req.folder) : parentOf(path) == r.req.folder);
        case WatchRequest::Scope::Everything: return enumerated.contains(path) || enumerated.contains(parentOf(path));
        case WatchRequest::Scope::Computer: return false;
        }
        return false;
    }

    // Watches the folders below `root` (already watched) that a registration needs; with
    // `report`, everything found is reported as created. Each folder's watch is in place before
    // the folder is read, so nothing made in it meanwhile is missed.
    // Birth time in nanoseconds, -1 when the file system does not keep it.
    static qint64 bornAt(const QString& path)
    {
        struct statx sx;
        if (::statx(AT_FDCWD, enc(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0) return -1;
        if (!(sx.stx_mask & STATX_BTIME)) return -1;
        return qint64(sx.stx_btime.tv_sec) * 1000000000 + sx.stx_btime.tv_nsec;
    }

    static qint64 changedAt(const QString& path)
    {
        struct statx sx;
        if (::statx(AT_FDCWD, enc(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_CTIME, &sx) != 0) return -1;
        return qint64(sx.stx_ctime.tv_sec) * 1000000000 + sx.stx_ctime.tv_nsec;
    }

    // Watches the folders below `root` (already watched) that a registration needs and reports
    // what `report` asks of what it finds. Each folder's watch is in place before the folder is
    // read, so nothing made in it meanwhile is missed.
    void watchBelow(const QString& root, Report report)
    {
        // A move sets the folder's change time, and so does every change of its entries since:
        // read after the folder's watch is in place, it is the time of the move or of the last
        // entry made before the watch took hold. What was born since is new (within a clock tick).
        const qint64 since = report == Report::BornSince ? changedAt(root) : 0;
        if (report == Report::BornSince && (since < 0 || bornAt(root) < 0)) report = Report::Nothing;
        std::vector<QString> stack{root};
        while (!stack.empty()) {
            const QString dir = std::move(stack.back());
            stack.pop_back();
            DIR* d = ::opendir(enc(dir).constData());
            if (!d) continue;
            std::vector<std::pair<QString, bool>> entries;
            while (dirent* e = ::readdir(d)) {
                if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0))) continue;
                bool isDir = e->d_type == DT_DIR;
                const QString child = join(dir, QFile::decodeName(e->d_name));
                if (e->d_type == DT_UNKNOWN) {
                    struct stat st;
                    isDir = ::lstat(enc(child).constData(), &st) == 0 && S_ISDIR(st.st_mode);
                }
                entries.emplace_back(child, isDir);
            }
            ::closedir(d);
            std::vector<QString> below;
            for (const auto& [child, isDir] : entries) {
                if (report == Report::Everything || (report == Report::BornSince && bornAt(child) >= since)) {
                    push(item(isDir ? SHCNE_MKDIR : SHCNE_CREATE, child, isDir));
                    scanned.insert(child);
                }
                if (!isDir || pseudoMounts.contains(child) || !needed(child)) continue;
                if (!pathWd.contains(child) && addWatch(child, false) < 0) continue;
                below.push_back(child);
            }
            // Taken from the back: the first sub-folder is read first.
            stack.insert(stack.end(), std::make_move_iterator(below.rbegin()), std::make_move_iterator(below.rend()));
        }
    }

    void watchNew(const QString& path, Report report)
    {
        if (pseudoMounts.contains(path) || !needed(path)) return;
        if (!pathWd.contains(path) && addWatch(path, false) < 0) return;
        watchBelow(path, report);
    }

    void unwatchTree(const QString& path)
    {
        QList<int> gone;
        for (auto it = pathWd.constBegin(); it != pathWd.constEnd(); ++it)
            if (isAtOrUnder(it.key(), path)) gone << it.value();
        for (int wd : gone) {
            ::inotify_rm_watch(fd, wd);
            forget(wd);
        }
    }

    void renameTree(const QString& from, const QString& to)
    {
        QList<std::pair<QString, int>> moved;
        for (auto it = pathWd.constBegin(); it != pathWd.constEnd(); ++it)
            if (isAtOrUnder(it.key(), from)) moved.append({it.key(), it.value()});
        for (const auto& [old, wd] : moved) pathWd.remove(old);
        for (const auto& [old, wd] : moved) {
            const QString now = to + old.mid(from.size());
            pathWd.insert(now, wd);
            wdPath.insert(wd, now);
        }
    }

    // Drops the watches no registration needs any more.
    void reconcile()
    {
        QList<int> gone;
        for (auto it = pathWd.constBegin(); it != pathWd.constEnd(); ++it)
            if (!needed(it.key())) gone << it.value();
        for (int wd : gone) {
            ::inotify_rm_watch(fd, wd);
            forget(wd);
        }
    }

    bool establish(quint32 id, Registration& r)
    {
        if (r.req.mask & SHCNE_ASSOCCHANGED) startAssociations();
        switch (r.req.scope) {
        case WatchRequest::Scope::Folder:
            if (!pathWd.contains(r.req.folder) && addWatch(r.req.folder, true) < 0) return false;
            if (r.req.recursive) watchBelow(r.req.folder, Report::Nothing);
            noteFreeSpace(r);
            break;
        case WatchRequest::Scope::Everything:
            for (const QString& p : std::as_const(enumerated))
                if (!pathWd.contains(p)) addWatch(p, true);
            break;
        case WatchRequest::Scope::Computer: break;
        }
        Q_UNUSED(id);
        return true;
    }

    // --- a watched folder that went away and comes back ---

    bool anyWaiting() const
    {
        for (const auto& [id, r] : regs)
            if (r.retired) return true;
        return false;
    }

    // A folder appears at `path` and its event is being read: registrations waiting for it
    // listen again from the notice `serial` on, which reports it (what is in it follows).
    void returning(const QString& path, quint64 serial)
    {
        for (auto& [id, r] : regs)
            if (r.retired && r.req.folder == path) {
                r.retired = false;
                r.lookout.clear();
                r.backFrom = serial;  // not what this read told of its place before
                noteFreeSpace(r);
            }
    }

    // Each waiting registration watches the nearest folder above its own that exists, so that
    // its folder's return is seen; a folder found back already is reported with what it holds.
    // The lookout's watch is in place before the folder is looked for, so a return in between
    // is not missed.
    void watchForReturn()
    {
        bool changed = false;
        for (auto& [id, r] : regs) {
            if (!r.retired) continue;
            for (int tries = 0; tries < 64; ++tries) {
                if (QFileInfo(r.req.folder).isDir()) {
                    returning(r.req.folder, noticeSerial + 1);  // and any other waiting for the same folder
                    push(item(SHCNE_MKDIR, r.req.folder, true));
                    scanned.insert(r.req.folder);  // its create event, if it is read later, told already
                    if (pathWd.contains(r.req.folder) || addWatch(r.req.folder, true) >= 0)
                        watchBelow(r.req.folder, Report::Everything);
                    changed = true;
                    break;
                }
                QString above = parentOf(r.req.folder);
                while (!above.isEmpty() && !QFileInfo(above).isDir()) above = parentOf(above);
                if (above.isEmpty()) break;
                if (above == r.lookout && pathWd.contains(above)) break;
                r.lookout = above;
                changed = true;
                // Gone again before its watch took hold: look again from there.
                if (!pathWd.contains(above) && addWatch(above, true) < 0) r.lookout.clear();
            }
        }
        if (changed) reconcile();
    }

    void startAssociations()
    {
        if (assocActive) return;
        assocActive = true;
        assocDirs.clear();
        for (const QString& d : associationFolders()) {
            assocDirs.insert(d);
            if (!pathWd.contains(d)) addWatch(d, true);
        }
    }

    void limitReached(const QString& path)
    {
        for (auto& [id, r] : regs) {
            if (r.retired || r.toldLimit) continue;
            const bool concerned = r.req.scope == WatchRequest::Scope::Folder ? isAtOrUnder(path, r.req.folder)
                                                                              : r.req.scope == WatchRequest::Scope::Everything;
            if (!concerned) continue;
            r.toldLimit = true;
            Raw t;
            t.type = Raw::Type::Targeted;
            t.target = id;
            t.error = QStringLiteral("The system's limit on watched folders has been reached at %1: changes in the "
                                     "folders that could not be watched are not reported")
                          .arg(path);
            push(std::move(t));
        }
    }

    // --- free space ---

    static qint64 freeBytes(const QString& path)
    {
        struct statvfs s;
        if (::statvfs(enc(path).constData(), &s) != 0) return -1;
        return qint64(s.f_bavail) * qint64(s.f_frsize);
    }

    // Bit n stands for the n-th volume under Computer ("/" is bit 0), as a drive mask does.
    static quint32 driveOf(const QString& path)
    {
        const QList<ShellNamespace::Volume> volumes = ShellNamespace::volumes();
        int best = -1;
        for (int i = 0; i < volumes.size(); ++i) {
            if (isAtOrUnder(path, volumes[i].mountPoint) &&
                (best < 0 || volumes[i].mountPoint.size() > volumes[best].mountPoint.size()))
                best = i;
        }
        return best >= 0 && best < 32 ? (1u << best) : 0u;
    }

    void noteFreeSpace(Registration& r) const
    {
        if (!(r.req.mask & SHCNE_FREESPACE) || r.req.scope != WatchRequest::Scope::Folder) return;
        r.drive = driveOf(r.req.folder);
        r.lastFree = freeBytes(r.req.folder);
    }

    bool wantsFreeSpace() const
    {
        for (const auto& [id, r] : regs)
            if (!r.retired && (r.req.mask & SHCNE_FREESPACE) && r.req.scope == WatchRequest::Scope::Folder) return true;
        return false;
    }

    void checkFreeSpace()
    {
        const auto now = Clock::now();
        if (now < nextFreeCheck || !wantsFreeSpace()) return;
        nextFreeCheck = now + kFreeSpacePeriod;
        for (auto& [id, r] : regs) {
            if (r.retired || !(r.req.mask & SHCNE_FREESPACE) || r.req.scope != WatchRequest::Scope::Folder) continue;
            const qint64 free = freeBytes(r.req.folder);
            if (free < 0 || free == r.lastFree) continue;
            const bool changed = r.lastFree >= 0;
            r.lastFree = free;
            if (!changed) continue;
            QByteArray numbers(8, '\0');
            for (int i = 0; i < 4; ++i) numbers[i] = char((r.drive >> (8 * i)) & 0xFF);
            Raw t;
            t.type = Raw::Type::Targeted;
            t.target = id;
            t.mask = SHCNE_FREESPACE;
            t.first = ItemIdList::rawElement(numbers);
            push(std::move(t));
        }
    }

    // --- media ---

    QList<MountTable::Mount> readMounts() const
    {
        if (mountFd < 0) return MountTable::current();
        QByteArray all;
        ::lseek(mountFd, 0, SEEK_SET);
        char chunk[8192];
        for (;;) {
            const ssize_t n = ::read(mountFd, chunk, sizeof chunk);
            if (n <= 0) break;
            all.append(chunk, n);
        }
        return MountTable::parse(all);
    }

    void notePseudoMounts()
    {
        pseudoMounts.clear();
        for (const MountTable::Mount& m : mounts)
            if (kPseudoFileSystems.contains(m.fsType)) pseudoMounts.insert(m.mountPoint);
    }

    void mountsChanged()
    {
        const QList<MountTable::Mount> now = readMounts();
        QSet<QString> before, after;
        for (const auto& m : mounts) before.insert(m.mountPoint);
        for (const auto& m : now) after.insert(m.mountPoint);
        const QList<MountTable::Mount> old = mounts;
        mounts = now;
        notePseudoMounts();
        ShellNamespace::refreshVolumes();
        lastFolder.clear();
        lastFolderList.free();
        roots.clear();
        auto announceMount = [&](const MountTable::Mount& m, bool added) {
            const ItemIdList list = ShellNamespace::volumeList(m.mountPoint, MountTable::labelOf(m));
            const quint32 masks[2] = {added ? SHCNE_MEDIAINSERTED : SHCNE_MEDIAREMOVED,
                                      added ? SHCNE_DRIVEADD : SHCNE_DRIVEREMOVED};
            for (quint32 mask : masks) {
                Raw r;
                r.type = Raw::Type::Media;
                r.mask = mask;
                r.path = m.mountPoint;
                r.isDir = true;
                r.first = list;
                push(std::move(r));
            }
            // What lies at the mount point is another folder now: watch that one.
            if (pathWd.contains(m.mountPoint) || needed(m.mountPoint)) {
                unwatchTree(m.mountPoint);
                if (needed(m.mountPoint) && addWatch(m.mountPoint, true) >= 0) watchBelow(m.mountPoint, Report::Nothing);
            }
        };
        for (const auto& m : now)
            if (!before.contains(m.mountPoint)) announceMount(m, true);
        for (const auto& m : old)
            if (!after.contains(m.mountPoint)) announceMount(m, false);
    }

    // --- reading ---

    Raw item(quint32 mask, const QString& path, bool isDir)
    {
        Raw r;
        r.mask = mask;
        r.path = path;
        r.isDir = isDir;
        return r;
    }

    // The registrations whose folder is `path` or lies below it.
    QList<quint32> rootsAt(const QString& path) const
    {
        QList<quint32> ids;
        for (const auto& [id, r] : regs)
            if (!r.retired && r.req.scope == WatchRequest::Scope::Folder && isAtOrUnder(r.req.folder, path)) ids << id;
        return ids;
    }

    void push(Raw r)
    {
        r.read = readSerial;
        r.serial = ++noticeSerial;
        if (r.type == Raw::Type::Item && !pending.empty()) {
            const Raw& last = pending.back();
            // Adjacent identical notices of one read are one notice.
            if (last.type == Raw::Type::Item && last.read == r.read && last.mask == r.mask && last.path == r.path &&
                r.retireAfter.isEmpty())
                return;
        }
        pending.push_back(std::move(r));
    }

    void resolveMovedOut(Raw& r)
    {
        moves.remove(r.cookie);
        r.type = Raw::Type::Item;
        r.mask = r.isDir ? SHCNE_RMDIR : SHCNE_DELETE;
        if (r.isDir && pathWd.contains(r.path)) unwatchTree(r.path);
    }

    void selfEvent(uint32_t mask, const QString& dir)
    {
        const QString parent = parentOf(dir);
        const bool parentWatched = !parent.isEmpty() && pathWd.contains(parent);
        if (mask & IN_ATTRIB) {
            if (!parentWatched) push(item(SHCNE_UPDATEDIR, dir, true));  // else the parent tells
            return;
        }
        if (mask & IN_MOVE_SELF) {
            // A first half still waiting: the folder has left the watched folders.
            for (Raw& r : pending) {
                if (r.type == Raw::Type::Move && r.isDir && r.path == dir) {
                    resolveMovedOut(r);
                    return;
                }
            }
            if (parentWatched) return;  // renamed where we watch: already paired
            Raw r = item(SHCNE_RMDIR, dir, true);
            r.retireAfter = rootsAt(dir);
            push(std::move(r));
            unwatchTree(dir);
            return;
        }
        if ((mask & IN_DELETE_SELF) && !parentWatched) {
            Raw r = item(SHCNE_RMDIR, dir, true);
            r.retireAfter = rootsAt(dir);
            push(std::move(r));
        }
    }

    void movedTo(quint32 cookie, const QString& path, bool isDir)
    {
        Raw* from = cookie ? moves.take(cookie) : nullptr;
        if (from) {
            from->type = Raw::Type::Rename;
            from->path2 = path;
            if (isDir) folderRenamed(from->path, path, from->serial);
            return;
        }
        if (!scanned.isEmpty() && scanned.remove(path)) return;  // the scan that found it told already
        if (isDir) returning(path, noticeSerial + 1);
        push(item(isDir ? SHCNE_MKDIR : SHCNE_CREATE, path, isDir));
        if (isDir) watchNew(path, Report::BornSince);
    }

    void folderRenamed(const QString& from, const QString& to, quint64 serial)
    {
        if (pathWd.contains(from)) {
            renameTree(from, to);
            reconcile();
            if (needed(to) && pathWd.contains(to)) watchBelow(to, Report::Nothing);
            return;
        }
        returning(to, serial);
        if (needed(to)) {
            // It should have been watched where it was and wasn't (it went away before its
            // watch took hold): what is in it was never reported.
            watchNew(to, needed(from) ? Report::Everything : Report::BornSince);
        }
    }

    void overflow()
    {
        for (auto& [id, r] : regs) {
            if (r.retired) continue;
            Raw t;
            t.type = Raw::Type::Targeted;
            t.target = id;
            t.mask = SHCNE_UPDATEDIR;
            switch (r.req.scope) {
            case WatchRequest::Scope::Folder: t.first = ShellNamespace::listForPath(r.req.folder, true); break;
            case WatchRequest::Scope::Everything: t.first = ItemIdList::desktop(); break;
            case WatchRequest::Scope::Computer: t.first = ShellNamespace::computerList(); break;
            }
            push(std::move(t));
        }
        for (Raw& r : pending)
            if (r.type == Raw::Type::Move) {
                r.type = Raw::Type::Item;
                r.mask = r.isDir ? SHCNE_RMDIR : SHCNE_DELETE;
            }
        moves.clear();
        scanned.clear();
        for (auto it = wdPath.constBegin(); it != wdPath.constEnd(); ++it) ::inotify_rm_watch(fd, it.key());
        wdPath.clear();
        pathWd.clear();
        const bool assoc = assocActive;
        assocActive = false;
        for (auto& [id, r] : regs) {
            r.lookout.clear();
            if (!r.retired) establish(id, r);
        }
        if (assoc && !assocActive) startAssociations();
        watchForReturn();
    }

    void processRead(const char* buf, ssize_t len)
    {
        ++readSerial;
        const bool waiting = anyWaiting();
        QList<QString> changed;
        QSet<QString> changedSet;
        bool assoc = false;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= len;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            at += sizeof(inotify_event) + ev->len;
            if (ev->mask & IN_Q_OVERFLOW) {
                overflow();
                changed.clear();
                changedSet.clear();
                continue;
            }
            const auto found = wdPath.constFind(ev->wd);
            if (found == wdPath.constEnd()) continue;
            if (ev->mask & IN_IGNORED) {
                forget(ev->wd);
                continue;
            }
            if (ev->mask & IN_UNMOUNT) continue;
            const QString dir = *found;
            if (ev->len == 0 || ev->name[0] == 0) {
                selfEvent(ev->mask, dir);
                continue;
            }
            const QString name = QFile::decodeName(ev->name);
            const QString path = join(dir, name);
            const bool isDir = ev->mask & IN_ISDIR;
            if (assocActive && assocDirs.contains(dir) && isAssociationFile(name)) assoc = true;
            if (!changedSet.contains(dir)) {
                changedSet.insert(dir);
                changed.append(dir);
            }
            if (ev->mask & IN_CREATE) {
                if (!scanned.isEmpty() && scanned.remove(path)) continue;
                if (isDir && waiting) returning(path, noticeSerial + 1);
                push(item(isDir ? SHCNE_MKDIR : SHCNE_CREATE, path, isDir));
                if (isDir) watchNew(path, Report::Everything);
            } else if (ev->mask & IN_DELETE) {
                if (!scanned.isEmpty()) scanned.remove(path);
                Raw r = item(isDir ? SHCNE_RMDIR : SHCNE_DELETE, path, isDir);
                if (isDir) r.retireAfter = rootsAt(path);
                push(std::move(r));
            } else if (ev->mask & IN_MODIFY) {
                if (!isDir) push(item(SHCNE_UPDATEITEM, path, false));
            } else if (ev->mask & IN_ATTRIB) {
                push(item(isDir ? SHCNE_UPDATEDIR : SHCNE_UPDATEITEM, path, isDir));
            } else if (ev->mask & IN_MOVED_FROM) {
                if (!scanned.isEmpty()) scanned.remove(path);
                Raw r = item(0, path, isDir);
                r.type = Raw::Type::Move;
                r.cookie = ev->cookie;
                r.since = Clock::now();
                r.retireAfter = isDir ? rootsAt(path) : QList<quint32>();
                pending.push_back(std::move(r));
                pending.back().read = readSerial;
                pending.back().serial = ++noticeSerial;
                if (ev->cookie) moves.insert(ev->cookie, &pending.back());
            } else if (ev->mask & IN_MOVED_TO) {
                movedTo(ev->cookie, path, isDir);
            }
        }
        // Any change inside a folder is a change of the folder, told once per read.
        for (const QString& dir : std::as_const(changed))
            if (pathWd.contains(dir)) push(item(SHCNE_UPDATEDIR, dir, true));
        // A lookout may have gone too, or a folder may be back by a way no event showed.
        if (waiting && anyWaiting()) watchForReturn();
        if (assoc) {
            Raw r;
            r.type = Raw::Type::Assoc;
            r.mask = SHCNE_ASSOCCHANGED;
            push(std::move(r));
        }
    }

    // --- telling the registrations ---

    void out(quint32 id, quint32 mask, const ItemIdList& first, const ItemIdList& second)
    {
        outbox.push_back(ChangeNotice{id, mask, first, second, QString()});
    }

    // The list of a path; the list of the last folder asked for is kept, since notices come in
    // runs from one folder.
    ItemIdList listFor(const QString& path, bool isDir)
    {
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash <= 0) return ShellNamespace::listForPath(path, isDir);
        const QStringView folder = QStringView(path).left(slash);
        if (folder != lastFolder) {
            lastFolder = folder.toString();
            lastFolderList = ShellNamespace::listForPath(lastFolder, true);
        }
        // A path that is a root of its own (Home, a volume) has a list of its own kind.
        if (roots.isEmpty()) {
            roots.insert(ShellNamespace::homePath());
            for (const ShellNamespace::Volume& v : ShellNamespace::volumes()) roots.insert(v.mountPoint);
        }
        if (lastFolderList.isNull() || roots.contains(path)) return ShellNamespace::listForPath(path, isDir);
        return lastFolderList.appended(
            ItemIdList::element(isDir ? ItemIdList::Kind::Folder : ItemIdList::Kind::File, path.mid(slash + 1)));
    }

    void tell(Raw& r)
    {
        ItemIdList a, b;
        auto listA = [&] {
            if (a.isNull()) a = listFor(r.path, r.isDir);
            return a;
        };
        auto listB = [&] {
            if (b.isNull()) b = listFor(r.path2, r.isDir);
            return b;
        };
        for (auto& [id, reg] : regs) {
            if (reg.retired || r.serial < reg.backFrom) continue;
            switch (r.type) {
            case Raw::Type::Item:
                if ((reg.req.mask & r.mask) && covers(reg, r.path)) out(id, r.mask, listA(), ItemIdList());
                break;
            case Raw::Type::Rename: {
                const bool old = covers(reg, r.path), now = covers(reg, r.path2);
                if (old && now) {
                    const quint32 m = r.isDir ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM;
                    if (reg.req.mask & m) out(id, m, listA(), listB());
                } else if (old) {
                    const quint32 m = r.isDir ? SHCNE_RMDIR : SHCNE_DELETE;  // moved out
                    if (reg.req.mask & m) out(id, m, listA(), ItemIdList());
                } else if (now) {
                    const quint32 m = r.isDir ? SHCNE_MKDIR : SHCNE_CREATE;  // moved in
                    if (reg.req.mask & m) out(id, m, listB(), ItemIdList());
                }
                break;
            }
            case Raw::Type::Media:
                if ((reg.req.mask & r.mask) &&
                    (covers(reg, r.path) || (reg.req.allVolumes && MountTable::isVolume(r.path))))
                    out(id, r.mask, r.first, ItemIdList());
                break;
            case Raw::Type::Targeted:
                if (id != r.target) break;
                if (!r.error.isEmpty()) {
                    outbox.push_back(ChangeNotice{id, 0, ItemIdList(), ItemIdList(), r.error});
                } else if (reg.req.mask & r.mask) {
                    out(id, r.mask, r.first, r.second);
                }
                break;
            case Raw::Type::Assoc:
                if (reg.req.mask & SHCNE_ASSOCCHANGED) out(id, SHCNE_ASSOCCHANGED, ItemIdList(), ItemIdList());
                break;
            case Raw::Type::Announced: {
                if (!(reg.req.mask & r.mask)) break;
                const QString p1 = ShellNamespace::fileSystemPathOf(r.first);
                const QString p2 = ShellNamespace::fileSystemPathOf(r.second);
                if ((!p1.isEmpty() && covers(reg, p1)) || (!p2.isEmpty() && covers(reg, p2)) ||
                    reg.req.scope == WatchRequest::Scope::Everything)
                    out(id, r.mask, r.first, r.second);
                break;
            }
            case Raw::Type::Move: break;
            }
        }
        // Registrations whose folder went away: the ones below the notice's folder hear of it
        // now; then all of them go quiet.
        bool retired = false;
        for (quint32 id : std::as_const(r.retireAfter)) {
            auto it = regs.find(id);
            if (it == regs.end() || it->second.retired) continue;
            Registration& reg = it->second;
            if (reg.req.folder != r.path && (reg.req.mask & SHCNE_RMDIR))
                out(id, SHCNE_RMDIR, ShellNamespace::listForPath(reg.req.folder, true), ItemIdList());
            reg.retired = true;
            retired = true;
        }
        if (retired) {
            reconcile();
            watchForReturn();
        }
    }

    void flush()
    {
        const bool wasEmpty = outbox.empty();
        while (!pending.empty()) {
            Raw& r = pending.front();
            if (r.type == Raw::Type::Move) {
                if (Clock::now() - r.since < kMoveAge) break;
                resolveMovedOut(r);
            }
            tell(r);
            pending.pop_front();
        }
        if (wasEmpty && !outbox.empty() && wake) wake();
    }

    int timeoutMs() const
    {
        auto best = Clock::time_point::max();
        for (const Raw* m : moves) best = std::min(best, m->since + kMoveAge);
        if (wantsFreeSpace()) best = std::min(best, nextFreeCheck);
        if (best == Clock::time_point::max()) return -1;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(best - Clock::now()).count() + 1;
        return int(std::clamp<long long>(ms, 0, 1000));
    }

    void run()
    {
        std::vector<char> buffer(kReadBuffer);
        while (!stop.load()) {
            int timeout;
            {
                std::lock_guard lock(mutex);
                timeout = timeoutMs();
            }
            pollfd fds[3] = {{paused.load() ? -1 : fd, POLLIN, 0}, {wakeFd, POLLIN, 0}, {mountFd, POLLPRI, 0}};
            const int n = ::poll(fds, mountFd >= 0 ? 3 : 2, timeout);
            if (n < 0 && errno != EINTR) break;
            if (fds[1].revents & POLLIN) {
                uint64_t v;
                [[maybe_unused]] ssize_t r = ::read(wakeFd, &v, sizeof v);
            }
            if (stop.load()) break;
            if (fds[0].revents & POLLIN) {
                // Drain the kernel's queue at once; each read is told as it is read.
                for (;;) {
                    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
                    if (got < 0 && errno == EINTR) continue;
                    std::lock_guard lock(mutex);
                    if (got <= 0) {
                        // Everything queued before the last scans is read: their create events
                        // have come or never will.
                        scanned.clear();
                        flush();
                        break;
                    }
                    processRead(buffer.data(), got);
                    flush();
                    // A read that left room took everything there was: no need to ask again,
                    // unless folders were scanned since it began (their own events may follow).
                    if (scanned.isEmpty() && size_t(got) + sizeof(inotify_event) + NAME_MAX + 1 <= buffer.size()) break;
                }
            }
            std::lock_guard lock(mutex);
            if (mountFd >= 0 && (fds[2].revents & (POLLPRI | POLLERR))) mountsChanged();
            checkFreeSpace();
            flush();
        }
    }
};

InotifyBackend::InotifyBackend(std::function<void()> wake) : d(std::make_unique<State>())
{
    d->wake = std::move(wake);
    d->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d->fd < 0) {
        d->startError = QStringLiteral("Change notification is not available: %1").arg(QString::fromLocal8Bit(::strerror(errno)));
        return;
    }
    d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    d->mountFd = ::open(enc(MountTable::tablePath()).constData(), O_RDONLY | O_CLOEXEC);
    d->mounts = d->readMounts();
    d->notePseudoMounts();
    d->reader = std::thread([s = d.get()] { s->run(); });
}

InotifyBackend::~InotifyBackend()
{
    d->stop.store(true);
    if (d->wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(d->wakeFd, &one, sizeof one);
    }
    if (d->reader.joinable()) d->reader.join();
    for (int f : {d->fd, d->wakeFd, d->mountFd})
        if (f >= 0) ::close(f);
}

QString InotifyBackend::startError() const { return d->startError; }

bool InotifyBackend::add(quint32 id, const WatchRequest& request)
{
    if (d->fd < 0) return false;
    std::lock_guard lock(d->mutex);
    Registration& r = d->regs[id];
    r.req = request;
    if (!d->establish(id, r)) {
        d->regs.erase(id);
        d->reconcile();
        return false;
    }
    d->flush();
    return true;
}

void InotifyBackend::remove(quint32 id)
{
    std::lock_guard lock(d->mutex);
    if (d->regs.erase(id) == 0) return;
    bool assoc = false;
    for (const auto& [other, r] : d->regs) assoc = assoc || (r.req.mask & SHCNE_ASSOCCHANGED);
    if (!assoc) d->assocActive = false;
    d->reconcile();
    for (auto it = d->outbox.begin(); it != d->outbox.end();)
        it = it->registration == id ? d->outbox.erase(it) : it + 1;
}

void InotifyBackend::folderEnumerated(const QString& path)
{
    std::lock_guard lock(d->mutex);
    d->enumerated.insert(path);
    if (!d->pathWd.contains(path) && d->needed(path)) d->addWatch(path, true);
    d->flush();
}

void InotifyBackend::announce(quint32 mask, const ItemIdList& first, const ItemIdList& second)
{
    std::lock_guard lock(d->mutex);
    Raw r;
    r.type = Raw::Type::Announced;
    r.mask = mask;
    r.first = first;
    r.second = second;
    d->push(std::move(r));
    d->flush();
}

std::deque<ChangeNotice> InotifyBackend::take()
{
    std::lock_guard lock(d->mutex);
    std::deque<ChangeNotice> taken;
    taken.swap(d->outbox);
    return taken;
}

void InotifyBackend::pauseReading(bool paused)
{
    d->paused.store(paused);
    if (d->wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(d->wakeFd, &one, sizeof one);
    }
}

int InotifyBackend::watchedFolders() const
{
    std::lock_guard lock(d->mutex);
    return int(d->wdPath.size());
}
