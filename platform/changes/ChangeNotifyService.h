#pragma once
#include "platform/changes/ChangeBackend.h"
#include "platform/changes/ShellChangeEvents.h"
#include "platform/shell/ItemIdList.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

// The receiving end of a registration (the component's hidden window). Called on the main
// thread, in the order the changes happened; the lists live only for the call.
class ShellNoticeWindow {
public:
    virtual ~ShellNoticeWindow() = default;
    // A notice: its event mask and up to two lists (null when absent).
    virtual void shellNotice(const ItemIdList* first, const ItemIdList* second, quint32 eventMask) = 0;
    // Something the service could not do for this registration, said once (for instance the
    // system's limit on watched folders was reached). The folders that could be watched stay
    // watched.
    virtual void shellNoticeError(const QString& message) = 0;
    // The registration's folders are watched now, all of them or, when `leftOut` is not empty,
    // all but those it names.
    virtual void shellNoticeWatching(const QString& leftOut) { Q_UNUSED(leftOut); }
    // The registration cannot watch at all, for the reason given; it has ended.
    virtual void shellNoticeRefused(const QString& reason) { Q_UNUSED(reason); }
    // A folder the registration follows is watched now: what changed in it before is not
    // told (a follower that listed it earlier lists it again).
    virtual void shellNoticeFollowed(const QString& folder) { Q_UNUSED(folder); }
    // Some of the registration's folders are polled, since the kernel cannot tell all their
    // changes (a network or FUSE file system, the limit on watched folders): said once.
    virtual void shellNoticePolled(const QString& message) { Q_UNUSED(message); }
    // The kernel's queue of changes overflowed: every folder was compared with what was known
    // and the `changesFound` items created or deleted meanwhile have been told, once each.
    virtual void shellNoticeOverflow(int changesFound) { Q_UNUSED(changesFound); }
    // How many notices the window holds that it has not raised yet.
    virtual int shellNoticeBacklog() const { return 0; }
};

// What a registration watches: a list (none: the folders it is told to follow) and whether
// everything below it counts too.
struct SHChangeNotifyEntry {
    ItemIdList pidl;
    bool fRecursive = false;
};

// The process-wide change-notification service. Created on first use; lives on the main thread;
// its backend (ChangeBackend) does the work on threads of its own.
//
// A registration receives the notices whose mask meets its own: for a recursive one everything
// in and below its folder, for another the folder and its direct children, under the path it
// was registered with. Its folders are walked and watched off the main thread; the window hears
// when they all are (or why some or all could not be). Folders that appear are watched at once
// and then looked into, so what was made in them before the watch took hold is reported too.
// Opening, reading and closing files never make a notice. A registration whose folder goes away
// is quiet until a folder is back at its place, and then listens again.
//
// A window that holds more than backlogLimit() notices it has not raised is held back: nothing
// more is queued for it, and once it has raised what it holds it hears a folder change for its
// folder and every item created or deleted meanwhile.
class ChangeNotifyService : public QObject {
    Q_OBJECT
public:
    // The program's one service, over the Linux backend: it, the shell's calls below and
    // setBeforeFolderRead are defined with that backend (platform/inotify/ChangeService.cpp), so
    // that this folder needs nothing of it.
    static ChangeNotifyService& instance();
    ~ChangeNotifyService() override;

    // Returns the registration's id, or 0 when it is refused at once (lastRefusal() tells why:
    // a list that names nothing that can be watched, a folder that cannot be read). The window
    // hears shellNoticeWatching once the folders are watched, or shellNoticeRefused.
    quint32 registerWindow(ShellNoticeWindow* window, quint32 eventMask, const SHChangeNotifyEntry& entry);
    bool deregister(quint32 id);
    QString lastRefusal() const { return lastRefusal_; }
    // A registration without a list hears of the folders it follows and their direct children.
    void follow(quint32 id, const QString& folder);
    void unfollow(quint32 id, const QString& folder);
    // Tells the registrations that cover the lists of a change made by the program itself.
    void announce(quint32 eventMask, const ItemIdList* first, const ItemIdList* second);

    // Hands every notice read so far to its window. The event loop does this on its own; a
    // nested event loop inside a window's call goes on with the same queue, in order.
    void deliverPending();

    // How many folders are watched now, what the comparisons keep, and the error the service
    // met starting (empty when it runs).
    int watchedFolderCount() const;
    ChangeBackend::Figures figures() const;
    QString startError() const;

    static constexpr int kBacklogLimit = 32768;
    int backlogLimit() const { return backlogLimit_; }
    void setBacklogLimit(int notices);

    // For tests: leaves the kernel's queue unread while paused, as a stalled reader would; makes
    // the reader fail; holds each folder listing up before it starts, as a dead volume would.
    void pauseReading(bool paused);
    void failReader(const QString& reason);
    static void setBeforeFolderRead(std::function<void(const QString& folder)> hook);

    // Makes the backend; `wake` is called on a backend thread when notices are ready.
    using BackendMaker = std::function<std::unique_ptr<ChangeBackend>(std::function<void()> wake)>;

private:
    explicit ChangeNotifyService(const BackendMaker& makeBackend);
    void catchUpHeldBack();

    std::unique_ptr<ChangeBackend> backend_;
    QHash<quint32, ShellNoticeWindow*> windows_;
    std::deque<ChangeNotice> ready_;
    QSet<quint32> heldBack_;
    QTimer catchUpTimer_;
    quint32 nextId_ = 1;
    int backlogLimit_ = kBacklogLimit;
    QString lastRefusal_;
};

// The shell's calls, for code that reads best in them.
quint32 SHChangeNotifyRegister(ShellNoticeWindow* window, int sources, quint32 events, const SHChangeNotifyEntry& entry);
bool SHChangeNotifyDeregister(quint32 id);
void SHChangeNotify(quint32 eventId, const ItemIdList* first, const ItemIdList* second);
