#include "notify/TStCustomShellNotification.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/shell/ShellNamespace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace {

// The hidden window's messages.
constexpr int WM_USER = 0x400;
constexpr int kDispatchMessage = WM_USER + 2;  // posted to raise the queued notices
constexpr qint64 kDispatchTurnMs = 10;         // longest stretch of handlers without a look at the window
const QEvent::Type kDispatchEvent = QEvent::Type(QEvent::User + kDispatchMessage);

enum class Op {
    AssociationChange, FileChange, FileCreate, FileDelete, FileRename, DriveAdd, DriveRemove, ShellDriveAdd,
    MediaInsert, MediaRemove, FolderCreate, FolderDelete, FolderRename, FolderUpdate, NetShare, NetUnShare,
    ServerDisconnect, ImageListChange, DriveSpaceChange,
};

struct DispatchRow {
    quint32 bit;
    TStNotifyEvents member;
    Op op;
};

// The order in which the bits of one notice are raised.
constexpr DispatchRow kDispatchOrder[] = {
    {SHCNE_ASSOCCHANGED, neAssociationChange, Op::AssociationChange},
    {SHCNE_UPDATEITEM, neFileChange, Op::FileChange},
    {SHCNE_CREATE, neFileCreate, Op::FileCreate},
    {SHCNE_DELETE, neFileDelete, Op::FileDelete},
    {SHCNE_RENAMEITEM, neFileRename, Op::FileRename},
    {SHCNE_DRIVEADD, neDriveAdd, Op::DriveAdd},
    {SHCNE_DRIVEREMOVED, neDriveRemove, Op::DriveRemove},
    {SHCNE_DRIVEADDGUI, neShellDriveAdd, Op::ShellDriveAdd},
    {SHCNE_MEDIAINSERTED, neMediaInsert, Op::MediaInsert},
    {SHCNE_MEDIAREMOVED, neMediaRemove, Op::MediaRemove},
    {SHCNE_MKDIR, neFolderCreate, Op::FolderCreate},
    {SHCNE_RMDIR, neFolderDelete, Op::FolderDelete},
    {SHCNE_RENAMEFOLDER, neFolderRename, Op::FolderRename},
    {SHCNE_UPDATEDIR, neFolderUpdate, Op::FolderUpdate},
    {SHCNE_NETSHARE, neNetShare, Op::NetShare},
    {SHCNE_NETUNSHARE, neNetUnShare, Op::NetUnShare},
    {SHCNE_SERVERDISCONNECT, neServerDisconnect, Op::ServerDisconnect},
    {SHCNE_UPDATEIMAGE, neImageListChange, Op::ImageListChange},
    {SHCNE_FREESPACE, neDriveSpaceChange, Op::DriveSpaceChange},
};

// The free-space notice's first list holds two numbers: the drive is the first (bytes 2 to 5).
quint32 driveNumber(const ItemIdList& pidl)
{
    const QByteArray& b = pidl.bytes();
    if (b.size() < 6) return 0;
    return quint32(quint8(b[2])) | quint32(quint8(b[3])) << 8 | quint32(quint8(b[4])) << 16 | quint32(quint8(b[5])) << 24;
}

QString messageOf(const std::exception& e)
{
    if (const auto* app = dynamic_cast<const AppException*>(&e)) return app->message();
    return QString::fromLocal8Bit(e.what());
}

}  // namespace

// The component's hidden window: receives the service's notices and its own posted dispatch.
class TStNotifyWindow : public QObject, public ShellNoticeWindow {
public:
    explicit TStNotifyWindow(TStCustomShellNotification* owner) : owner_(owner) {}

    void shellNotice(const ItemIdList* first, const ItemIdList* second, quint32 mask) override
    {
        owner_->ShellNotice(first, second, mask);
    }
    void shellNoticeWatching(const QString& leftOut) override
    {
        owner_->FWatching = true;
        owner_->FWatchWarning = leftOut;
        emit owner_->registrationSettled();
    }
    void shellNoticeRefused(const QString& reason) override
    {
        owner_->FRefusal = reason;
        owner_->HNotify = 0;
        owner_->Registered = false;
        owner_->FWatching = false;
        emit owner_->registrationSettled();
    }
    int shellNoticeBacklog() const override { return int(owner_->EventQueue.size()); }
    void shellNoticeOverflow(int changesFound) override { owner_->QueueOverflow(changesFound); }
    void shellNoticeFollowed(const QString& folder) override
    {
        owner_->FFollowing.remove(folder);
        if (owner_->OnFolderFollowed) owner_->OnFolderFollowed(owner_, folder);
    }
    void shellNoticePolled(const QString& message) override
    {
        if (owner_->OnServiceNote) owner_->OnServiceNote(owner_, message);
    }
    void shellNoticeError(const QString& message) override
    {
        // What the service could not do is news, not a failed handler: it has its own hook.
        if (owner_->OnServiceError) {
            owner_->OnServiceError(owner_, message);
        } else {
            owner_->ReportError(message);
        }
    }

    bool event(QEvent* e) override
    {
        if (e->type() == kDispatchEvent) {
            owner_->DispatchQueue();
            return true;
        }
        return QObject::event(e);
    }

private:
    TStCustomShellNotification* owner_;
};

TStCustomShellNotification::TStCustomShellNotification(QObject* owner) : TSsComponent(owner)
{
    FHandle = std::make_unique<TStNotifyWindow>(this);
    FShellVersion = ShellNamespace::shellVersion();
}

TStCustomShellNotification::~TStCustomShellNotification()
{
    *FAlive = false;
    if (HNotify != 0) UnregisterShellNotify();
    FHandle.reset();  // its posted dispatch goes with it: queued notices are discarded unraised
    EventQueue.clear();
}

QObject* TStCustomShellNotification::Handle() const { return FHandle.get(); }

void TStCustomShellNotification::SetActive(bool value)
{
    FActive = value;
    if (value && !Registered) {
        RegisterShellNotify();
    } else if (!value && Registered) {
        UnregisterShellNotify();
    }
}

void TStCustomShellNotification::SetNotifyEvents(TStNotifyEventsSet value)
{
    FNotifyEvents = value;
    if (FActive) RegisterShellNotify();
}

void TStCustomShellNotification::SetWatchSubFolders(bool value)
{
    FWatchSubFolders = value;
    if (FActive) RegisterShellNotify();
}

void TStCustomShellNotification::SetWatchPidl(const ItemIdList& value)
{
    FWatchPidl = value.clone();
    if (FActive) RegisterShellNotify();
}

void TStCustomShellNotification::SetWatchFolder(const QString& value)
{
    FWatchFolder = value;
    // A bare drive ("c:") names its root.
    if (FWatchFolder.contains(u':') && FWatchFolder.size() == 2) FWatchFolder += u'/';
    if (FWatchFolder.isEmpty()) return;
    SetSpecialWatchFolder(sfNone);
    ItemIdList pidl = ShellNamespace::desktopFolder()->ParseDisplayName(FWatchFolder);
    if (pidl.isNull()) {
        FWatchPidl.free();
        throw ESsInvalidFolder();
    }
    FWatchPidl = std::move(pidl);
    if (FActive) RegisterShellNotify();
}

void TStCustomShellNotification::SetSpecialWatchFolder(TStSpecialRootFolder value)
{
    if (NeedsShell47(value) && FShellVersion < 4.7) throw ESsShellError();
    if (value == FSpecialWatchFolder) return;
    // A special folder with no place here is refused rather than watched as the whole
    // namespace (which is what a missing list would mean).
    ItemIdList pidl;
    if (value != sfNone && value != sfDesktop) {
        pidl = ShellNamespace::specialFolderLocation(SpecialFolderCsidl(value));
        if (pidl.isNull()) throw ESsShellError();
    }
    FSpecialWatchFolder = value;
    if (value == sfNone) return;
    FWatchFolder.clear();
    FWatchPidl = std::move(pidl);  // none for the desktop: everything from the desktop down
    if (FActive) RegisterShellNotify();
}

void TStCustomShellNotification::RegisterShellNotify()
{
    SHChangeNotifyEntry entry{FWatchPidl, FWatchSubFolders};
    if (HNotify != 0) UnregisterShellNotify();
    const quint32 mask = ShellEventMask(FNotifyEvents);
    FWatching = false;
    FWatchWarning.clear();
    HNotify = SHChangeNotifyRegister(FHandle.get(), SHCNRF_InterruptLevel | SHCNRF_ShellLevel, mask, entry);
    Registered = HNotify != 0;
    FRefusal = Registered ? QString() : ChangeNotifyService::instance().lastRefusal();
    FFollowing.clear();
    if (Registered && FWatchPidl.isNull()) {
        for (const QString& path : std::as_const(FFollowed)) {
            FFollowing.insert(QDir::cleanPath(path));
            ChangeNotifyService::instance().follow(HNotify, path);
        }
    }
}

bool TStCustomShellNotification::WaitUntilWatching(const std::function<bool()>& giveUp)
{
    if (!Registered) return false;
    if (FWatching) return true;
    const quint32 id = HNotify;
    const std::shared_ptr<bool> alive = FAlive;
    QEventLoop loop;
    QObject::connect(this, &TStCustomShellNotification::registrationSettled, &loop, &QEventLoop::quit);
    QTimer look;
    look.setInterval(100);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (!*alive || HNotify != id || (giveUp && giveUp())) loop.quit();
    });
    look.start();
    loop.exec();
    return *alive && Registered && HNotify == id && FWatching;
}

void TStCustomShellNotification::FollowFolder(const QString& path)
{
    if (path.isEmpty() || FFollowed.contains(path)) return;
    FFollowed.append(path);
    if (Registered && FWatchPidl.isNull()) {
        FFollowing.insert(QDir::cleanPath(path));
        ChangeNotifyService::instance().follow(HNotify, path);
    }
}

void TStCustomShellNotification::UnfollowFolder(const QString& path)
{
    if (!FFollowed.removeOne(path)) return;
    FFollowing.remove(QDir::cleanPath(path));
    if (Registered && FWatchPidl.isNull()) ChangeNotifyService::instance().unfollow(HNotify, path);
}

void TStCustomShellNotification::UnregisterShellNotify()
{
    if (HNotify == 0) return;
    SHChangeNotifyDeregister(HNotify);
    HNotify = 0;
    Registered = false;
    FWatching = false;
    emit registrationSettled();
}

void TStCustomShellNotification::ShellNotice(const ItemIdList* pidl1, const ItemIdList* pidl2, quint32 mask)
{
    if (FMaxNotifications != 0 && FMaxNotifications < qint32(EventQueue.size())) return;
    if (mask & SHCNE_ATTRIBUTES) {
        // Raised at once, with an empty item for an absent list. It may come in the middle of
        // another notice's events (a handler running an event loop): that notice's set of
        // events is kept for it.
        const TStNotifyEventsSet outer = Events;
        Events = {};
        const auto first = TStShellItem::CreateFromPidl(pidl1 ? *pidl1 : ItemIdList());
        const auto second = TStShellItem::CreateFromPidl(pidl2 ? *pidl2 : ItemIdList());
        Events = {neAttributesChange};
        if (!Raise([&] { DoAttributeChange(first.get(), second.get()); })) return;
        if (!Raise([&] { DoShellChangeNotify(first.get(), second.get(), Events); })) return;
        Events = outer;
        return;
    }
    auto entry = std::make_unique<TStNotificationItem>();
    if (pidl1) entry->Pidl1 = pidl1->clone();
    if (pidl2) entry->Pidl2 = pidl2->clone();
    entry->EventMask = mask;
    EventQueue.push_back(std::move(entry));
    if (EventQueue.size() == 1) QCoreApplication::postEvent(FHandle.get(), new QEvent(kDispatchEvent));
}

void TStCustomShellNotification::QueueOverflow(int found)
{
    if (EventQueue.empty() && FOverflows.empty()) {
        if (OnQueueOverflow) OnQueueOverflow(this, found);
        return;
    }
    FOverflows.push_back({FRaised + EventQueue.size(), found});
}

void TStCustomShellNotification::DispatchQueue()
{
    // The head stays in the queue while its events run, so notices that arrive meanwhile (a
    // handler running an event loop) are appended and raised by this same loop, in order.
    // A long run is cut into turns, so that the window paints and answers in between.
    QElapsedTimer turn;
    turn.start();
    while (!EventQueue.empty()) {
        if (!DispatchNotice(*EventQueue.front())) return;  // a handler destroyed the component
        EventQueue.pop_front();
        ++FRaised;
        while (!FOverflows.empty() && FOverflows.front().after <= FRaised) {
            const int found = FOverflows.front().found;
            FOverflows.pop_front();
            const std::shared_ptr<bool> alive = FAlive;
            if (OnQueueOverflow) OnQueueOverflow(this, found);
            if (!*alive) return;
        }
        if (!EventQueue.empty() && turn.hasExpired(kDispatchTurnMs)) {
            QCoreApplication::postEvent(FHandle.get(), new QEvent(kDispatchEvent));
            return;
        }
    }
}

bool TStCustomShellNotification::DispatchNotice(const TStNotificationItem& notice)
{
    Events = {};
    if (!FItemController) FItemController = std::make_unique<TStCustomShellController>();
    TStCustomShellController* lent = FItemController.get();
    const auto first = notice.Pidl1.isNull() ? nullptr : TStShellItem::CreateForCall(notice.Pidl1, lent);
    const auto second = notice.Pidl2.isNull() ? nullptr : TStShellItem::CreateForCall(notice.Pidl2, lent);
    TStShellItem* a = first.get();
    TStShellItem* b = second.get();
    const quint32 mask = notice.EventMask;
    const quint32 drive = (mask & SHCNE_FREESPACE) ? driveNumber(notice.Pidl1) : 0;
    for (const DispatchRow& row : kDispatchOrder) {
        if (!(mask & row.bit)) continue;
        Events.Include(row.member);
        const bool alive = Raise([&] {
            switch (row.op) {
            case Op::AssociationChange: DoAssociationChange(); break;
            case Op::FileChange: DoFileChange(a); break;
            case Op::FileCreate: DoFileCreate(a); break;
            case Op::FileDelete: DoFileDelete(a, b); break;
            case Op::FileRename: DoFileRename(a, b); break;
            case Op::DriveAdd: DoDriveAdd(a); break;
            case Op::DriveRemove: DoDriveRemove(a); break;
            case Op::ShellDriveAdd: DoShellDriveAdd(a); break;
            case Op::MediaInsert:
                if (a) a->RefreshForMedia();
                DoMediaInsert(a);
                break;
            case Op::MediaRemove:
                if (a) a->RefreshForMedia();
                DoMediaRemove(a);
                break;
            case Op::FolderCreate: DoFolderCreate(a); break;
            case Op::FolderDelete: DoFolderDelete(a); break;
            case Op::FolderRename: DoFolderRename(a, b); break;
            case Op::FolderUpdate: DoFolderChange(a); break;
            case Op::NetShare: DoNetShare(a); break;
            case Op::NetUnShare: DoNetUnShare(a); break;
            case Op::ServerDisconnect: DoServerDisconnect(a); break;
            case Op::ImageListChange: DoImageListChange(); break;
            case Op::DriveSpaceChange: DoDriveSpaceChange(drive); break;
            }
        });
        if (!alive) return false;
    }
    return Raise([&] { DoShellChangeNotify(a, b, Events); });
}

bool TStCustomShellNotification::Raise(const std::function<void()>& event)
{
    const std::shared_ptr<bool> alive = FAlive;
    QString failure;
    try {
        event();
        return *alive;
    } catch (const std::exception& e) {
        failure = messageOf(e);
    } catch (...) {
        failure = QStringLiteral("Unknown error");
    }
    if (!*alive) {
        ModalBoxes::showException(failure);
        return false;
    }
    ReportError(failure);
    return *alive;
}

void TStCustomShellNotification::ReportError(const QString& message)
{
    if (OnError) {
        // A failing error hook must not take the dispatch down with it.
        try {
            OnError(this, message);
            return;
        } catch (const std::exception& e) {
            ModalBoxes::showException(e);
            return;
        } catch (...) {
        }
    }
    ModalBoxes::showException(message);
}

void TStCustomShellNotification::DoAssociationChange()
{
    if (OnAssociationChange) OnAssociationChange(this);
}
void TStCustomShellNotification::DoAttributeChange(TStShellItem* o, TStShellItem* n)
{
    if (OnAttributeChange) OnAttributeChange(this, o, n);
}
void TStCustomShellNotification::DoDriveAdd(TStShellItem* i)
{
    if (OnDriveAdd) OnDriveAdd(this, i);
}
void TStCustomShellNotification::DoDriveRemove(TStShellItem* i)
{
    if (OnDriveRemove) OnDriveRemove(this, i);
}
void TStCustomShellNotification::DoDriveSpaceChange(quint32 drive)
{
    if (OnDriveSpaceChange) OnDriveSpaceChange(this, drive);
}
void TStCustomShellNotification::DoFileChange(TStShellItem* i)
{
    if (OnFileChange) OnFileChange(this, i);
}
void TStCustomShellNotification::DoFileCreate(TStShellItem* i)
{
    if (OnFileCreate) OnFileCreate(this, i);
}
void TStCustomShellNotification::DoFileDelete(TStShellItem* o, TStShellItem* n)
{
    if (OnFileDelete) OnFileDelete(this, o, n);
}
void TStCustomShellNotification::DoFileRename(TStShellItem* o, TStShellItem* n)
{
    if (OnFileRename) OnFileRename(this, o, n);
}
void TStCustomShellNotification::DoFolderChange(TStShellItem* i)
{
    if (OnFolderChange) OnFolderChange(this, i);
}
void TStCustomShellNotification::DoFolderCreate(TStShellItem* i)
{
    if (OnFolderCreate) OnFolderCreate(this, i);
}
void TStCustomShellNotification::DoFolderDelete(TStShellItem* i)
{
    if (OnFolderDelete) OnFolderDelete(this, i);
}
void TStCustomShellNotification::DoFolderRename(TStShellItem* o, TStShellItem* n)
{
    if (OnFolderRename) OnFolderRename(this, o, n);
}
void TStCustomShellNotification::DoImageListChange()
{
    if (OnImageListChange) OnImageListChange(this);
}
void TStCustomShellNotification::DoMediaInsert(TStShellItem* i)
{
    if (OnMediaInsert) OnMediaInsert(this, i);
}
void TStCustomShellNotification::DoMediaRemove(TStShellItem* i)
{
    if (OnMediaRemove) OnMediaRemove(this, i);
}
void TStCustomShellNotification::DoNetShare(TStShellItem* i)
{
    if (OnNetShare) OnNetShare(this, i);
}
void TStCustomShellNotification::DoNetUnShare(TStShellItem* i)
{
    if (OnNetUnShare) OnNetUnShare(this, i);
}
void TStCustomShellNotification::DoServerDisconnect(TStShellItem* i)
{
    if (OnServerDisconnect) OnServerDisconnect(this, i);
}
void TStCustomShellNotification::DoShellDriveAdd(TStShellItem* i)
{
    if (OnShellDriveAdd) OnShellDriveAdd(this, i);
}
void TStCustomShellNotification::DoShellChangeNotify(TStShellItem* o, TStShellItem* n, TStNotifyEventsSet events)
{
    if (OnShellChangeNotify) OnShellChangeNotify(this, o, n, events);
}
