#pragma once
#include "platform/inotify/NameSet.h"

#include <QByteArray>
#include <QHash>

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

// One folder of the table: a kernel watch and what the watch knows of the folder's entries.
// Folders on the way to a watched one are in the table too, without a watch.
struct WatchedFolder {
    std::string name;  // the last part of the path, as bytes ("" for "/")
    WatchedFolder* parent = nullptr;
    std::vector<std::unique_ptr<WatchedFolder>> children;  // by name
    int wd = -1;                          // the kernel's watch; -1 when not watched
    quint64 device = 0, inode = 0;        // the folder the watch is on
    bool mountTop = false;                // the top of a volume mounted there
    WatchedFolder* nextAlias = nullptr;   // another place of the same watch (a bind mount)
    NameSet names;                        // the entries, once listed
    bool listed = false;                  // names hold a listing (and every change since)
    int listings = 0;                     // listings under way
    // While the folder is being listed: the names events changed meanwhile, whose state the
    // events know better than the listing does.
    std::unique_ptr<std::unordered_set<std::string>> touched;

    bool watched() const { return wd >= 0; }
    bool listing() const { return !listed || listings > 0; }
    bool lookoutOnly = false;             // watched only to see a folder appear below it
    void touch(std::string_view entry)
    {
        if (!touched) touched = std::make_unique<std::unordered_set<std::string>>();
        touched->emplace(entry);
    }
    bool wasTouched(std::string_view entry) const { return touched && touched->count(std::string(entry)); }
};

// The watched folders by path (links resolved) and by kernel watch. Paths are the bytes the
// kernel uses: absolute, "/"-separated, no "/" at the end but for the root.
class WatchTable {
public:
    WatchTable();

    // Paths are looked up from the folder found last when they lie below or above it: a walk
    // asks for a folder, its parent and its children in turn, and a deep folder's path is long.
    WatchedFolder* find(const QByteArray& path) const;
    // The folder at `path`, made (with the folders on the way) when missing.
    WatchedFolder* ensure(const QByteArray& path);
    WatchedFolder* byWatch(int wd) const { return byWd_.value(wd); }
    QByteArray pathOf(const WatchedFolder* folder) const;
    WatchedFolder* child(const WatchedFolder* folder, std::string_view name) const;

    // Gives the folder its kernel watch; several folders may share one (the same folder
    // reached twice through bind mounts).
    void setWatch(WatchedFolder* folder, int wd);
    // Takes the watch away from the folder; true when no other folder shares it (the kernel's
    // watch may then go).
    bool dropWatch(WatchedFolder* folder);
    // Forgets a watch the kernel has ended, for every folder that had it.
    void forgetWatch(int wd);

    // Moves a folder (with everything below it) to another place: a folder renamed.
    // `ended(wd)` is called for each kernel watch of what it replaces that no folder keeps.
    void move(WatchedFolder* folder, const QByteArray& to, const std::function<void(int wd)>& ended);
    // Removes a folder and everything below it; `ended(wd)` is called for each kernel watch
    // no folder has any more.
    void remove(WatchedFolder* folder, const std::function<void(int wd)>& ended);
    // Drops folders that hold nothing: no watch and nothing below.
    void prune(WatchedFolder* folder);
    // Empties the table at once (every kernel watch ended elsewhere, all together); the old
    // folders are handed back for the caller to free.
    std::unique_ptr<WatchedFolder> takeAll();

    // Every folder at and below `top`, parents before children.
    void forEach(WatchedFolder* top, const std::function<void(WatchedFolder*)>& f) const;
    // Every watched folder whose parent is not watched: where listings of everything start.
    std::vector<WatchedFolder*> tops() const;

    // Every folder at and below `top` with its path, parents before children.
    void forEachWithPath(WatchedFolder* top, const QByteArray& topPath,
                         const std::function<void(WatchedFolder*, const QByteArray&)>& f) const;

    // Changes each time a folder leaves its place (moved or removed), so that what was
    // learnt of places can be known to be stale.
    quint64 generation() const { return generation_; }

    int watchCount() const { return int(byWd_.size()); }
    qint64 namesBytes() const;
    qint64 namesCount() const;
    WatchedFolder* root() const { return root_.get(); }

private:
    std::unique_ptr<WatchedFolder> take(WatchedFolder* folder);
    // What `from` holds joins `into`, folder by folder; `into` keeps its own watch if it has one.
    void join(WatchedFolder* into, WatchedFolder* from);
    void adopt(WatchedFolder* parent, std::unique_ptr<WatchedFolder> folder);

    // From `from` down to `path`, whose part below `from` begins at `at`.
    WatchedFolder* descend(WatchedFolder* from, const QByteArray& path, qsizetype at) const;

    std::unique_ptr<WatchedFolder> root_;
    QHash<int, WatchedFolder*> byWd_;
    quint64 generation_ = 0;
    // The folder found last and its path, while no folder has left its place since.
    mutable WatchedFolder* hint_ = nullptr;
    mutable QByteArray hintPath_;
    mutable quint64 hintGeneration_ = 0;
};

// Path helpers on bytes.
namespace BytePath {
QByteArray parentOf(const QByteArray& path);  // empty for "/"
QByteArray join(const QByteArray& dir, std::string_view name);
std::string_view nameOf(const QByteArray& path);
bool isUnder(const QByteArray& path, const QByteArray& root);  // strictly below
inline bool isAtOrUnder(const QByteArray& path, const QByteArray& root) { return path == root || isUnder(path, root); }
}  // namespace BytePath
