#include "platform/polling/TreeSnapshot.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

QByteArray below(const QByteArray& root, const std::string& rel)
{
    QByteArray out = root;
    if (!out.endsWith('/')) out += '/';
    out += QByteArray(rel.data(), qsizetype(rel.size()));
    return out;
}

bool isUnder(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

const TreeSnapshot::Item* TreeSnapshot::find(const QByteArray& path, const QByteArray& root) const
{
    const qsizetype skip = root.endsWith('/') ? root.size() : root.size() + 1;
    if (path.size() <= skip || !path.startsWith(root) || (!root.endsWith('/') && path[root.size()] != '/'))
        return nullptr;
    const auto found = items_.find(std::string(path.constData() + skip, size_t(path.size() - skip)));
    return found == items_.end() ? nullptr : &found->second;
}

bool TreeSnapshot::walk(const QByteArray& root, bool recursive, const std::atomic<bool>* stop)
{
    items_.clear();
    folders_ = 0;
    rootGone_ = false;
    const int rootFd = ::open(root.constData(), kOpenFolder);
    if (rootFd < 0) {
        rootGone_ = errno == ENOENT || errno == ENOTDIR || errno == ELOOP;
        return false;
    }
    struct stat top {};
    if (::fstat(rootFd, &top) != 0) {
        ::close(rootFd);
        return false;
    }
    std::vector<std::string> folders{std::string()};
    bool whole = true;
    while (!folders.empty()) {
        if (stop && stop->load()) {
            whole = false;
            break;
        }
        const std::string rel = std::move(folders.back());
        folders.pop_back();
        const int fd = rel.empty() ? ::dup(rootFd) : ::openat(rootFd, rel.c_str(), kOpenFolder);
        if (fd < 0) {
            if (rel.empty()) whole = false;
            continue;  // gone or unreadable since it was seen: what it holds is not known
        }
        DIR* d = ::fdopendir(fd);
        if (!d) {
            ::close(fd);
            continue;
        }
        while (const dirent* e = ::readdir(d)) {
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            struct stat st {};
            if (::fstatat(::dirfd(d), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            std::string path = rel.empty() ? std::string(name) : rel + '/' + name;
            Item item;
            item.inode = quint64(st.st_ino);
            item.isDir = S_ISDIR(st.st_mode);
            item.size = item.isDir ? 0 : qint64(st.st_size);
            item.mtimeNs = item.isDir ? 0 : qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
            item.mode = quint32(st.st_mode);
            if (item.isDir) {
                ++folders_;
                if (recursive && st.st_dev == top.st_dev) folders.push_back(path);
            }
            items_.emplace(std::move(path), item);
        }
        ::closedir(d);
    }
    ::close(rootFd);
    return whole;
}

std::vector<PollChange> TreeSnapshot::changesSince(const TreeSnapshot& before, const QByteArray& root) const
{
    using Kind = PollChange::Kind;
    std::vector<std::string> gone, came, changed;
    for (const auto& [path, was] : before.items_) {
        const auto now = items_.find(path);
        if (now == items_.end() || now->second.isDir != was.isDir) gone.push_back(path);
    }
    for (const auto& [path, now] : items_) {
        const auto was = before.items_.find(path);
        if (was == before.items_.end() || was->second.isDir != now.isDir) {
            came.push_back(path);
            continue;
        }
        const Item& w = was->second;
        if (w.mode != now.mode || (!now.isDir && (w.size != now.size || w.mtimeNs != now.mtimeNs)))
            changed.push_back(path);
    }
    std::sort(gone.begin(), gone.end());
    std::sort(came.begin(), came.end());
    std::sort(changed.begin(), changed.end());

    // Renames: an item that went and one that came with the same identity. Parents come first,
    // so a folder's rename takes what it holds along (not told again).
    std::unordered_map<quint64, std::string> goneByInode;
    for (const std::string& g : gone) {
        const Item& was = before.items_.at(g);
        if (was.inode) goneByInode.emplace(was.inode, g);
    }
    std::vector<PollChange> out;
    std::unordered_set<std::string> renamedFrom, renamedTo;
    std::vector<std::pair<std::string, std::string>> folderRenames;
    for (const std::string& c : came) {
        bool implied = false;
        for (const auto& [from, to] : folderRenames) {
            if (isUnder(c, to) && before.items_.count(from + c.substr(to.size()))) {
                const std::string old = from + c.substr(to.size());
                if (std::binary_search(gone.begin(), gone.end(), old)) {
                    renamedFrom.insert(old);
                    renamedTo.insert(c);
                    implied = true;
                    break;
                }
            }
        }
        if (implied) continue;
        const Item& now = items_.at(c);
        const auto g = now.inode ? goneByInode.find(now.inode) : goneByInode.end();
        if (g == goneByInode.end() || renamedFrom.count(g->second) || before.items_.at(g->second).isDir != now.isDir) continue;
        renamedFrom.insert(g->second);
        renamedTo.insert(c);
        if (now.isDir) folderRenames.emplace_back(g->second, c);
        out.push_back({Kind::Renamed, below(root, g->second), below(root, c), now.isDir});
    }
    for (auto it = gone.rbegin(); it != gone.rend(); ++it)
        if (!renamedFrom.count(*it)) out.push_back({Kind::Deleted, below(root, *it), {}, before.items_.at(*it).isDir});
    for (const std::string& c : came)
        if (!renamedTo.count(c)) out.push_back({Kind::Created, below(root, c), {}, items_.at(c).isDir});
    for (const std::string& c : changed) out.push_back({Kind::Changed, below(root, c), {}, items_.at(c).isDir});
    return out;
}

qint64 TreeSnapshot::memoryBytes() const
{
    // A node of the table (the pair, its link and hash) and the name's heap block when it is long.
    qint64 bytes = qint64(items_.bucket_count()) * qint64(sizeof(void*));
    for (const auto& [path, item] : items_) {
        bytes += qint64(sizeof(std::pair<const std::string, Item>)) + 2 * qint64(sizeof(void*));
        if (path.size() > 15) bytes += qint64(path.capacity()) + 1;
    }
    return bytes;
}
