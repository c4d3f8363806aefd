// What the kernel cannot hear: folders on network and FUSE file systems are polled as well as
// watched (the kernel still tells the changes made through this machine at once). What a poll
// finds is told to the registration that polls, as its own notices; what the kernel's events told
// of the same paths since is not told again.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"
#include "platform/changes/ShellChangeEvents.h"
#include "platform/polling/PollChooser.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <sys/inotify.h>

namespace InotifyDetail {

namespace {

// How long a registration's start waits for the first walk of a network or FUSE folder.
constexpr auto kFirstWalkWait = std::chrono::seconds(2);

// How a registration names a polled folder at or below its own, for people.
QString placeOf(const Registration& reg, const QByteArray& root)
{
    return PathBytes::forDisplay(root == reg.root.real ? reg.root.user
                                                       : RegistrationPaths::below(reg.root.user, reg.root.real, root));
}

QString seconds(std::chrono::milliseconds interval)
{
    const qint64 s = std::max<qint64>(1, (interval.count() + 500) / 1000);
    return s == 1 ? QStringLiteral("second") : QStringLiteral("%1 s").arg(s);
}

}  // namespace

bool State::mayTouch(const QByteArray& path) const
{
    if (remoteMounts.empty()) return true;  // the usual case: a look at a short list
    bool below = false;
    for (const QByteArray& point : remoteMounts) below = below || BytePath::isAtOrUnder(path, point);
    if (!below) return true;
    const MountTable::Mount* m = PollChooser::mountOf(mounts, path);
    if (!m || !PollChooser::isRemoteType(m->fsType)) return true;
    return poller && poller->answering(PathBytes::encode(m->mountPoint));
}

void State::pollRemote(Registration& reg)
{
    if (!poller || reg.req.scope != WatchRequest::Scope::Folder) return;
    // The table as it is now: a mount made a moment ago may not have been read yet.
    for (const PollChooser::Area& a : PollChooser::remoteAreas(MountTable::current(), reg.root.real, reg.root.recursive))
        pollArea(reg, a, false);
}

void State::pollMountsChanged()
{
    if (!poller) return;
    for (auto& [regId, reg] : regs.all()) {
        if (reg.retired || reg.req.scope != WatchRequest::Scope::Folder) continue;
        const std::vector<PollChooser::Area> now = PollChooser::remoteAreas(mounts, reg.root.real, reg.root.recursive);
        // Gone: a mount below that is no longer there (or no longer remote) stops being polled.
        for (auto it = reg.polledAreas.begin(); it != reg.polledAreas.end();) {
            const auto found = polled.find(*it);
            const bool stale = found != polled.end() && !found->second.limit && found->second.root != reg.root.real &&
                               std::none_of(now.begin(), now.end(), [&](const PollChooser::Area& a) {
                                   return a.root == found->second.root;
                               });
            if (!stale) {
                ++it;
                continue;
            }
            if (!found->second.settled && reg.pollsUnsettled > 0) pollSettled(reg);
            const quint64 walk = found->second.walk;
            polled.erase(found);
            releaseWalk(walk);
            it = reg.polledAreas.erase(it);
        }
        // Come: a remote mount below that is not polled yet.
        for (const PollChooser::Area& a : now) {
            const bool known = std::any_of(reg.polledAreas.begin(), reg.polledAreas.end(), [&](quint64 id) {
                const auto found = polled.find(id);
                return found != polled.end() && !found->second.limit && found->second.root == a.root;
            });
            if (!known) pollArea(reg, a, true);
        }
    }
}

void State::pollArea(Registration& reg, const PollChooser::Area& a, bool mountedLater)
{
    // Another registration's poll of the same tree is shared: one walk per tree. A mount made
    // later is new with all it holds, for each registration that covers it.
    quint64 walk = 0;
    if (!mountedLater)
        for (const auto& [other, o] : polled)
            if (!o.limit && o.root == a.root && o.recursive == a.recursive) walk = o.walk;
    const bool joined = walk != 0;
    if (!joined) walk = poller->add(a.lane, a.root, a.recursive, mountedLater);
    PolledArea& area = addPolled(reg, walk);
    area.joined = joined;
    if (joined) poller->pollSoon(walk);
    area.root = a.root;
    area.recursive = a.recursive;
    area.fsType = a.fsType;
    if (!firstWalkDue || area.since + kFirstWalkWait < *firstWalkDue) firstWalkDue = area.since + kFirstWalkWait;
    // A registration that has started already is not held up by it.
    if (!reg.toldWatching) ++reg.pollsUnsettled;
}

int State::unansweredPolls()
{
    if (!firstWalkDue) return -1;
    const auto now = Clock::now();
    if (*firstWalkDue > now)
        return int(std::chrono::duration_cast<std::chrono::milliseconds>(*firstWalkDue - now).count()) + 1;
    firstWalkDue.reset();
    int next = -1;
    for (auto& [id, a] : polled) {
        if (a.settled || a.limit) continue;
        const auto due = a.since + kFirstWalkWait;
        if (due > now) {
            const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count()) + 1;
            next = next < 0 ? ms : std::min(next, ms);
            if (!firstWalkDue || due < *firstWalkDue) firstWalkDue = due;
            continue;
        }
        a.settled = true;
        Registration* reg = regs.find(a.reg);
        if (!reg) continue;
        if (!std::exchange(reg->toldPolled, true))
            targeted(reg->id, ChangeNotice::Kind::Polled, 0, {},
                     QStringLiteral("%1 is on a network or FUSE file system (%2) that does not answer: changes there "
                                    "are looked for until it does")
                         .arg(placeOf(*reg, a.root), a.fsType));
        pollSettled(*reg);
    }
    return next;
}

PolledArea& State::addPolled(Registration& reg, quint64 walk)
{
    const quint64 id = nextPolled++;
    PolledArea& a = polled[id];
    a.reg = reg.id;
    a.walk = walk;
    reg.polledAreas.push_back(id);
    return a;
}

void State::releaseWalk(quint64 walk)
{
    for (const auto& [id, a] : polled)
        if (a.walk == walk) return;
    if (poller) poller->remove(walk);
}

void State::stopPolling(Registration& reg)
{
    for (quint64 id : reg.polledAreas) {
        const auto found = polled.find(id);
        if (found == polled.end()) continue;
        const quint64 walk = found->second.walk;
        polled.erase(found);
        releaseWalk(walk);
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
    auto note = [&](const QByteArray& path, bool exists, const QByteArray& movedTo = {}) {
        if (path.isEmpty()) return;
        for (auto& [id, a] : polled)
            if (a.covers(path))
                a.told[path.toStdString()] = {Clock::now(), exists, r.isDir,
                                              !movedTo.isEmpty() && a.covers(movedTo) ? movedTo : QByteArray()};
    };
    switch (r.type) {
    case Raw::Type::Item:
        note(r.path, !(r.mask & (SHCNE_DELETE | SHCNE_RMDIR)));
        break;
    case Raw::Type::Move: note(r.path, false); break;
    case Raw::Type::Rename:
        note(r.path, false, r.path2);
        note(r.path2, true);
        break;
    default: break;
    }
}

void State::pollWalked(FolderPoller::Walked& w)
{
    // Each registration that shares the walk is told what it found, as its own notices.
    std::vector<quint64> ids;
    for (const auto& [id, a] : polled)
        if (a.walk == w.area) ids.push_back(id);
    for (quint64 id : ids)
        if (const auto found = polled.find(id); found != polled.end()) pollWalkedFor(id, found->second, w);
    flush();
}

void State::pollWalkedFor(quint64 id, PolledArea& a, FolderPoller::Walked& w)
{
    Registration* reg = regs.find(a.reg);
    if (!reg) return;
    if (!w.failed) a.folders = 1 + w.folders;
    if (!a.settled) {
        a.settled = true;
        // The mount answers: its folders get kernel watches too, so that what is done through
        // this machine is heard at once.
        if (!a.limit && !w.failed && wanted(a.root)) queueScan({a.root, ScanTask::Mode::Baseline}, false);
        if (!a.limit && !std::exchange(reg->toldPolled, true))
            targeted(reg->id, ChangeNotice::Kind::Polled, 0, {},
                     QStringLiteral("%1 is on a network or FUSE file system (%2): changes made there by other "
                                    "machines are looked for every %3")
                         .arg(placeOf(*reg, a.root), a.fsType, seconds(w.interval)));
        if (a.limit && reg->pollsUnsettled == 0 && reg->job == 0) {  // made after the start
            const QString text = polledLimitText(*reg);
            if (!text.isEmpty()) targeted(reg->id, ChangeNotice::Kind::Problem, 0, {}, text);
        }
        pollSettled(*reg);
        // Joined a walk already under way: what it compared with was known before this
        // registration began, so its findings are not this one's.
        if (std::exchange(a.joined, false)) return;
    }
    // The registration's own folder deleted behind the mount: told as a deletion here would be
    // (what it held, then the folder, then nothing while it is away); when it is back, it is
    // told made, with all it holds. What the kernel told already (a change made through this
    // machine) is not told again.
    const bool ownRoot = !a.limit && a.root == reg->root.real;
    bool goneNow = false;
    if (ownRoot && w.gone) {
        if (a.rootAway) return;
        a.rootAway = true;
        if (reg->retired) return;
        goneNow = true;
    } else if (ownRoot && a.rootAway && !w.failed) {
        a.rootAway = false;
        if (!reg->retired) return;
        backAtPlace(a.root);
    } else if (w.failed) {
        return;
    }
    // What the kernel's events told is what the registration knows, and the walk is compared with
    // that: what they told before the walk began is in it, what they told since may be in the
    // next one too.
    auto toldOf = [&](const QByteArray& path) -> const PolledArea::Told* {
        const auto t = a.told.find(path.toStdString());
        return t == a.told.end() ? nullptr : &t->second;
    };
    auto toldAs = [&](const QByteArray& path, bool exists) {
        const PolledArea::Told* t = toldOf(path);
        return t && t->exists == exists;
    };
    // Where the item the walk before found at `path` is as told (renamed, perhaps more than
    // once); empty when it was told gone.
    auto toldPlace = [&](QByteArray path) {
        for (int hops = 0; hops < 16; ++hops) {
            const PolledArea::Told* t = toldOf(path);
            if (!t || t->exists) return path;
            if (t->movedTo.isEmpty()) break;
            path = t->movedTo;
        }
        return QByteArray();
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
    auto created = [&](const QByteArray& path, bool isDir) {
        noteName(path, isDir, true);
        tell(isDir ? SHCNE_MKDIR : SHCNE_CREATE, path, isDir);
        // Watched too, so that what is done to it through this machine is heard at once.
        if (isDir && !a.limit && wanted(path)) queueScan({path, ScanTask::Mode::Baseline}, false);
    };
    auto deleted = [&](const QByteArray& path, bool isDir) {
        noteName(path, isDir, false);
        if (isDir)
            if (WatchedFolder* f = table.find(path)) {
                table.remove(f, [this](int wd) { ::inotify_rm_watch(fd, wd); });
                forgetPaths();
            }
        tell(isDir ? SHCNE_RMDIR : SHCNE_DELETE, path, isDir);
    };
    // What the kernel told and the walk found otherwise, where the comparison says nothing of it
    // (made through this machine and deleted behind the mount in between, say): told as found.
    std::unordered_set<std::string> compared;
    for (const PollChange& c : w.changes) {
        if (c.kind == PollChange::Kind::Changed) continue;
        compared.insert(c.path.toStdString());
        if (c.kind != PollChange::Kind::Renamed) continue;
        compared.insert(c.path2.toStdString());
        compared.insert(toldPlace(c.path).toStdString());
    }
    std::vector<std::pair<QByteArray, bool>> toldGone, toldMade;  // path, is a folder
    if (w.found)
        for (const auto& [path, t] : a.told) {
            if (t.at >= w.startedAt || compared.count(path)) continue;
            const QByteArray p = QByteArray::fromStdString(path);
            if (p == a.root) continue;
            const TreeSnapshot::Item* there = w.found->find(p, a.root);
            if (t.exists && !there) toldGone.emplace_back(p, t.isDir);
            if (!t.exists && there) toldMade.emplace_back(p, there->isDir);
        }
    // What a folder held before the folder; a folder before what it holds.
    std::sort(toldGone.begin(), toldGone.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    std::sort(toldMade.begin(), toldMade.end());
    for (const auto& [path, isDir] : toldGone) deleted(path, isDir);
    for (const PollChange& c : w.changes) {
        switch (c.kind) {
        case PollChange::Kind::Created:
            if (toldAs(c.path, true)) break;
            created(c.path, c.isDir);
            break;
        case PollChange::Kind::Deleted:
            if (toldAs(c.path, false)) break;
            deleted(c.path, c.isDir);
            break;
        case PollChange::Kind::Renamed: {
            // Renamed from where it was told to be, which may not be where the walk before found it.
            const QByteArray from = toldPlace(c.path);
            if (from == c.path2) break;
            if (toldAs(c.path2, true)) {
                if (!from.isEmpty()) deleted(from, c.isDir);
                break;
            }
            if (from.isEmpty()) {
                created(c.path2, c.isDir);
                break;
            }
            noteName(from, c.isDir, false);
            noteName(c.path2, c.isDir, true);
            if (c.isDir)
                if (WatchedFolder* f = table.find(from)) {
                    table.move(f, c.path2, [this](int wd) { ::inotify_rm_watch(fd, wd); });
                    forgetPaths();
                }
            Raw r;
            r.type = Raw::Type::Rename;
            r.path = from;
            r.path2 = c.path2;
            r.isDir = c.isDir;
            r.onlyFor = a.reg;
            push(std::move(r));
            changedIn(from);
            changedIn(c.path2);
            break;
        }
        case PollChange::Kind::Changed:
            if (a.told.count(c.path.toStdString())) break;
            tell(c.isDir ? SHCNE_UPDATEDIR : SHCNE_UPDATEITEM, c.path, c.isDir);
            break;
        }
    }
    for (const auto& [path, isDir] : toldMade) created(path, isDir);
    for (const QByteArray& dir : folders) {
        if (goneNow && dir == BytePath::parentOf(a.root)) continue;
        Raw r;
        r.type = Raw::Type::FolderChange;
        r.path = dir;
        r.onlyFor = a.reg;
        push(std::move(r));
    }
    if (goneNow) {
        if (WatchedFolder* f = table.find(a.root)) {
            table.remove(f, [this](int wd) { ::inotify_rm_watch(fd, wd); });
            forgetPaths();
        }
        Raw r = item(SHCNE_RMDIR, a.root, true);
        r.onlyFor = a.reg;
        r.retireAfter = {a.reg};
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
        const quint64 walk = a.walk;
        std::erase(reg->polledAreas, id);
        polled.erase(id);
        releaseWalk(walk);
    }
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
        PolledArea& a = addPolled(reg, poller->add(lane, task.path, reg.root.recursive, report));
        a.root = task.path;
        a.recursive = reg.root.recursive;
        a.limit = true;
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
        if (where.isEmpty()) where = placeOf(reg, a.root);
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
    if (poller) poller->pollSoon(it->second.walk);
    rewatchPolled();  // the next one, if any
}

}  // namespace InotifyDetail
