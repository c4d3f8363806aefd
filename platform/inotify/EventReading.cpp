// The kernel's events, as the reader thread reads them: each becomes a notice in order, and
// what the watch knows of each folder's entries follows every change.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"

#include <algorithm>
#include <cstring>

#include <sys/inotify.h>

namespace InotifyDetail {

namespace {

void endWatch(int fd, int wd) { ::inotify_rm_watch(fd, wd); }

}  // namespace

const QByteArray& State::pathOf(const WatchedFolder* folder)
{
    if (folder != pathCacheFolder || pathCacheGeneration != table.generation()) {
        pathCache = table.pathOf(folder);
        pathCacheFolder = folder;
        pathCacheGeneration = table.generation();
    }
    return pathCache;
}

void State::processRead(const char* buf, qsizetype len)
{
    ++readSerial;
    std::vector<QByteArray> changed;  // folders whose entries changed, in the order of their first change
    QSet<QByteArray> changedSet;
    bool assoc = false;
    bool lookoutMoved = false;
    for (qsizetype at = 0; at + qsizetype(sizeof(inotify_event)) <= len;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
        at += qsizetype(sizeof(inotify_event) + ev->len);
        if (ev->mask & IN_Q_OVERFLOW) {
            overflow();
            changed.clear();
            changedSet.clear();
            continue;
        }
        WatchedFolder* first = table.byWatch(ev->wd);
        if (!first) continue;
        if (ev->mask & IN_IGNORED) {
            table.forgetWatch(ev->wd);
            continue;
        }
        // The same watch may be reached at several places (bind mounts): each hears the event.
        std::vector<WatchedFolder*> places;
        if (first->nextAlias)
            for (WatchedFolder* f = first; f; f = f->nextAlias) places.push_back(f);
        for (size_t p = 0; p < std::max<size_t>(1, places.size()); ++p) {
            WatchedFolder* f = places.empty() ? first : places[p];
            if (p > 0) {
                bool still = false;
                for (WatchedFolder* g = table.byWatch(ev->wd); g && !still; g = g->nextAlias) still = g == f;
                if (!still) continue;  // went away with an earlier place
            }
            if (ev->mask & IN_UNMOUNT) {
                unmounted(f);
                continue;
            }
            const QByteArray dir = pathOf(f);
            if (ev->len == 0 || ev->name[0] == 0) {
                if (isLookout(dir)) lookoutMoved = true;
                selfEvent(ev->mask, f, dir);
                continue;
            }
            const std::string_view name(ev->name, ::strnlen(ev->name, ev->len));
            const bool isDir = ev->mask & IN_ISDIR;
            if (f->lookoutOnly) {
                if (isDir && (ev->mask & (IN_CREATE | IN_MOVED_TO))) {
                    lookoutMoved = true;
                    // Only a registration whose folder this is hears of it: nothing else is
                    // watched here.
                    if (regs.anyRetired()) {
                        const QByteArray path = BytePath::join(dir, name);
                        if (backAtPlace(path)) reportFolder(path);
                    }
                }
                if (assocActive && assocDirs.contains(dir) && isAssociationFile(name)) assoc = true;
                continue;
            }
            const bool assocFile = assocActive && assocDirs.contains(dir) && isAssociationFile(name);
            if (ev->mask & IN_CLOSE_WRITE) {  // asked of association folders only: a write is over
                if (assocFile && associationChanged(BytePath::join(dir, name), ev->mask)) assoc = true;
                continue;
            }
            const bool listing = f->listing();
            // A name made, removed or moved while the folder is listed is as this event leaves
            // it, whatever the listing found; a file written meanwhile is as the listing finds it.
            if (listing && (ev->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))) f->touch(name);
            const QByteArray path = BytePath::join(dir, name);
            if (assocFile && associationChanged(path, ev->mask)) assoc = true;
            if (!changedSet.contains(dir)) {
                changedSet.insert(dir);
                changed.push_back(dir);
            }
            if (ev->mask & IN_CREATE) {
                // Known already: a listing found it (and reported it, with all it holds).
                const bool fresh = f->names.insert(name, isDir);
                if (fresh || listing) {
                    push(item(isDir ? SHCNE_MKDIR : SHCNE_CREATE, path, isDir));
                    if (isDir && regs.anyRetired()) backAtPlace(path);
                    if (isDir && wanted(path)) reportFolder(path);
                }
                if (isDir && isLookout(dir)) lookoutMoved = true;
            } else if (ev->mask & IN_DELETE) {
                const bool gone = f->names.erase(name);
                if (gone || listing) {
                    Raw r = item(isDir ? SHCNE_RMDIR : SHCNE_DELETE, path, isDir);
                    if (isDir) r.retireAfter = regs.rootsAt(path);
                    push(std::move(r));
                }
                if (isDir) {
                    if (WatchedFolder* c = table.child(f, name)) table.remove(c, [this](int wd) { endWatch(fd, wd); });
                }
            } else if (ev->mask & IN_MODIFY) {
                if (!isDir) push(item(SHCNE_UPDATEITEM, path, false));
            } else if (ev->mask & IN_ATTRIB) {
                push(item(isDir ? SHCNE_UPDATEDIR : SHCNE_UPDATEITEM, path, isDir));
            } else if (ev->mask & IN_MOVED_FROM) {
                f->names.erase(name);
                Raw r = item(0, path, isDir);
                r.cookie = ev->cookie;
                if (isDir) r.retireAfter = regs.rootsAt(path);
                pushMove(std::move(r));
            } else if (ev->mask & IN_MOVED_TO) {
                const bool fresh = f->names.insert(name, isDir);
                movedTo(ev->cookie, path, isDir, fresh || listing);
                if (isDir && isLookout(dir)) lookoutMoved = true;
            }
        }
    }
    // Any change inside a folder is a change of the folder, told once per read.
    for (const QByteArray& dir : changed) {
        const WatchedFolder* f = table.find(dir);
        if (f && f->watched()) {
            Raw r;
            r.type = Raw::Type::FolderChange;
            r.mask = SHCNE_UPDATEDIR;
            r.path = dir;
            r.isDir = true;
            push(std::move(r));
        }
    }
    if (assoc) {
        Raw r;
        r.type = Raw::Type::Assoc;
        r.mask = SHCNE_ASSOCCHANGED;
        push(std::move(r));
    }
    if (lookoutMoved) {
        lookoutsDue = true;
        walkerWake.notify_all();
    }
}

void State::selfEvent(quint32 mask, WatchedFolder* folder, const QByteArray& dir)
{
    const bool parentTells = folder->parent && folder->parent->watched() && !folder->parent->lookoutOnly;
    if (mask & IN_ATTRIB) {
        if (!parentTells) push(item(SHCNE_UPDATEDIR, dir, true));
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
        if (parentTells) return;  // renamed where we watch: its two halves tell
        Raw r = item(SHCNE_RMDIR, dir, true);
        r.retireAfter = regs.rootsAt(dir);
        push(std::move(r));
        table.remove(folder, [this](int wd) { endWatch(fd, wd); });
        return;
    }
    if ((mask & IN_DELETE_SELF) && !parentTells) {
        Raw r = item(SHCNE_RMDIR, dir, true);
        r.retireAfter = regs.rootsAt(dir);
        push(std::move(r));
    }
}

void State::movedTo(quint32 cookie, const QByteArray& path, bool isDir, bool report)
{
    Raw* from = cookie ? moves.take(cookie) : nullptr;
    if (from) {
        from->type = Raw::Type::Rename;
        from->path2 = path;
        if (!polled.empty()) notePolledTold(*from);
        if (isDir) folderRenamed(from->path, path, from->serial);
        return;
    }
    // Moved in from where nothing is watched: it is new here, with all it holds.
    if (!report) return;  // known already: a listing found it
    push(item(isDir ? SHCNE_MKDIR : SHCNE_CREATE, path, isDir));
    if (isDir && regs.anyRetired()) backAtPlace(path);
    if (isDir && wanted(path)) reportFolder(path);
}

void State::folderRenamed(const QByteArray& from, const QByteArray& to, quint64 serial)
{
    WatchedFolder* node = table.find(from);
    if (node && node->watched() && !node->lookoutOnly) {
        const bool wasKept = regs.keptWatched(from);
        table.move(node, to, [this](int wd) { endWatch(fd, wd); });
        listingsRenamed(from, to);
        if (walkerBusy || !urgent.empty() || !tasks.empty()) movedFolders.emplace_back(from, to);
        if (!missed.empty()) findMissed(from, to);
        returning(to, serial);
        reconcile(to);
        // Now below a registration that wants all its sub-folders: watch those still missing.
        if (!wasKept && wanted(to)) queueScan({to, ScanTask::Mode::Baseline}, true);
        return;
    }
    returning(to, serial);
    // It should have been watched where it was and was not (it went before its watch took
    // hold), or it comes from where nothing is watched: what it holds is new here, unless the
    // first walk of its place is still under way.
    if (!wanted(to)) return;
    if (walkUnderWay(to)) {
        queueScan({to, ScanTask::Mode::Baseline}, true);
    } else {
        reportFolder(to);
    }
}

void State::unmounted(WatchedFolder* folder)
{
    // Every watch on the volume hears it go, in no set order: the topmost watched folder on it
    // stands for all.
    WatchedFolder* top = folder;
    while (!top->mountTop && top->parent && top->parent->watched() && top->parent->device == top->device) top = top->parent;
    const QByteArray dir = table.pathOf(top);
    replaced(dir, regs.rootsAt(dir));
}

void State::returning(const QByteArray& path, quint64 serial)
{
    for (auto& [id, r] : regs.all()) {
        if (!r.retired || r.req.scope != WatchRequest::Scope::Folder || r.root.real != path) continue;
        r.retired = false;
        r.lookout.clear();
        r.backFrom = serial;  // not what was told of its place before
        r.lastFree = -1;
        r.backTellsAll = false;
    }
}

bool State::backAtPlace(const QByteArray& path)
{
    std::vector<quint32> back;
    for (const auto& [id, r] : regs.all())
        if (r.retired && r.req.scope == WatchRequest::Scope::Folder && r.root.real == path) back.push_back(id);
    if (back.empty()) return false;
    // Its return, then everything known to be there now; what is found or happens after is
    // told as it comes. What was told of the place before (the folder may be known already,
    // listed for another registration) is not for it: knowing that, nothing is told twice
    // and nothing is missed, whichever of the reader and the walker saw the folder first.
    returning(path, noticeSerial + 1);
    WatchedFolder* top = table.find(path);
    for (quint32 id : back) {
        const Registration* reg = regs.find(id);
        targeted(id, ChangeNotice::Kind::Notice, SHCNE_MKDIR, listFor(reg->root.user, true));
        if (!top || !top->watched() || top->lookoutOnly) continue;
        auto tellKnown = [&](WatchedFolder* f, const QByteArray& at) {
            if (!f->watched() || !f->listed || f->lookoutOnly) return;
            f->names.forEach([&](std::string_view name, bool isDir) {
                regs.placesOf(*reg, BytePath::join(at, name), Concern::Item, [&](const QString& place) {
                    targeted(id, ChangeNotice::Kind::Notice, isDir ? SHCNE_MKDIR : SHCNE_CREATE, listFor(place, isDir));
                });
            });
        };
        if (reg->root.recursive) {
            table.forEachWithPath(top, path, tellKnown);
        } else {
            tellKnown(top, path);
        }
    }
    return true;
}

}  // namespace InotifyDetail
