#pragma once
#include "platform/ChangeNotifyService.h"

#include <QString>

#include <deque>
#include <functional>
#include <memory>

// What one registration asks the backend to watch.
struct WatchRequest {
    enum class Scope {
        Folder,      // a file-system folder (with its direct children, or all below it)
        Computer,    // no folder: the volumes only
        Everything,  // every folder the namespace has enumerated
    };
    Scope scope = Scope::Folder;
    QString folder;          // Scope::Folder: absolute path, links resolved
    bool recursive = false;
    bool allVolumes = false; // also the media notices of every volume (Computer, Desktop, Everything)
    quint32 mask = 0;
};

// The Linux backend of the change-notification service: inotify read by a thread of its own,
// the mount table for media, a once-a-second look at free space. Everything it learns becomes
// ChangeNotices queued in order; `wake` is called (on the reader thread) when the queue stops
// being empty.
class InotifyBackend {
public:
    explicit InotifyBackend(std::function<void()> wake);
    ~InotifyBackend();
    InotifyBackend(const InotifyBackend&) = delete;
    InotifyBackend& operator=(const InotifyBackend&) = delete;

    QString startError() const;
    // False when the request's folder can't be watched at all. The folders are watched when
    // this returns.
    bool add(quint32 id, const WatchRequest& request);
    void remove(quint32 id);
    void folderEnumerated(const QString& path);
    void announce(quint32 mask, const ItemIdList& first, const ItemIdList& second);
    std::deque<ChangeNotice> take();
    int watchedFolders() const;
    // While paused the reader leaves the kernel's queue alone, as a stalled reader would (for
    // tests of what happens when the queue overflows).
    void pauseReading(bool paused);

    struct State;

private:
    std::unique_ptr<State> d;
};
