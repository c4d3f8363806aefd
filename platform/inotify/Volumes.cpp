// Volumes and free space: the mount table (which tells of its changes) gives the media
// notices, and what lies at a mount point is watched as it is now; the free space of each
// folder that asks is looked at once a second.
#include "platform/inotify/InotifyState.h"

#include "platform/PathBytes.h"
#include "platform/ShellNamespace.h"

#include <sys/inotify.h>
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
    for (const MountTable::Mount& m : mounts)
        if (kPseudoFileSystems.contains(m.fsType)) pseudoMounts.insert(PathBytes::encode(m.mountPoint));
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
        // What lies at the mount point is another folder now: it is watched as it is before
        // the volume's notices are told. A registration whose own folder lies there hears it
        // go, and come back if it is there.
        const QByteArray at = PathBytes::encode(m.mountPoint);
        if (const std::vector<quint32> ids = regs.rootsAt(at); !ids.empty()) {
            Raw r = item(0, at, true);
            r.retireAfter = ids;
            push(std::move(r));
            for (quint32 id : ids)
                if (Registration* reg = regs.find(id)) reg->goneWithVolume = !added && reg->root.real == at;
        }
        if (WatchedFolder* f = table.find(at)) {
            // Every watch at and below it is on what was there before, lookouts too.
            table.remove(f, [this](int wd) { ::inotify_rm_watch(fd, wd); });
            for (auto& [id, r] : regs.all())
                if (r.retired && !r.lookout.isEmpty() && BytePath::isAtOrUnder(r.lookout, at)) r.lookout.clear();
            for (Awaited& a : awaited)
                if (!a.lookout.isEmpty() && BytePath::isAtOrUnder(a.lookout, at)) a.lookout.clear();
            if (wanted(at)) listInOrder(at, ScanTask::Mode::Baseline);
        }
        const ItemIdList list = ShellNamespace::volumeList(m.mountPoint, MountTable::labelOf(m));
        for (quint32 mask : {added ? SHCNE_MEDIAINSERTED : SHCNE_MEDIAREMOVED, added ? SHCNE_DRIVEADD : SHCNE_DRIVEREMOVED}) {
            Raw r;
            r.type = Raw::Type::Media;
            r.mask = mask;
            r.path = at;
            r.isDir = true;
            r.first = list;
            push(std::move(r));
        }
    };
    for (const auto& m : now)
        if (!before.contains(m.mountPoint)) changed(m, true);
    for (const auto& m : old)
        if (!after.contains(m.mountPoint)) changed(m, false);
    // A folder that went with its volume may be back with it.
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
        if (!r.retired && (r.req.mask & SHCNE_FREESPACE) && r.req.scope == WatchRequest::Scope::Folder)
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
