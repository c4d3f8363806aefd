// What the kernel cannot hear: folders on network and FUSE file systems are polled as well as
// watched (the kernel still tells the changes made through this machine at once). What a poll
// finds is told to the registration that polls, as its own notices; what the kernel's events told
// of the same paths since is not told again.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"
#include "platform/changes/ShellChangeEvents.h"
#include "platform/polling/PollChooser.h"

#include <cmath>

#include <sys/inotify.h>

namespace InotifyDetail {

namespace {

QString seconds(std::chrono::milliseconds interval)
{
    const qint64 s = std::max<qint64>(1, (interval.count() + 500) / 1000);
    return s == 1 ? QStringLiteral("second") : QStringLiteral("%1 s").arg(s);
}

}  // namespace

void State::pollRemote(Registration& reg)
{
    if (!poller || reg.req.scope != WatchRequest::Scope::Folder) return;
    // The table as it is now: a mount made a moment ago may not have been read yet.
    for (const PollChooser::Area& a : PollChooser::remoteAreas(MountTable::current(), reg.root.real, reg.root.recursive)) {
        const quint64 id = poller->add(a.lane, a.root, a.recursive);
        PolledArea& area = polled[id];
        area.reg = reg.id;
        area.root = a.root;
        area.recursive = a.recursive;
        area.fsType = a.fsType;
        reg.polledAreas.push_back(id);
        ++reg.pollsUnsettled;
    }
}

void State::stopPolling(Registration& reg)
{
    for (quint64 id : reg.polledAreas) {
        polled.erase(id);
        if (poller) poller->remove(id);
    }
    reg.polledAreas.clear();
    reg.pollsUnsettled = 0;
}

void State::pollSettled(Registration& reg)
{
    if (reg.pollsUnsettled <= 0 || --reg.pollsUnsettled > 0) return;
    std::vector<ChangeNotice> waiting = std::move(reg.waitingForPolls);
    reg.waitingForPolls.clear();
    for (ChangeNotice& n : waiting) {
        // Its start says what could not be watched, now that the polled folders are counted.
        if (n.kind == ChangeNotice::Kind::Watching && n.text.isEmpty()) n.text = polledLimitText(reg);
        out(reg, std::move(n));
    }
}

void State::notePolledTold(const Raw& r)
{
    auto note = [&](const QByteArray& path, bool exists) {
        if (path.isEmpty()) return;
        for (auto& [id, a] : polled)
            if (a.covers(path)) a.told[path.toStdString()] = {Clock::now(), exists};
    };
    switch (r.type) {
    case Raw::Type::Item:
        note(r.path, !(r.mask & (SHCNE_DELETE | SHCNE_RMDIR)));
        break;
    case Raw::Type::Move: note(r.path, false); break;
    case Raw::Type::Rename:
        note(r.path, false);
        note(r.path2, true);
        break;
    default: break;
    }
}

void State::pollWalked(FolderPoller::Walked& w)
{
    const auto found = polled.find(w.area);
    if (found == polled.end()) return;
    PolledArea& a = found->second;
    Registration* reg = regs.find(a.reg);
    if (!reg) return;
    if (!w.failed) a.folders = 1 + w.folders;
    if (!a.settled) {
        a.settled = true;
        if (!reg->toldPolled && !a.limit) {
            reg->toldPolled = true;
            const QString where = PathBytes::forDisplay(a.root == reg->root.real
                                                            ? reg->root.user
                                                            : RegistrationPaths::below(reg->root.user, reg->root.real, a.root));
            targeted(reg->id, ChangeNotice::Kind::Polled, 0, {},
                     QStringLiteral("%1 is on a network or FUSE file system (%2): changes made there by other "
                                    "machines are looked for every %3")
                         .arg(where, a.fsType, seconds(w.interval)));
        }
        if (a.limit && reg->pollsUnsettled == 0 && reg->job == 0) {  // made after the start
            const QString text = polledLimitText(*reg);
            if (!text.isEmpty()) targeted(reg->id, ChangeNotice::Kind::Problem, 0, {}, text);
        }
        pollSettled(*reg);
    }
    // What the kernel's events told before the walk began is in the walk; what they told since
    // may be in the next one too.
    auto toldAs = [&](const QByteArray& path, bool exists) {
        const auto t = a.told.find(path.toStdString());
        return t != a.told.end() && t->second.exists == exists;
    };
    // The table follows what the poll found, so that a later comparison does not find it again.
    auto noteName = [&](const QByteArray& path, bool isDir, bool present) {
        WatchedFolder* parent = table.find(BytePath::parentOf(path));
        if (!parent || !parent->watched() || !parent->listed || parent->lookoutOnly) return;
        const std::string_view name = BytePath::nameOf(path);
        if (present) {
            parent->names.insert(name, isDir);
        } else {
            parent->names.erase(name);
        }
        if (parent->listing()) parent->touch(name);
    };
    std::vector<QByteArray> folders;  // whose contents changed, in the order of their first change
    auto changedIn = [&](const QByteArray& path) {
        const QByteArray dir = BytePath::parentOf(path);
        if (std::find(folders.begin(), folders.end(), dir) == folders.end()) folders.push_back(dir);
    };
    auto tell = [&](quint32 mask, const QByteArray& path, bool isDir) {
        Raw r = item(mask, path, isDir);
        r.onlyFor = a.reg;
        if (mask == SHCNE_RMDIR) r.retireAfter = regs.rootsAt(path);
        push(std::move(r));
        changedIn(path);
    };
    for (const PollChange& c : w.changes) {
        switch (c.kind) {
        case PollChange::Kind::Created:
            if (toldAs(c.path, true)) break;
            noteName(c.path, c.isDir, true);
            tell(c.isDir ? SHCNE_MKDIR : SHCNE_CREATE, c.path, c.isDir);
            // Watched too, so that what is done to it through this machine is heard at once.
            if (c.isDir && !a.limit && wanted(c.path)) queueScan({c.path, ScanTask::Mode::Baseline}, false);
            break;
        case PollChange::Kind::Deleted:
            if (toldAs(c.path, false)) break;
            noteName(c.path, c.isDir, false);
            if (c.isDir)
                if (WatchedFolder* f = table.find(c.path)) {
                    table.remove(f, [this](int wd) { ::inotify_rm_watch(fd, wd); });
                    forgetPaths();
                }
            tell(c.isDir ? SHCNE_RMDIR : SHCNE_DELETE, c.path, c.isDir);
            break;
        case PollChange::Kind::Renamed: {
            if (toldAs(c.path, false) && toldAs(c.path2, true)) break;
            noteName(c.path, c.isDir, false);
            noteName(c.path2, c.isDir, true);
            if (c.isDir)
                if (WatchedFolder* f = table.find(c.path)) {
                    table.move(f, c.path2, [this](int wd) { ::inotify_rm_watch(fd, wd); });
                    forgetPaths();
                }
            Raw r;
            r.type = Raw::Type::Rename;
            r.path = c.path;
            r.path2 = c.path2;
            r.isDir = c.isDir;
            r.onlyFor = a.reg;
            push(std::move(r));
            changedIn(c.path);
            changedIn(c.path2);
            break;
        }
        case PollChange::Kind::Changed:
            if (a.told.count(c.path.toStdString())) break;
            tell(c.isDir ? SHCNE_UPDATEDIR : SHCNE_UPDATEITEM, c.path, c.isDir);
            break;
        }
    }
    for (const QByteArray& dir : folders) {
        Raw r;
        r.type = Raw::Type::FolderChange;
        r.path = dir;
        r.onlyFor = a.reg;
        push(std::move(r));
    }
    for (auto it = a.told.begin(); it != a.told.end();) {
        if (it->second.at < w.startedAt) {
            it = a.told.erase(it);
        } else {
            ++it;
        }
    }
    const bool retired = a.retiring && !w.failed;
    if (a.limit && !retired && Clock::now() >= nextRewatch) rewatchPolled();
    if (retired) {
        // Its folders have kernel watches again, placed before this walk began.
        const quint64 id = w.area;
        std::erase(reg->polledAreas, id);
        polled.erase(id);
        if (poller) poller->remove(id);
    }
    flush();
}

void State::pollUnwatched(const ScanTask& task)
{
    if (!poller) return;
    const MountTable::Mount* mount = PollChooser::mountOf(mounts, task.path);
    const QByteArray lane = mount ? PathBytes::encode(mount->mountPoint) : QByteArrayLiteral("/");
    for (auto& [id, reg] : regs.all()) {
        if (reg.retired || reg.req.scope != WatchRequest::Scope::Folder) continue;
        bool concerned = false;
        regs.placesOf(reg, task.path, Concern::Item, [&](const QString&) { concerned = true; });
        if (!concerned) continue;
        bool covered = false;
        for (quint64 area : reg.polledAreas) covered = covered || polled[area].covers(task.path);
        if (covered) continue;
        // A folder that just came is new with all it holds; one of the first walk is known.
        const bool report = task.mode == ScanTask::Mode::Report;
        const quint64 area = poller->add(lane, task.path, reg.root.recursive, report);
        PolledArea& a = polled[area];
        a.reg = id;
        a.root = task.path;
        a.recursive = reg.root.recursive;
        a.limit = true;
        reg.polledAreas.push_back(area);
        if (!reg.toldWatching) ++reg.pollsUnsettled;  // its start says how many are polled
    }
    nextRewatch = Clock::now() + std::chrono::seconds(30);
}

QString State::polledLimitText(Registration& reg)
{
    if (reg.toldLimit) return {};
    qsizetype folders = 0;
    QString where;
    std::chrono::milliseconds interval{0};
    for (quint64 id : reg.polledAreas) {
        const PolledArea& a = polled[id];
        if (!a.limit) continue;
        folders += a.folders;
        if (where.isEmpty())
            where = PathBytes::forDisplay(a.root == reg.root.real ? reg.root.user
                                                                  : RegistrationPaths::below(reg.root.user, reg.root.real, a.root));
    }
    if (folders == 0) return {};
    reg.toldLimit = true;
    const qsizetype entries = poller ? qsizetype(poller->figures().entries) : 0;
    interval = FolderPoller::intervalFor(entries);
    return QStringLiteral("The system's limit on watched folders has been reached at %1: %2 polled every %3 "
                            "instead of watched")
                 .arg(where, folders == 1 ? QStringLiteral("1 folder is") : QStringLiteral("%1 folders are").arg(folders),
                      seconds(interval));
}

void State::rewatchPolled()
{
    figureWatches = table.watchCount();
    nextRewatch = Clock::now() + std::chrono::seconds(30);
    for (const auto& [job, j] : jobs)
        if (j.rewatch) return;  // one try at a time
    auto candidate = [](const PolledArea& a) { return a.limit && !a.retiring && a.settled; };
    auto next = polled.upper_bound(lastRewatched);
    while (next != polled.end() && !candidate(next->second)) ++next;
    if (next == polled.end()) {
        next = polled.begin();
        while (next != polled.end() && !candidate(next->second)) ++next;
    }
    if (next == polled.end()) return;
    const quint64 id = next->first;
    const PolledArea& a = next->second;
    lastRewatched = id;
    const quint64 job = nextJob++;
    WalkJob& j = jobs[job];
    j.root = a.root;
    j.recursive = a.recursive;
    j.outstanding = 1;
    j.rewatch = id;
    queueScan({a.root, ScanTask::Mode::Baseline, job}, false);
}

void State::rewatchDone(const WalkJob& job)
{
    const auto it = polled.find(job.rewatch);
    if (it == polled.end()) return;
    if (job.limit || !job.rootRefusal.isEmpty()) {
        // Tried again later; another may fit where this one did not.
        if (job.limit) return;
        rewatchPolled();
        return;
    }
    figureWatches = table.watchCount();
    // Watched now; what changed before the watches took hold is found by one more walk.
    it->second.retiring = true;
    if (poller) poller->pollSoon(job.rewatch);
    rewatchPolled();  // the next one, if any
}

}  // namespace InotifyDetail
