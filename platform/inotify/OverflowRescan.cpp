// Comparing: what a listing finds against what the watch knew. After the kernel's queue
// overflowed every watched folder is listed again and compared, so that what was created or
// deleted meanwhile is reported once each; a registration whose window fell too far behind is
// compared the same way, what it knew then against what is known when it has caught up.
#include "platform/inotify/InotifyState.h"

#include "platform/shell/ShellNamespace.h"

#include <algorithm>
#include <unordered_set>

#include <sys/inotify.h>

namespace InotifyDetail {

namespace {

struct Named {
    std::string name;
    bool isDir;
    bool operator<(const Named& o) const { return name < o.name; }
};

std::vector<Named> sortedNames(const NameSet& names)
{
    std::vector<Named> out;
    out.reserve(size_t(names.size()));
    names.forEach([&](std::string_view n, bool d) { out.push_back({std::string(n), d}); });
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

std::vector<ScanTask> State::applyListing(WatchedFolder* folder, const QByteArray& path, std::vector<Entry>& entries,
                                          const ScanTask& task)
{
    std::vector<ScanTask> next;
    auto sub = [&](const std::string& name, ScanTask::Mode mode) {
        const QByteArray child = BytePath::join(path, name);
        if (!wanted(child) || pseudoMounts.contains(child)) return;
        next.push_back({child, mode, task.job, false, task.urgent});
    };
    if (task.mode != ScanTask::Mode::Resync) {
        const bool report = task.mode == ScanTask::Mode::Report;
        qsizetype bytes = 0;
        for (const Entry& e : entries) bytes += qsizetype(e.name.size());
        folder->names.reserve(qsizetype(entries.size()), bytes);
        size_t counted = 0;
        for (const Entry& e : entries) {
            if (report && ++counted % 4096 == 0) tellListingSoFar();
            // A name an event changed meanwhile is as the event left it: a folder made then was
            // reported with it, and is listed in its own place in the order.
            if (folder->wasTouched(e.name)) continue;
            if (folder->names.insert(e.name, e.isDir) && report)
                push(item(e.isDir ? SHCNE_MKDIR : SHCNE_CREATE, BytePath::join(path, e.name), e.isDir));
            if (!e.isDir) continue;
            if (!report) {
                // A walk needs nothing below a folder that is kept watched already.
                const QByteArray child = BytePath::join(path, e.name);
                const WatchedFolder* c = table.child(folder, e.name);
                if (c && c->watched() && c->listed && !c->lookoutOnly && regs.keptWatched(child)) continue;
            }
            sub(e.name, task.mode);
        }
        return next;
    }

    // What went away meanwhile, then what came.
    std::unordered_set<std::string_view> present;
    present.reserve(entries.size());
    for (const Entry& e : entries) present.insert(e.name);
    std::vector<Named> gone;
    folder->names.forEach([&](std::string_view name, bool isDir) {
        if (!present.count(name) && !folder->wasTouched(name)) gone.push_back({std::string(name), isDir});
    });
    std::sort(gone.begin(), gone.end());
    for (const Named& g : gone) {
        folder->names.erase(g.name);
        reportGone(folder, path, g.name, g.isDir);
    }
    size_t counted = 0;
    for (const Entry& e : entries) {
        // A long listing is told as it goes, so that what waits for the window stays bounded.
        if (++counted % 4096 == 0) tellListingSoFar();
        if (folder->wasTouched(e.name)) continue;
        bool wasDir = false;
        const bool known = folder->names.contains(e.name, &wasDir);
        if (known && wasDir == e.isDir) {
            if (!e.isDir) continue;
            const WatchedFolder* c = table.child(folder, e.name);
            sub(e.name, c && c->watched() && !c->lookoutOnly ? ScanTask::Mode::Resync : ScanTask::Mode::Baseline);
            continue;
        }
        if (known) reportGone(folder, path, e.name, wasDir);  // replaced by one of the other kind
        folder->names.insert(e.name, e.isDir);
        push(item(e.isDir ? SHCNE_MKDIR : SHCNE_CREATE, BytePath::join(path, e.name), e.isDir));
        if (e.isDir) sub(e.name, ScanTask::Mode::Report);
    }
    return next;
}

void State::reportGone(WatchedFolder* folder, const QByteArray& path, std::string_view name, bool isDir)
{
    const QByteArray gonePath = BytePath::join(path, name);
    if (!isDir) {
        push(item(SHCNE_DELETE, gonePath, false));
        return;
    }
    // What it was known to hold went with it, deepest first.
    if (WatchedFolder* c = table.child(folder, name)) {
        std::function<void(WatchedFolder*, const QByteArray&)> contents = [&](WatchedFolder* f, const QByteArray& at) {
            if (!f->listed || f->lookoutOnly) return;
            for (const Named& n : sortedNames(f->names)) {
                const QByteArray p = BytePath::join(at, n.name);
                if (n.isDir) {
                    if (WatchedFolder* below = table.child(f, n.name)) contents(below, p);
                    push(item(SHCNE_RMDIR, p, true));
                } else {
                    push(item(SHCNE_DELETE, p, false));
                }
            }
        };
        contents(c, gonePath);
        table.remove(c, [this](int wd) { ::inotify_rm_watch(fd, wd); });
    }
    Raw r = item(SHCNE_RMDIR, gonePath, true);
    r.retireAfter = regs.rootsAt(gonePath);
    push(std::move(r));
}

void State::overflow()
{
    // Every registration hears that its folders changed, then what the comparison finds.
    for (auto& [id, reg] : regs.all()) {
        if (reg.retired) continue;
        if (reg.req.scope == WatchRequest::Scope::Computer) {
            targeted(id, ChangeNotice::Kind::Notice, SHCNE_UPDATEDIR, ShellNamespace::computerList());
            continue;
        }
        for (const QString& place : ownPlaces(reg)) targeted(id, ChangeNotice::Kind::Notice, SHCNE_UPDATEDIR, listFor(place, true));
    }
    // A first half still waiting has lost its second half in the overflow: moved out, as far
    // as is known; the comparison finds it again if it is still here.
    for (Raw& r : pending)
        if (r.type == Raw::Type::Move) resolveMovedOut(r);
    moves.clear();
    // What is read after it waits for the comparison (a second at most), so that it is told
    // after what the comparison finds. Once it is over, each registration hears how much it
    // found: an overflow is news to the user, even though nothing is lost.
    const quint64 id = nextComparison++;
    Comparison& c = comparisons[id];
    for (const auto& [reg, r] : regs.all())
        if (!r.retired) c.regs.push_back(reg);
    for (WatchedFolder* top : table.tops()) {
        if (top->lookoutOnly) continue;
        jobs[listInOrder(table.pathOf(top), ScanTask::Mode::Resync)].compare = id;
        ++c.walks;
    }
    if (c.walks == 0) comparisonWalkDone(id);
}

void State::comparisonWalkDone(quint64 id)
{
    const auto it = comparisons.find(id);
    if (it == comparisons.end() || --it->second.walks > 0) return;
    for (quint32 reg : it->second.regs) {
        Raw r;
        r.type = Raw::Type::Targeted;
        r.kind = ChangeNotice::Kind::Overflowed;
        r.target = reg;
        r.compare = id;
        push(std::move(r));
    }
    comparisons.erase(it);
}

std::vector<std::pair<QByteArray, NameSet>> State::knownTo(const Registration& reg)
{
    std::vector<std::pair<QByteArray, NameSet>> known;
    auto add = [&](WatchedFolder* f, const QByteArray& at) {
        if (f->watched() && f->listed && !f->lookoutOnly) known.emplace_back(at, f->names);
    };
    switch (reg.req.scope) {
    case WatchRequest::Scope::Folder:
        if (WatchedFolder* f = table.find(reg.root.real)) {
            if (reg.root.recursive) {
                table.forEachWithPath(f, reg.root.real, add);
            } else {
                add(f, reg.root.real);
            }
        }
        break;
    case WatchRequest::Scope::Followed:
        for (const QByteArray& real : reg.followed.uniqueKeys())
            if (WatchedFolder* f = table.find(real)) add(f, real);
        break;
    case WatchRequest::Scope::Computer: break;
    }
    std::sort(known.begin(), known.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return known;
}

void State::holdBack(Registration& reg)
{
    if (reg.heldBack) return;
    reg.heldBack = true;
    reg.quietFrom = noticeSerial;
    reg.knew = knownTo(reg);
    targeted(reg.id, ChangeNotice::Kind::HeldBack, 0, {});
}

void State::catchUp(Registration& reg)
{
    if (!reg.heldBack) return;
    std::vector<std::pair<QByteArray, NameSet>> now = knownTo(reg);
    std::vector<std::pair<QByteArray, NameSet>> knew = std::move(reg.knew);
    reg.knew.clear();
    reg.heldBack = false;
    reg.quietTo = noticeSerial;  // what is still queued for it is told by the comparison
    for (const QString& place : ownPlaces(reg)) targeted(reg.id, ChangeNotice::Kind::Notice, SHCNE_UPDATEDIR, listFor(place, true));
    auto tellItem = [&](quint32 mask, const QByteArray& real, bool isDir) {
        regs.placesOf(reg, real, Concern::Item, [&](const QString& place) {
            targeted(reg.id, ChangeNotice::Kind::Notice, mask, listFor(place, isDir));
        });
    };
    static const NameSet none;
    size_t i = 0, j = 0;
    while (i < knew.size() || j < now.size()) {
        const bool takeOld = j == now.size() || (i < knew.size() && knew[i].first < now[j].first);
        const bool takeNew = i == knew.size() || (j < now.size() && now[j].first < knew[i].first);
        const QByteArray& at = takeOld ? knew[i].first : now[j].first;
        const NameSet& before = takeNew ? none : knew[i].second;
        const NameSet& after = takeOld ? none : now[j].second;
        for (const Named& n : sortedNames(before)) {
            bool isDir = false;
            if (!after.contains(n.name, &isDir) || isDir != n.isDir)
                tellItem(n.isDir ? SHCNE_RMDIR : SHCNE_DELETE, BytePath::join(at, n.name), n.isDir);
        }
        for (const Named& n : sortedNames(after)) {
            bool isDir = false;
            if (!before.contains(n.name, &isDir) || isDir != n.isDir)
                tellItem(n.isDir ? SHCNE_MKDIR : SHCNE_CREATE, BytePath::join(at, n.name), n.isDir);
        }
        if (!takeNew) ++i;
        if (!takeOld) ++j;
    }
}

}  // namespace InotifyDetail
