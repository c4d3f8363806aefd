#pragma once
#include "platform/ItemIdList.h"

#include <QList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Lists the sub-folders of one namespace folder, with their attributes, on a thread of its own:
// a slow or absent volume then holds up that thread and never the window. The main thread
// looks for the result when it likes, or waits for it with a bound.
//
// Children on remote, removable and optical media are not opened to learn whether they have
// sub-folders of their own; they are assumed to have some.
class FolderEnumerationJob {
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

    // Starts listing `folder` (SHCONTF_* flags).
    static std::shared_ptr<FolderEnumerationJob> start(const ItemIdList& folder, quint32 flags);

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

private:
    void run();

    const ItemIdList folder_;
    const quint32 flags_;
    mutable std::mutex mutex_;
    mutable std::condition_variable ready_;
    bool done_ = false;
    Result result_;
};
