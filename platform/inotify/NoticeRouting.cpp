// Who hears what: each notice goes to every registration whose mask meets it and that covers
// its path, under that registration's own path to it.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"

#include <algorithm>

#include <sys/inotify.h>

namespace InotifyDetail {

namespace {

QString parentOf(const QString& path)
{
    const qsizetype i = path.lastIndexOf(u'/');
    if (i < 0 || path == u"/") return {};
    return i == 0 ? QStringLiteral("/") : path.left(i);
}

bool isAtOrUnder(const QString& path, const QString& root)
{
    if (path == root) return true;
    if (root == u"/") return path.size() > 1 && path.startsWith(u'/');
    return path.size() > root.size() && path.startsWith(root) && path[root.size()] == u'/';
}

// Whether a change the program announced lies where `reg` listens (the paths are the ones the
// program uses, so they are compared with the paths it was given).
bool coversAnnounced(const Registration& reg, const QString& path)
{
    if (path.isEmpty()) return false;
    switch (reg.req.scope) {
    case WatchRequest::Scope::Folder:
        return reg.root.recursive ? isAtOrUnder(path, reg.root.user) : (path == reg.root.user || parentOf(path) == reg.root.user);
    case WatchRequest::Scope::Followed: return true;
    case WatchRequest::Scope::Computer: return false;
    }
    return false;
}

}  // namespace

QStringList State::ownPlaces(const Registration& reg) const
{
    switch (reg.req.scope) {
    case WatchRequest::Scope::Folder: return {reg.root.user};
    case WatchRequest::Scope::Followed: {
        QStringList places = reg.followed.values();
        places.sort();
        places.removeDuplicates();
        return places;
    }
    case WatchRequest::Scope::Computer: break;
    }
    return {};
}

void State::forgetLists()
{
    lastFolder.clear();
    lastFolderList.free();
    lastDir.clear();
    lastDirList.free();
    roots.clear();
}

ItemIdList State::listFor(const QString& path, bool isDir)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0) return ShellNamespace::listForPath(path, isDir);
    const QStringView folder = QStringView(path).left(slash);
    if (folder != lastFolder) {
        // A new folder's own events come next after the one that told of it (`mkdir -p`, a walk).
        const bool toldLast = folder == lastDir;
        lastFolder = folder.toString();
        lastFolderList = toldLast ? lastDirList : ShellNamespace::listForPath(lastFolder, true);
    }
    // A path that is a root of its own (Home, a volume) has a list of its own kind.
    if (roots.isEmpty()) {
        roots.insert(ShellNamespace::homePath());
        for (const ShellNamespace::Volume& v : ShellNamespace::volumes()) roots.insert(v.mountPoint);
    }
    ItemIdList list = lastFolderList.isNull() || roots.contains(path)
                          ? ShellNamespace::listForPath(path, isDir)
                          : lastFolderList.appended(ItemIdList::element(
                                isDir ? ItemIdList::Kind::Folder : ItemIdList::Kind::File, path.mid(slash + 1)));
    if (isDir) {
        lastDir = path;
        lastDirList = list;
    }
    return list;
}

void State::out(Registration& reg, ChangeNotice n)
{
    n.registration = reg.id;
    if (!reg.toldWatching && reg.req.scope == WatchRequest::Scope::Folder) {
        // Nothing of a watch comes before its "watching": what happens in the folders watched
        // first, while the rest of the tree is walked, waits for it and then follows in order.
        switch (n.kind) {
        case ChangeNotice::Kind::Watching:
            // Watched means covered: the polled folders have had their first walk too.
            if (reg.pollsUnsettled > 0) {
                reg.waitingForPolls.push_back(std::move(n));
                return;
            }
            reg.toldWatching = true;
            fresh.push_back(std::move(n));
            for (ChangeNotice& early : reg.early) fresh.push_back(std::move(early));
            reg.early = {};
            return;
        case ChangeNotice::Kind::Refused:
            reg.early = {};
            break;
        default:
            reg.early.push_back(std::move(n));
            return;
        }
    }
    fresh.push_back(std::move(n));
}

void State::targeted(quint32 id, ChangeNotice::Kind kind, quint32 mask, const ItemIdList& first, const QString& text)
{
    Raw r = Raw::of(Raw::Type::Targeted, mask);
    r.kind = kind;
    r.target = id;
    r.first = first;
    r.text = text;
    push(std::move(r));
}

void State::tell(Raw& r)
{
    if (r.type == Raw::Type::Targeted) {
        Registration* reg = regs.find(r.target);
        if (r.kind == ChangeNotice::Kind::Overflowed) {
            if (reg) {
                const auto found = reg->foundByComparison.find(r.compare);
                ChangeNotice n{0, r.kind, 0, {}, {}, {}};
                if (found != reg->foundByComparison.end()) {
                    n.found = found->second;
                    reg->foundByComparison.erase(found);
                }
                out(*reg, std::move(n));
            }
        } else if (r.kind == ChangeNotice::Kind::Notice) {
            if (reg && (reg->req.mask & r.mask) && !reg->quietFor(r.serial))
                out(*reg, {0, r.kind, r.mask, r.first, r.second, QString()});
        } else if (reg) {
            out(*reg, {0, r.kind, r.mask, r.first, r.second, r.text});
        } else if (r.kind == ChangeNotice::Kind::Refused) {
            fresh.push_back({r.target, r.kind, 0, {}, {}, r.text});
        }
        return;
    }
    std::vector<quint32> heardOwnRemoval;
    for (auto& [id, reg] : regs.all()) {
        if (r.onlyFor && r.onlyFor != id) continue;
        // A volume that comes or goes at a watch's place is heard even while its folder is away:
        // it is what brings the folder back.
        if (r.type == Raw::Type::Media && reg.coversVolumeAt(r.path)) {
            if ((reg.req.mask & r.mask) && !reg.heldBackFor(r.serial))
                out(reg, {0, ChangeNotice::Kind::Notice, r.mask, r.first, {}, {}});
            continue;
        }
        if (reg.retired || reg.quietFor(r.serial)) continue;
        switch (r.type) {
        case Raw::Type::Item:
            if (r.compare) {  // counted whether or not it asks for this kind
                bool here = false;
                regs.placesOf(reg, r.path, Concern::Item, [&](const QString&) { here = true; });
                if (here) ++reg.foundByComparison[r.compare];
            }
            if (!(reg.req.mask & r.mask)) break;
            // Its own folder is told back once, with what it holds (backAtPlace): it is there
            // while the registration listens, so this is the same return seen another way.
            if (r.mask == SHCNE_MKDIR && reg.req.scope == WatchRequest::Scope::Folder && r.path == reg.root.real) break;
            regs.placesOf(reg, r.path, Concern::Item, [&](const QString& place) {
                out(reg, {0, ChangeNotice::Kind::Notice, r.mask, listFor(place, r.isDir), {}, {}});
            });
            if (r.mask == SHCNE_RMDIR && reg.req.scope == WatchRequest::Scope::Folder && reg.root.real == r.path)
                heardOwnRemoval.push_back(id);
            break;
        case Raw::Type::FolderChange:
            if (!(reg.req.mask & SHCNE_UPDATEDIR)) break;
            regs.placesOf(reg, r.path, Concern::Contents, [&](const QString& place) {
                out(reg, {0, ChangeNotice::Kind::Notice, SHCNE_UPDATEDIR, listFor(place, true), {}, {}});
            });
            break;
        case Raw::Type::Rename: {
            // One that hears none of what a move can be told as need not know where it lies
            // (unless it is its own folder that moved: it goes quiet then).
            const quint32 told = r.isDir ? SHCNE_RENAMEFOLDER | SHCNE_RMDIR | SHCNE_MKDIR | SHCNE_CREATE
                                         : SHCNE_RENAMEITEM | SHCNE_DELETE | SHCNE_CREATE;
            if (!(reg.req.mask & told) && !(r.isDir && reg.req.scope == WatchRequest::Scope::Folder))
                break;
            QStringList was, now;
            regs.placesOf(reg, r.path, Concern::Item, [&](const QString& p) { was << p; });
            regs.placesOf(reg, r.path2, Concern::Item, [&](const QString& p) { now << p; });
            if (!was.isEmpty() && !now.isEmpty()) {
                const quint32 m = r.isDir ? SHCNE_RENAMEFOLDER : SHCNE_RENAMEITEM;
                if (!(reg.req.mask & m)) break;
                for (qsizetype i = 0; i < was.size(); ++i)
                    out(reg, {0, ChangeNotice::Kind::Notice, m, listFor(was[i], r.isDir),
                              listFor(now[qMin(i, now.size() - 1)], r.isDir), {}});
            } else if (!was.isEmpty()) {
                const quint32 m = r.isDir ? SHCNE_RMDIR : SHCNE_DELETE;  // moved out
                if (reg.req.mask & m)
                    for (const QString& p : was) out(reg, {0, ChangeNotice::Kind::Notice, m, listFor(p, r.isDir), {}, {}});
                if (r.isDir && reg.req.scope == WatchRequest::Scope::Folder && reg.root.real == r.path)
                    heardOwnRemoval.push_back(id);
            } else if (!now.isEmpty()) {
                // Moved in from where this registration does not listen: it hears of the folder
                // and of everything the folder is known to hold.
                const quint32 m = r.isDir ? SHCNE_MKDIR : SHCNE_CREATE;
                for (const QString& p : now) {
                    if (reg.req.mask & m) out(reg, {0, ChangeNotice::Kind::Notice, m, listFor(p, r.isDir), {}, {}});
                }
                if (!r.isDir) break;
                WatchedFolder* moved = table.find(r.path2);
                if (!moved || !moved->listed) break;
                table.forEachWithPath(moved, r.path2, [&](WatchedFolder* f, const QByteArray& at) {
                    if (!f->listed) return;
                    f->names.forEach([&](std::string_view name, bool isDir) {
                        const quint32 mm = isDir ? SHCNE_MKDIR : SHCNE_CREATE;
                        if (!(reg.req.mask & mm)) return;
                        regs.placesOf(reg, BytePath::join(at, name), Concern::Item, [&](const QString& p) {
                            out(reg, {0, ChangeNotice::Kind::Notice, mm, listFor(p, isDir), {}, {}});
                        });
                    });
                });
            }
            break;
        }
        case Raw::Type::Media: {
            if (!(reg.req.mask & r.mask)) break;
            bool covered = false;
            regs.placesOf(reg, r.path, Concern::Item, [&](const QString&) { covered = true; });
            if (covered || (reg.req.allVolumes && MountTable::isVolume(PathBytes::decode(r.path))))
                out(reg, {0, ChangeNotice::Kind::Notice, r.mask, r.first, {}, {}});
            break;
        }
        case Raw::Type::Assoc:
            if (reg.req.mask & SHCNE_ASSOCCHANGED) out(reg, {0, ChangeNotice::Kind::Notice, SHCNE_ASSOCCHANGED, {}, {}, {}});
            break;
        case Raw::Type::Announced:
            if ((reg.req.mask & r.mask) && (coversAnnounced(reg, ShellNamespace::fileSystemPathOf(r.first)) ||
                                            coversAnnounced(reg, ShellNamespace::fileSystemPathOf(r.second))))
                out(reg, {0, ChangeNotice::Kind::Notice, r.mask, r.first, r.second, {}});
            break;
        case Raw::Type::Move:
        case Raw::Type::Barrier:
        case Raw::Type::Targeted: break;
        }
    }
    // Registrations whose folder went away with this notice: those below the notice's folder
    // hear of their own folder now; then all of them go quiet until it is back.
    bool retired = false;
    for (quint32 id : r.retireAfter) {
        Registration* reg = regs.find(id);
        if (!reg || reg->retired) continue;
        const bool heard = std::find(heardOwnRemoval.begin(), heardOwnRemoval.end(), id) != heardOwnRemoval.end();
        if (!heard && (reg->req.mask & SHCNE_RMDIR) && !reg->quietFor(r.serial))
            out(*reg, {0, ChangeNotice::Kind::Notice, SHCNE_RMDIR, listFor(reg->root.user, true), {}, {}});
        reg->retired = true;
        reg->lookout.clear();
        retired = true;
    }
    if (retired) {
        reconcile();
        lookoutsDue = true;
        walkerWake.notify_all();
    }
}

}  // namespace InotifyDetail
