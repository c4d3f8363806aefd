#pragma once
#include "platform/shell/ItemIdList.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>

// What one registration asks a backend to watch.
struct WatchRequest {
    enum class Scope {
        Folder,    // a file-system folder (with its direct children, or all below it)
        Computer,  // no folder: the volumes only
        Followed,  // the folders it is told to follow, each with its direct children
    };
    Scope scope = Scope::Folder;
    QString folder;          // Scope::Folder: absolute, as given (links kept)
    bool recursive = false;
    bool allVolumes = false; // also the media notices of every volume
    quint32 mask = 0;
};

// What a backend hands over for a registration, in order.
struct ChangeNotice {
    enum class Kind {
        Notice,    // a change: mask and up to two lists
        Problem,   // something that could not be done for it (text); the rest goes on
        Watching,  // its folders are watched now; text: what could not be, if anything
        Refused,   // it cannot watch at all (text: why); nothing more comes for it
        HeldBack,  // it is held back (its notices waited too long); a comparison follows later
        Followed,  // a folder it follows (text) is watched now
        Polled,    // some of its folders are polled (text: which, and how often); said once
        Overflowed,  // the kernel's queue overflowed; the comparison after it is over (`found`)
    };
    quint32 registration = 0;
    Kind kind = Kind::Notice;
    quint32 mask = 0;
    ItemIdList first;
    ItemIdList second;
    QString text;
    int found = 0;  // Overflowed: the items the comparison told it of, created or deleted
};

// A source of change notices: the kernel's notification on Linux. The notification service
// talks to it through this alone. Calls come from the main thread and return at once: the
// work (walking folders, reading events) is done on the backend's own threads, which never
// touch the main thread but through `wake`.
class ChangeBackend {
public:
    // `wake` is called on a backend thread when notices are ready to be taken.
    static std::unique_ptr<ChangeBackend> create(std::function<void()> wake);

    virtual ~ChangeBackend() = default;

    // Why the backend cannot work at all; empty when it runs.
    virtual QString startError() const = 0;
    // Starts watching for `id`; its Watching (or Refused) notice tells when the folders are
    // watched. Returns why it is refused at once, empty when it is taken.
    virtual QString add(quint32 id, const WatchRequest& request) = 0;
    virtual void remove(quint32 id) = 0;
    // Scope::Followed: starts (stops) hearing of `folder` and its direct children.
    virtual void follow(quint32 id, const QString& folder) = 0;
    virtual void unfollow(quint32 id, const QString& folder) = 0;
    // A change the program made itself, told to the registrations that cover it.
    virtual void announce(quint32 mask, const ItemIdList& first, const ItemIdList& second) = 0;
    virtual std::deque<ChangeNotice> take() = 0;

    // The window of `id` holds too many notices: queue no more for it, keep what it knew.
    virtual void holdBack(quint32 id) = 0;
    // The window of `id` has caught up: tell it every item created or deleted since it was
    // held back, after a folder change for its folder, and go on as before.
    virtual void catchUp(quint32 id) = 0;
    // How many notices wait in the outbox for one registration before it is held back.
    virtual void setQueueLimit(int notices) = 0;

    struct Figures {
        int watchedFolders = 0;
        qint64 knownEntries = 0;   // files and folders whose names are kept for comparing
        qint64 knownBytes = 0;     // the memory those names take
        int walksUnderWay = 0;
        qint64 foldersListed = 0;  // listings made so far (a walk lists each folder once)
    };
    virtual Figures figures() const = 0;

    // While paused the kernel's queue is left unread, as a stalled reader would leave it; a
    // pause has taken effect when the call returns.
    virtual void pauseReading(bool paused) = 0;
    // For tests: the reader fails as if the system had refused to go on.
    virtual void failReader(const QString& reason) = 0;
    // For tests: called on the backend's thread before each folder is read (a test holds a walk
    // up with it, as a volume that does not answer would). An empty function removes it.
    static void setBeforeFolderRead(std::function<void(const QString& folder)> hook);
};
