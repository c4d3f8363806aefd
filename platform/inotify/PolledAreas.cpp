// What the kernel cannot hear: folders on network and FUSE file systems are polled as well as
// watched (the kernel still tells the changes made through this machine at once). What a poll
// finds is told to the registration that polls, as its own notices; what the kernel's events told
// of the same paths since is not told again.
#include "platform/inotify/InotifyState.h"

#include "platform/PathBytes.h"
#include "platform/ShellChangeEvents.h"
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
    for (ChangeNotice& n : waiting) out(reg, std::move(n));
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
    if (!a.learnt && (w.first || w.failed)) {
        a.learnt = w.first;
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
    flush();
}

}  // namespace InotifyDetail
