#pragma once
#include "platform/shell/ItemIdList.h"

#include <QList>
#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Lists the sub-folders of one namespace folder, with their attributes, on a bounded pool of
// listing threads: a slow or absent volume then holds up one of them and never the window. The
// job tells `finished()` from the pool's thread, so a receiver on the main thread connected
// queued hears it there; the main thread may also wait for the result with a bound.
//
// Children on remote, removable and optical media are not opened to learn whether they have
// sub-folders of their own; they are assumed to have some.
class FolderEnumerationJob : public QObject {
    Q_OBJECT
public:
    struct Child {
        ItemIdList relative;      // one item, relative to the listed folder
        quint32 attributes = 0;   // SFGAO_* bits of the tree's request
        bool hasChildren = false;  // gets an expand button
    };
    struct Result {
        bool readable = false;
        QList<Child> children;
    };

    // The attributes asked of every child: HASSUBFOLDER | FILESYSTEM | FOLDER | SHARE.
    static constexpr quint32 kRequest = 0xE0020000;

    // Listings that run at once; more wait their turn.
    static constexpr int kMaxListings = 8;

    // Made on the caller's thread (the one that hears `finished`). `connect` runs before the
    // listing starts, so that no `finished` can be missed. The job is freed on its thread's
    // event loop once the last holder lets go.
    static std::shared_ptr<FolderEnumerationJob> start(const ItemIdList& folder, quint32 flags,
                                                       const std::function<void(FolderEnumerationJob*)>& connect = {});

    // The listing itself, on the calling thread.
    static Result list(const ItemIdList& folder, quint32 flags);

    // Called on the worker thread before each listing; tests hold a listing up with it, as a
    // volume that doesn't answer would. An empty function removes it.
    static void setBeforeListing(std::function<void(const ItemIdList& folder)> hook);

    const ItemIdList& folder() const { return folder_; }
    bool isDone() const;
    // Waits at most `timeoutMs` for the result; true when it is there.
    bool wait(int timeoutMs) const;
    // The result; empty until done.
    Result result() const;

    FolderEnumerationJob(const ItemIdList& folder, quint32 flags) : folder_(folder), flags_(flags) {}

signals:
    // The result is there; emitted on the listing thread.
    void finished();

private:
    void run();

    const ItemIdList folder_;
    const quint32 flags_;
    mutable std::mutex mutex_;
    mutable std::condition_variable ready_;
    bool done_ = false;
    Result result_;
};
