// The component's life and properties, its registration with the notification service, the
// folders it follows, and the hidden window through which the service speaks to it.
#include "notify/TStCustomShellNotification.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/shell/ShellNamespace.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace {

// The hidden window's own message: posted to raise the queued notices.
constexpr int WM_USER = 0x400;
constexpr int kDispatchMessage = WM_USER + 2;
const QEvent::Type kDispatchEvent = QEvent::Type(QEvent::User + kDispatchMessage);

}  // namespace

// The component's hidden window: receives the service's notices and its own posted dispatch.
class TStNotifyWindow : public QObject, public ShellNoticeWindow {
public:
    explicit TStNotifyWindow(TStCustomShellNotification* owner) : owner_(owner) {}

    void shellNotice(const ItemIdList* first, const ItemIdList* second, quint32 mask) override
    {
        if (owner_->ShellNotice(first, second, mask)) postDispatch();
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
        if (e->type() != kDispatchEvent) return QObject::event(e);
        // Nothing of this window is touched after a dispatch that ended the component (and so
        // this window): only one that leaves notices for later asks for another turn.
        if (owner_->DispatchQueue()) postDispatch();
        return true;
    }

private:
    // Destroying the window drops a dispatch still posted: queued notices then go unraised.
    void postDispatch() { QCoreApplication::postEvent(this, new QEvent(kDispatchEvent)); }

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
