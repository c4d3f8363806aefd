#include "notify/FolderEnumerationJob.h"

#include "platform/system/MountTable.h"
#include "platform/text/PathRelations.h"
#include "platform/shell/ShellNamespace.h"
#include "platform/polling/PollChooser.h"

#include <QSet>
#include <QThreadPool>

#include <chrono>

using Kind = ItemIdList::Kind;

namespace {

// File systems whose folders may answer slowly or not at all: network and FUSE ones (whose
// server may stop answering), and optical discs.
bool isSlowFileSystem(const QString& type)
{
    return PollChooser::isRemoteType(type) || type == u"sshfs" || type == u"iso9660" || type == u"udf";
}

bool isRemovableMount(const QString& mountPoint)
{
    return mountPoint.startsWith(u"/media/") || mountPoint.startsWith(u"/run/media/");
}

// Whether the mount that holds `path` is slow (remote, optical) or removable.
bool onSlowMedium(const QString& path, const QList<MountTable::Mount>& mounts)
{
    const MountTable::Mount* holder = nullptr;
    for (const MountTable::Mount& m : mounts) {
        const bool covers = PathRelations::isAtOrUnder(path, m.mountPoint);
        if (covers && (!holder || m.mountPoint.size() >= holder->mountPoint.size())) holder = &m;
    }
    return holder && (isSlowFileSystem(holder->fsType) || isRemovableMount(holder->mountPoint));
}

// Never destroyed: the program's exit must not wait for a listing stuck on a dead volume.
QThreadPool& listingPool()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(FolderEnumerationJob::kMaxListings);
        return p;
    }();
    return *pool;
}

std::mutex hookMutex;
std::function<void(const ItemIdList&)> beforeListing;

bool isFolderKind(Kind k) { return k == Kind::Folder || k == Kind::Home || k == Kind::Volume || k == Kind::Computer; }

}  // namespace

FolderEnumerationJob::Result FolderEnumerationJob::list(const ItemIdList& folder, quint32 flags)
{
    Result r;
    if (folder.isNull()) return r;
    const bool files = flags & SHCONTF_NONFOLDERS;
    // The same listing the namespace gives; the main thread lists the folder again through
    // EnumObjects so that the notification service starts watching it.
    const std::optional<QList<ItemIdList>> listed = ShellNamespace::listChildren(folder, flags);
    r.readable = listed.has_value();
    const QList<ItemIdList> children = listed.value_or(QList<ItemIdList>());

    const QList<MountTable::Mount> mounts = MountTable::current();
    const ShellFolder parent(folder);
    for (const ItemIdList& child : children) {
        Child c;
        c.relative = child;
        const Kind kind = child.lastKind();
        const bool isFolder = isFolderKind(kind);
        const QString path = ShellNamespace::fileSystemPathOf(folder.appended(child));
        if (kind != Kind::Computer && !path.isEmpty() && onSlowMedium(path, mounts)) {
            // Never touched: what the list tells is all we know.
            c.attributes = (SFGAO_FILESYSTEM | (isFolder ? SFGAO_FOLDER : 0u)) & kRequest;
            c.hasChildren = isFolder;
        } else {
            c.attributes = parent.GetAttributesOf(child, kRequest);
            c.hasChildren = (c.attributes & SFGAO_HASSUBFOLDER) || (files && (c.attributes & SFGAO_FOLDER));
        }
        r.children.append(c);
    }
    return r;
}

std::shared_ptr<FolderEnumerationJob> FolderEnumerationJob::start(const ItemIdList& folder, quint32 flags,
                                                                   const std::function<void(FolderEnumerationJob*)>& connect)
{
    // The last holder may be the pool's thread: the object then goes on its own thread's loop.
    std::shared_ptr<FolderEnumerationJob> job(new FolderEnumerationJob(folder, flags),
                                              [](FolderEnumerationJob* j) { j->deleteLater(); });
    if (connect) connect(job.get());
    listingPool().start([job] { job->run(); });
    return job;
}

void FolderEnumerationJob::setBeforeListing(std::function<void(const ItemIdList& folder)> hook)
{
    std::lock_guard lock(hookMutex);
    beforeListing = std::move(hook);
}

void FolderEnumerationJob::run()
{
    std::function<void(const ItemIdList&)> hook;
    {
        std::lock_guard lock(hookMutex);
        hook = beforeListing;
    }
    if (hook) hook(folder_);
    Result r = list(folder_, flags_);
    {
        std::lock_guard lock(mutex_);
        result_ = std::move(r);
        done_ = true;
    }
    ready_.notify_all();
    emit finished();
}

bool FolderEnumerationJob::isDone() const
{
    std::lock_guard lock(mutex_);
    return done_;
}

bool FolderEnumerationJob::wait(int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; });
}

FolderEnumerationJob::Result FolderEnumerationJob::result() const
{
    std::lock_guard lock(mutex_);
    return result_;
}
