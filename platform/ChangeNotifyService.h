#pragma once
#include "platform/ItemIdList.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>

// Event bits of a change notice (the desktop shell's SHCNE values).
constexpr quint32 SHCNE_RENAMEITEM = 0x1;
constexpr quint32 SHCNE_CREATE = 0x2;
constexpr quint32 SHCNE_DELETE = 0x4;
constexpr quint32 SHCNE_MKDIR = 0x8;
constexpr quint32 SHCNE_RMDIR = 0x10;
constexpr quint32 SHCNE_MEDIAINSERTED = 0x20;
constexpr quint32 SHCNE_MEDIAREMOVED = 0x40;
constexpr quint32 SHCNE_DRIVEREMOVED = 0x80;
constexpr quint32 SHCNE_DRIVEADD = 0x100;
constexpr quint32 SHCNE_NETSHARE = 0x200;
constexpr quint32 SHCNE_NETUNSHARE = 0x400;
constexpr quint32 SHCNE_ATTRIBUTES = 0x800;
constexpr quint32 SHCNE_UPDATEDIR = 0x1000;
constexpr quint32 SHCNE_UPDATEITEM = 0x2000;
constexpr quint32 SHCNE_SERVERDISCONNECT = 0x4000;
constexpr quint32 SHCNE_UPDATEIMAGE = 0x8000;
constexpr quint32 SHCNE_DRIVEADDGUI = 0x10000;
constexpr quint32 SHCNE_RENAMEFOLDER = 0x20000;
constexpr quint32 SHCNE_FREESPACE = 0x40000;
constexpr quint32 SHCNE_ASSOCCHANGED = 0x8000000;
constexpr quint32 SHCNE_INTERRUPT = 0x80000000;
constexpr quint32 SHCNE_ALLEVENTS = 0x7FFFFFFF;

// Where notices come from (accepted for the shape of the call; every notice here comes from
// the file system, at interrupt level).
constexpr int SHCNRF_InterruptLevel = 0x1;
constexpr int SHCNRF_ShellLevel = 0x2;
constexpr int SHCNRF_RecursiveInterrupt = 0x1000;
constexpr int SHCNRF_NewDelivery = 0x8000;

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
};

// What a registration watches: a list (none: every folder the namespace has enumerated) and
// whether everything below it counts too.
struct SHChangeNotifyEntry {
    ItemIdList pidl;
    bool fRecursive = false;
};

// One notice for one registration, as the reader thread hands it over.
struct ChangeNotice {
    quint32 registration = 0;
    quint32 mask = 0;
    ItemIdList first;
    ItemIdList second;
    QString error;  // not empty: no notice but something the service could not do
};

class InotifyBackend;

// The process-wide change-notification service. Created on first use; lives on the main thread;
// a reader thread of its own takes the file system's events as they come.
//
// A registration receives the notices whose mask meets its own: for a recursive one everything
// in and below its folder, for another the folder and its direct children. Folders that appear
// are watched at once and then looked into, so what was made in them before the watch took hold
// is reported too. Opening, reading and closing files never make a notice. A registration whose
// folder goes away is quiet until a folder is back at its place, and then listens again.
class ChangeNotifyService : public QObject {
    Q_OBJECT
public:
    static ChangeNotifyService& instance();
    ~ChangeNotifyService() override;

    // Returns the registration's id, 0 when it is refused (a list that names nothing that can
    // be watched). The folders are watched when this returns.
    quint32 registerWindow(ShellNoticeWindow* window, quint32 eventMask, const SHChangeNotifyEntry& entry);
    bool deregister(quint32 id);
    // Tells the registrations that cover the lists of a change made by the program itself.
    void announce(quint32 eventMask, const ItemIdList* first, const ItemIdList* second);

    // Hands every notice read so far to its window. The event loop does this on its own; a
    // nested event loop inside a window's call goes on with the same queue, in order.
    void deliverPending();

    // How many folders are watched now, and the error the service met starting (empty when
    // it runs).
    int watchedFolderCount() const;
    QString startError() const;
    // Leaves the kernel's queue unread while paused, as a stalled reader would (for tests of
    // the queue's overflow).
    void pauseReading(bool paused);

private:
    ChangeNotifyService();

    std::unique_ptr<InotifyBackend> backend_;
    QHash<quint32, ShellNoticeWindow*> windows_;
    std::deque<ChangeNotice> ready_;
    quint32 nextId_ = 1;
};

// The shell's calls, for code that reads best in them.
quint32 SHChangeNotifyRegister(ShellNoticeWindow* window, int sources, quint32 events, const SHChangeNotifyEntry& entry);
bool SHChangeNotifyDeregister(quint32 id);
void SHChangeNotify(quint32 eventId, const ItemIdList* first, const ItemIdList* second);
