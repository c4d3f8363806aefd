#pragma once
#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

// What a poll finds changed, by real paths.
struct PollChange {
    enum class Kind { Created, Deleted, Renamed, Changed };
    Kind kind = Kind::Created;
    QByteArray path;
    QByteArray path2;  // Renamed: where it is now
    bool isDir = false;
    friend bool operator==(const PollChange&, const PollChange&) = default;
};

// One walk of a folder: every entry below it by its path relative to the folder, with what tells
// a change (size, modification time, mode) and its identity (inode). The walk stays on the
// folder's own mount and never follows a link.
class TreeSnapshot {
public:
    struct Item {
        quint64 inode = 0;
        qint64 size = 0;
        qint64 mtimeNs = 0;
        quint32 mode = 0;
        bool isDir = false;
    };

    // Walks `root` (its direct children only unless `recursive`). False when the folder itself
    // cannot be read; `stop` ends a walk early (it then counts as failed).
    bool walk(const QByteArray& root, bool recursive, const std::atomic<bool>* stop = nullptr);

    // What changed from `before` to this one, as paths under `root`: renames first, then what
    // went away (what a folder held before the folder), then what came (a folder before what it
    // holds), then changes.
    std::vector<PollChange> changesSince(const TreeSnapshot& before, const QByteArray& root) const;

    // The last walk found no folder at the root (deleted, or something else in its place).
    bool rootGone() const { return rootGone_; }
    qsizetype size() const { return qsizetype(items_.size()); }
    qsizetype folders() const { return folders_; }
    // The memory the snapshot takes, about.
    qint64 memoryBytes() const;
    const std::unordered_map<std::string, Item>& items() const { return items_; }
    // The entry at real path `path` under `root`, if the walk found one.
    const Item* find(const QByteArray& path, const QByteArray& root) const;

private:
    std::unordered_map<std::string, Item> items_;
    qsizetype folders_ = 0;
    bool rootGone_ = false;
};
