// Volumes and free space: the mount table (which tells of its changes) gives the media
// notices, and what lies at a mount point is watched as it is now; the free space of each
// folder that asks is looked at once a second.
#include "platform/inotify/InotifyState.h"
#include "platform/polling/PollChooser.h"

#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace InotifyDetail {

namespace {

constexpr auto kFreeSpacePeriod = std::chrono::seconds(1);

const QSet<QString> kPseudoFileSystems = {
    QStringLiteral("proc"),    QStringLiteral("sysfs"),      QStringLiteral("cgroup"),   QStringLiteral("cgroup2"),
    QStringLiteral("devpts"),  QStringLiteral("debugfs"),    QStringLiteral("tracefs"),  QStringLiteral("securityfs"),
    QStringLiteral("pstore"),  QStringLiteral("bpf"),        QStringLiteral("configfs"), QStringLiteral("fusectl"),
    QStringLiteral("mqueue"),  QStringLiteral("hugetlbfs"),  QStringLiteral("binfmt_misc"), QStringLiteral("autofs"),
    QStringLiteral("efivarfs"), QStringLiteral("devtmpfs"),
};

qint64 freeBytes(const QByteArray& path)
{
    struct statvfs s;
    if (::statvfs(path.constData(), &s) != 0) return -1;
    return qint64(s.f_bavail) * qint64(s.f_frsize);
}

}  // namespace

QList<MountTable::Mount> State::readMounts() const
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

void State::notePseudoMounts()
{
    pseudoMounts.clear();
    remoteMounts.clear();
    for (const MountTable::Mount& m : mounts) {
        if (kPseudoFileSystems.contains(m.fsType)) pseudoMounts.insert(PathBytes::encode(m.mountPoint));
        if (PollChooser::isRemoteType(m.fsType)) remoteMounts.push_back(PathBytes::encode(m.mountPoint));
    }
}

void State::mountsChanged()
{
    const QList<MountTable::Mount> now = readMounts();
    QSet<QString> before, after;
    for (const auto& m : mounts) before.insert(m.mountPoint);
    for (const auto& m : now) after.insert(m.mountPoint);
    const QList<MountTable::Mount> old = mounts;
    mounts = now;
    notePseudoMounts();
    ShellNamespace::refreshVolumes();
    forgetLists();
    auto changed = [&](const MountTable::Mount& m, bool added) {
        // What lies at the mount point is looked at before the volume's notices are told.
        const QByteArray at = PathBytes::encode(m.mountPoint);
        listInOrder(at, ScanTask::Mode::Remount, added ? 1 : 0);
        const ItemIdList list = ShellNamespace::volumeList(m.mountPoint, MountTable::labelOf(m));
        for (quint32 mask : {added ? SHCNE_MEDIAINSERTED : SHCNE_MEDIAREMOVED, added ? SHCNE_DRIVEADD : SHCNE_DRIVEREMOVED}) {
            Raw r = Raw::of(Raw::Type::Media, mask, at);
            r.isDir = true;
            r.first = list;
            push(std::move(r));
        }
    };
    for (const auto& m : now)
        if (!before.contains(m.mountPoint)) changed(m, true);
    for (const auto& m : old)
        if (!after.contains(m.mountPoint)) changed(m, false);
    pollMountsChanged();
}

namespace {

std::pair<quint64, quint64> identityOf(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return {0, 0};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}

}  // namespace

void State::remount(const ScanTask& task, std::unique_lock<std::mutex>& lock)
{
    const QByteArray at = task.path;
    // Registrations whose own folder lies there, and what they watch.
    struct Root {
        quint32 id;
        QByteArray path;
        std::pair<quint64, quint64> watched;
    };
    std::vector<Root> roots;
    for (quint32 id : regs.rootsAt(at)) {
        const Registration* reg = regs.find(id);
        const WatchedFolder* f = table.find(reg->root.real);
        if (f && f->watched()) roots.push_back({id, reg->root.real, {f->device, f->inode}});
    }
    // A network or FUSE mount just made, whose server is not known to answer yet, is not
    // looked at: it is another folder than what was watched there, whatever it holds (its
    // poller tells that).
    const bool touch = mayTouch(at);
    lock.unlock();
    const std::pair<quint64, quint64> now = touch ? identityOf(at) : std::pair<quint64, quint64>{};
    std::vector<std::pair<quint64, quint64>> rootsNow;
    for (const Root& r : roots) rootsNow.push_back(touch ? identityOf(r.path) : std::pair<quint64, quint64>{});
    lock.lock();
    std::vector<quint32> gone;
    for (size_t i = 0; i < roots.size(); ++i) {
        Registration* reg = regs.find(roots[i].id);
        if (!reg || reg->retired || rootsNow[i] == roots[i].watched) continue;
        gone.push_back(roots[i].id);
    }
    if (WatchedFolder* f = table.find(at); f && (!f->watched() || std::make_pair(f->device, f->inode) != now)) {
        // Every watch at and below it is on what was there before, lookouts too.
        replaced(at, std::move(gone));
    } else if (!gone.empty()) {
        Raw r = item(0, at, true);  // each hears its own folder go
        r.retireAfter = std::move(gone);
        push(std::move(r));
    }
    finishTask(task, 0);
    // A folder that went with its volume may be back with it.
    lookoutsDue = true;
}

void State::replaced(const QByteArray& path, std::vector<quint32> ownersGone)
{
    WatchedFolder* f = table.find(path);
    const bool known = f && f->watched() && !f->lookoutOnly;
    bool ownerHere = false;
    for (quint32 id : ownersGone) {
        if (Registration* reg = regs.find(id); reg && reg->root.real == path) {
            ownerHere = true;
            reg->backTellsAll = known;
        }
    }
    if (known || !ownersGone.empty()) {
        // Heard as a folder deleted by those that watch it from above; those whose own folder
        // it was (or held) hear their own folder go.
        Raw r = item(known ? SHCNE_RMDIR : 0, path, true);
        r.retireAfter = std::move(ownersGone);
        push(std::move(r));
    }
    if (f) {
        table.remove(f, [this](int wd) { ::inotify_rm_watch(fd, wd); });
        forgetPaths();
    }
    for (auto& [id, r] : regs.all())
        if (r.retired && !r.lookout.isEmpty() && BytePath::isAtOrUnder(r.lookout, path)) r.lookout.clear();
    for (Awaited& a : awaited)
        if (!a.lookout.isEmpty() && BytePath::isAtOrUnder(a.lookout, path)) a.lookout.clear();
    // The folder there now is watched at once, so that nothing made in it is missed; an owner's
    // lookout brings it back (and tells it to everyone) instead.
    if (!ownerHere && wanted(path)) {
        if (known) {
            listInOrder(path, ScanTask::Mode::Report, 0, true);
        } else {
            queueScan({path, ScanTask::Mode::Baseline}, true);
        }
    }
    lookoutsDue = true;
    walkerWake.notify_all();
}

bool State::wantsFreeSpace() const
{
    for (const auto& [id, r] : regs.all())
        if (!r.retired && (r.req.mask & SHCNE_FREESPACE) && r.req.scope == WatchRequest::Scope::Folder) return true;
    return false;
}

void State::freeSpaceDuty(std::unique_lock<std::mutex>& lock)
{
    const auto now = Clock::now();
    if (now < nextFreeCheck || !wantsFreeSpace()) return;
    nextFreeCheck = now + kFreeSpacePeriod;
    std::vector<std::pair<quint32, QByteArray>> asked;
    for (const auto& [id, r] : regs.all())
        if (!r.retired && (r.req.mask & SHCNE_FREESPACE) && r.req.scope == WatchRequest::Scope::Folder &&
            mayTouch(r.root.real))
            asked.emplace_back(id, r.root.real);
    lock.unlock();
    std::vector<qint64> free;
    for (const auto& [id, path] : asked) free.push_back(freeBytes(path));
    lock.lock();
    for (size_t i = 0; i < asked.size(); ++i)
        if (Registration* r = regs.find(asked[i].first)) noteFreeSpace(*r, free[i]);
}

// Bit n of the drive number stands for the n-th volume under Computer ("/" is bit 0).
void State::noteFreeSpace(Registration& reg, qint64 free)
{
    if (free < 0 || free == reg.lastFree) return;
    const bool changed = reg.lastFree >= 0;
    reg.lastFree = free;
    if (!changed) {
        const QList<ShellNamespace::Volume> volumes = ShellNamespace::volumes();
        int best = -1;
        const QString path = PathBytes::decode(reg.root.real);
        for (int i = 0; i < volumes.size(); ++i) {
            const QString& mp = volumes[i].mountPoint;
            const bool covers = mp == u"/" || path == mp || path.startsWith(mp + u'/');
            if (covers && (best < 0 || mp.size() > volumes[best].mountPoint.size())) best = i;
        }
        reg.drive = best >= 0 && best < 32 ? (1u << best) : 0u;
        return;
    }
    QByteArray numbers(8, '\0');
    for (int i = 0; i < 4; ++i) numbers[i] = char((reg.drive >> (8 * i)) & 0xFF);
    targeted(reg.id, ChangeNotice::Kind::Notice, SHCNE_FREESPACE, ItemIdList::rawElement(numbers));
}

}  // namespace InotifyDetail
