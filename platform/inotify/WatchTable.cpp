#include "platform/inotify/WatchTable.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace BytePath {

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype i = path.lastIndexOf('/');
    if (i < 0 || path == "/") return {};
    return i == 0 ? QByteArray("/") : path.left(i);
}

QByteArray join(const QByteArray& dir, std::string_view name)
{
    QByteArray out;
    out.reserve(dir.size() + qsizetype(name.size()) + 1);
    out.append(dir);
    if (!dir.endsWith('/')) out.append('/');
    out.append(name.data(), qsizetype(name.size()));
    return out;
}

std::string_view nameOf(const QByteArray& path)
{
    const qsizetype i = path.lastIndexOf('/');
    return std::string_view(path.constData() + i + 1, size_t(path.size() - i - 1));
}

bool isUnder(const QByteArray& path, const QByteArray& root)
{
    if (root == "/") return path.size() > 1 && path.startsWith('/');
    return path.size() > root.size() && path.startsWith(root) && path[root.size()] == '/';
}

}  // namespace BytePath

namespace {

auto byName(std::string_view name)
{
    return [name](const std::unique_ptr<WatchedFolder>& f) { return std::string_view(f->name) < name; };
}

}  // namespace

WatchTable::WatchTable() : root_(std::make_unique<WatchedFolder>()) {}

WatchedFolder* WatchTable::child(const WatchedFolder* folder, std::string_view name) const
{
    const auto& c = folder->children;
    const auto it = std::partition_point(c.begin(), c.end(), byName(name));
    return it != c.end() && (*it)->name == name ? it->get() : nullptr;
}

WatchedFolder* WatchTable::descend(WatchedFolder* from, const QByteArray& path, qsizetype at) const
{
    const char* data = path.constData();
    const qsizetype size = path.size();
    while (from && at < size) {
        const void* found = std::memchr(data + at, '/', size_t(size - at));
        const qsizetype slash = found ? static_cast<const char*>(found) - data : size;
        from = child(from, std::string_view(data + at, size_t(slash - at)));
        at = slash + 1;
    }
    return from;
}

WatchedFolder* WatchTable::find(const QByteArray& path) const
{
    if (!path.startsWith('/')) return nullptr;
    WatchedFolder* found = nullptr;
    bool looked = false;
    if (hint_ && hintGeneration_ == generation_ && hintPath_.size() > 1) {
        const qsizetype hs = hintPath_.size();
        const bool same = path.constData() == hintPath_.constData() && path.size() == hs;
        if (same || (path.size() >= hs && std::memcmp(path.constData(), hintPath_.constData(), size_t(hs)) == 0 &&
                     (path.size() == hs || path[hs] == '/'))) {
            // At or below the last one.
            found = descend(hint_, path, hs + 1);
            looked = true;
        } else if (path.size() < hs && hintPath_[path.size()] == '/' &&
                   std::memcmp(path.constData(), hintPath_.constData(), size_t(path.size())) == 0) {
            // Above it: as many levels up as it has parts more.
            found = hint_;
            for (qsizetype i = path.size(); found && i < hs; ++i)
                if (hintPath_[i] == '/') found = found->parent;
            looked = true;
        }
    }
    if (!looked) found = descend(root_.get(), path, 1);
    if (found && found != root_.get()) {
        hint_ = found;
        hintPath_ = path;
        hintGeneration_ = generation_;
    }
    return found;
}

WatchedFolder* WatchTable::ensure(const QByteArray& path)
{
    if (!path.startsWith('/')) return nullptr;
    if (WatchedFolder* there = find(path)) return there;
    // Usually its parent is there already (a walk goes down a level at a time).
    if (WatchedFolder* parent = path.size() > 1 ? find(BytePath::parentOf(path)) : nullptr) {
        auto made = std::make_unique<WatchedFolder>();
        made->name = std::string(BytePath::nameOf(path));
        WatchedFolder* folder = made.get();
        adopt(parent, std::move(made));
        return folder;
    }
    WatchedFolder* at = root_.get();
    qsizetype from = 1;
    while (from < path.size()) {
        qsizetype slash = path.indexOf('/', from);
        if (slash < 0) slash = path.size();
        const std::string_view part(path.constData() + from, size_t(slash - from));
        WatchedFolder* next = child(at, part);
        if (!next) {
            auto made = std::make_unique<WatchedFolder>();
            made->name = std::string(part);
            next = made.get();
            adopt(at, std::move(made));
        }
        at = next;
        from = slash + 1;
    }
    return at;
}

QByteArray WatchTable::pathOf(const WatchedFolder* folder) const
{
    std::vector<const WatchedFolder*> chain;
    for (const WatchedFolder* f = folder; f && f->parent; f = f->parent) chain.push_back(f);
    if (chain.empty()) return QByteArrayLiteral("/");
    QByteArray out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        out.append('/');
        out.append((*it)->name.data(), qsizetype((*it)->name.size()));
    }
    return out;
}

void WatchTable::setWatch(WatchedFolder* folder, int wd)
{
    if (folder->wd == wd) return;
    if (folder->watched()) dropWatch(folder);
    folder->wd = wd;
    WatchedFolder*& first = byWd_[wd];
    folder->nextAlias = first;
    first = folder;
}

bool WatchTable::dropWatch(WatchedFolder* folder)
{
    if (!folder->watched()) return false;
    const int wd = folder->wd;
    folder->wd = -1;
    auto it = byWd_.find(wd);
    if (it == byWd_.end()) return true;
    WatchedFolder** link = &it.value();
    while (*link && *link != folder) link = &(*link)->nextAlias;
    if (*link) *link = folder->nextAlias;
    folder->nextAlias = nullptr;
    if (it.value()) return false;
    byWd_.erase(it);
    return true;
}

void WatchTable::forgetWatch(int wd)
{
    WatchedFolder* f = byWd_.take(wd);
    while (f) {
        WatchedFolder* next = f->nextAlias;
        f->wd = -1;
        f->nextAlias = nullptr;
        f = next;
    }
}

std::unique_ptr<WatchedFolder> WatchTable::take(WatchedFolder* folder)
{
    ++generation_;
    WatchedFolder* parent = folder->parent;
    auto& c = parent->children;
    const auto it = std::partition_point(c.begin(), c.end(), byName(folder->name));
    std::unique_ptr<WatchedFolder> owned = std::move(*it);
    c.erase(it);
    owned->parent = nullptr;
    return owned;
}

void WatchTable::adopt(WatchedFolder* parent, std::unique_ptr<WatchedFolder> folder)
{
    auto& c = parent->children;
    const auto it = std::partition_point(c.begin(), c.end(), byName(folder->name));
    folder->parent = parent;
    c.insert(it, std::move(folder));
}

void WatchTable::move(WatchedFolder* folder, const QByteArray& to, const std::function<void(int wd)>& ended)
{
    if (!folder->parent) return;
    const QByteArray parentPath = BytePath::parentOf(to);
    if (parentPath.isEmpty()) return;
    // Whatever was at the new place goes: a rename replaces it. But a rename replaces only an
    // empty folder: what the table holds below that place was reached there by its path after
    // the rename and before it was read. That belongs to the moved folder, and joins it.
    if (WatchedFolder* old = find(to); old && old != folder) {
        join(folder, old);
        remove(old, ended);
    }
    std::unique_ptr<WatchedFolder> owned = take(folder);
    owned->name = std::string(BytePath::nameOf(to));
    adopt(ensure(parentPath), std::move(owned));
}

void WatchTable::join(WatchedFolder* into, WatchedFolder* from)
{
    std::vector<WatchedFolder*> below;
    for (const auto& c : from->children) below.push_back(c.get());
    for (WatchedFolder* c : below) {
        if (WatchedFolder* same = child(into, c->name)) {
            join(same, c);
        } else {
            adopt(into, take(c));
        }
    }
    // A listing of it under way is finished where it joins (the walker finds it by its watch).
    if (from->watched() && from->wd == into->wd) into->listings += std::exchange(from->listings, 0);
    if (!from->watched() || into->watched()) return;  // the moved folder's own watch stands
    into->listings += std::exchange(from->listings, 0);
    const int wd = from->wd;
    dropWatch(from);
    setWatch(into, wd);
    into->device = from->device;
    into->inode = from->inode;
    into->mountTop = from->mountTop;
    into->lookoutOnly = from->lookoutOnly;
    into->listed = from->listed;
    into->names = std::move(from->names);
    into->touched = std::move(from->touched);
}

void WatchTable::remove(WatchedFolder* folder, const std::function<void(int wd)>& ended)
{
    if (!folder->parent) return;
    forEach(folder, [&](WatchedFolder* f) {
        const int wd = f->wd;
        if (dropWatch(f) && ended) ended(wd);
    });
    WatchedFolder* parent = folder->parent;
    take(folder);
    prune(parent);
}

void WatchTable::prune(WatchedFolder* folder)
{
    while (folder && folder->parent && !folder->watched() && folder->children.empty() && folder->listings == 0) {
        WatchedFolder* parent = folder->parent;
        take(folder);
        folder = parent;
    }
}

std::unique_ptr<WatchedFolder> WatchTable::takeAll()
{
    ++generation_;
    byWd_.clear();
    return std::exchange(root_, std::make_unique<WatchedFolder>());
}

void WatchTable::forEach(WatchedFolder* top, const std::function<void(WatchedFolder*)>& f) const
{
    std::vector<WatchedFolder*> stack{top};
    while (!stack.empty()) {
        WatchedFolder* at = stack.back();
        stack.pop_back();
        f(at);
        for (auto it = at->children.rbegin(); it != at->children.rend(); ++it) stack.push_back(it->get());
    }
}

void WatchTable::forEachWithPath(WatchedFolder* top, const QByteArray& topPath,
                                 const std::function<void(WatchedFolder*, const QByteArray&)>& f) const
{
    std::vector<std::pair<WatchedFolder*, QByteArray>> stack{{top, topPath}};
    while (!stack.empty()) {
        auto [at, path] = std::move(stack.back());
        stack.pop_back();
        f(at, path);
        for (auto it = at->children.rbegin(); it != at->children.rend(); ++it)
            stack.emplace_back(it->get(), BytePath::join(path, (*it)->name));
    }
}

std::vector<WatchedFolder*> WatchTable::tops() const
{
    std::vector<WatchedFolder*> out;
    forEach(root_.get(), [&](WatchedFolder* f) {
        if (f->watched() && !(f->parent && f->parent->watched())) out.push_back(f);
    });
    return out;
}

qint64 WatchTable::namesBytes() const
{
    qint64 total = 0;
    forEach(root_.get(), [&](WatchedFolder* f) { total += f->names.memoryBytes(); });
    return total;
}

qint64 WatchTable::namesCount() const
{
    qint64 total = 0;
    forEach(root_.get(), [&](WatchedFolder* f) { total += f->names.size(); });
    return total;
}
