#pragma once
#include "notify/TSsComponent.h"
#include "notify/TStNotifyEvents.h"
#include "notify/TStShellItem.h"
#include "notify/TStSpecialRootFolder.h"
#include "platform/shell/ItemIdList.h"

#include <QString>
#include <QSet>
#include <QStringList>

#include <deque>
#include <exception>
#include <functional>
#include <memory>

using TObject = QObject;
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TStShellNotifyEvent1 = std::function<void(TObject* Sender, TStShellItem* ShellItem)>;
using TStShellNotifyEvent2 = std::function<void(TObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem)>;
using TStShellNotifyEvent3 =
    std::function<void(TObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem, TStNotifyEventsSet Events)>;
using TStShellNotifyEvent4 = std::function<void(TObject* Sender, quint32 Drive)>;

// A notice received and not yet raised: the component's own copies of its lists and the
// shell's event mask, unchanged.
struct TStNotificationItem {
    ItemIdList Pidl1;
    ItemIdList Pidl2;
    quint32 EventMask = 0;
};

// The queue of notices: the queue owns its entries.
using TStDQue = std::deque<std::unique_ptr<TStNotificationItem>>;

class TStNotifyWindow;
class TStCustomShellController;

// Watches one place of the shell namespace (a folder, with or without its sub-folders) and
// turns the change notices of the shell into typed events, each raised with the shell items the
// notice names. Notices are copied into a first-in first-out queue as they come and raised later
// from a posted event, so handlers may take their time, show modal boxes or run nested event
// loops without losing notices; queued notices are raised in the order received.
//
// Handlers are called only when assigned, with the component as Sender. The items handed to
// them belong to the component and live for the call only.
//
// A handler that throws does not stop the component: the error goes to OnError (the error box
// when it is not assigned), the items are destroyed as always, the rest of that notice's events
// (OnShellChangeNotify included) are still raised, and the next notice follows.
class TStCustomShellNotification : public TSsComponent {
    Q_OBJECT
public:
    explicit TStCustomShellNotification(QObject* owner = nullptr);
    ~TStCustomShellNotification() override;

    bool Active() const { return FActive; }
    void SetActive(bool value);
    TStNotifyEventsSet NotifyEvents() const { return FNotifyEvents; }
    void SetNotifyEvents(TStNotifyEventsSet value);
    TStSpecialRootFolder SpecialWatchFolder() const { return FSpecialWatchFolder; }
    void SetSpecialWatchFolder(TStSpecialRootFolder value);
    const QString& WatchFolder() const { return FWatchFolder; }
    void SetWatchFolder(const QString& value);
    bool WatchSubFolders() const { return FWatchSubFolders; }
    void SetWatchSubFolders(bool value);
    // The component keeps its own copy of the list it is given.
    const ItemIdList& WatchPidl() const { return FWatchPidl; }
    void SetWatchPidl(const ItemIdList& value);
    void SetMaxNotifications(qint32 value) { FMaxNotifications = value; }

    // A registration with the shell is in force; its id (0 when none); notices waiting.
    bool IsRegistered() const { return Registered; }
    // WatchWarning names what could not be watched (its folder and, with WatchSubFolders, every
    // folder below it, walked off the main thread after the registration is made), empty when
    // everything is; RefusalReason tells why the last registration was refused (a folder that
    // cannot be read, the system's watch limit, a folder that is gone), empty when it was not.
    const QString& WatchWarning() const { return FWatchWarning; }
    const QString& RefusalReason() const { return FRefusal; }
    // Keeps the window's events flowing until the registration's folders are watched; false
    // when it was refused, ended or renewed meanwhile, or when `giveUp` says so (looked at
    // every 100 ms).
    bool WaitUntilWatching(const std::function<bool()>& giveUp = {});
    // A component without a watched list hears of the folders it follows and their direct
    // children (the folder tree follows the folders it shows). Kept across renewals.
    void FollowFolder(const QString& path);
    void UnfollowFolder(const QString& path);
    // A followed folder is watched now; what changed in it before was not heard.
    std::function<void(TObject* Sender, const QString& Folder)> OnFolderFollowed;
    // Folders asked to be followed whose watch is not in place yet.
    int FollowsUnderWay() const { return int(FFollowing.size()); }
    quint32 NotifyHandle() const { return HNotify; }
    int QueueCount() const { return int(EventQueue.size()); }
    QObject* Handle() const;

    // The events, in alphabetical order.
    TNotifyEvent OnAssociationChange;
    TStShellNotifyEvent2 OnAttributeChange;
    TStShellNotifyEvent1 OnDriveAdd;
    TStShellNotifyEvent1 OnDriveRemove;
    TStShellNotifyEvent4 OnDriveSpaceChange;
    TStShellNotifyEvent1 OnFileChange;
    TStShellNotifyEvent1 OnFileCreate;
    TStShellNotifyEvent2 OnFileDelete;
    TStShellNotifyEvent2 OnFileRename;
    TStShellNotifyEvent1 OnFolderChange;
    TStShellNotifyEvent1 OnFolderCreate;
    TStShellNotifyEvent1 OnFolderDelete;
    TStShellNotifyEvent2 OnFolderRename;
    TNotifyEvent OnImageListChange;
    TStShellNotifyEvent1 OnMediaInsert;
    TStShellNotifyEvent1 OnMediaRemove;
    TStShellNotifyEvent1 OnNetShare;
    TStShellNotifyEvent1 OnNetUnShare;
    TStShellNotifyEvent1 OnServerDisconnect;
    TStShellNotifyEvent3 OnShellChangeNotify;
    TStShellNotifyEvent1 OnShellDriveAdd;

    // Where failures go: a handler that threw, or something the notification service could not
    // do (such as the system's limit on watched folders). When not assigned, the application's
    // error box shows the text.
    std::function<void(TObject* Sender, const QString& Message)> OnError;
    // Where the notification service's own failures go (such as the limit on watched folders);
    // OnError when not assigned.
    std::function<void(TObject* Sender, const QString& Message)> OnServiceError;
    // How the service covers what the kernel cannot tell (folders it polls), said once.
    std::function<void(TObject* Sender, const QString& Message)> OnServiceNote;
    // The system's queue of changes overflowed and every folder was compared: raised once per
    // overflow, after the events of the changes the comparison found (`ChangesFound` of them).
    std::function<void(TObject* Sender, int ChangesFound)> OnQueueOverflow;

signals:
    // The registration's folders are watched, or it was refused or has ended.
    void registrationSettled();

protected:
    virtual void DoAssociationChange();
    virtual void DoAttributeChange(TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    virtual void DoDriveAdd(TStShellItem* ShellItem);
    virtual void DoDriveRemove(TStShellItem* ShellItem);
    virtual void DoDriveSpaceChange(quint32 Drive);
    virtual void DoFileChange(TStShellItem* ShellItem);
    virtual void DoFileCreate(TStShellItem* ShellItem);
    virtual void DoFileDelete(TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    virtual void DoFileRename(TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    virtual void DoFolderChange(TStShellItem* ShellItem);
    virtual void DoFolderCreate(TStShellItem* ShellItem);
    virtual void DoFolderDelete(TStShellItem* ShellItem);
    virtual void DoFolderRename(TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    virtual void DoImageListChange();
    virtual void DoMediaInsert(TStShellItem* ShellItem);
    virtual void DoMediaRemove(TStShellItem* ShellItem);
    virtual void DoNetShare(TStShellItem* ShellItem);
    virtual void DoNetUnShare(TStShellItem* ShellItem);
    virtual void DoServerDisconnect(TStShellItem* ShellItem);
    virtual void DoShellDriveAdd(TStShellItem* ShellItem);
    virtual void DoShellChangeNotify(TStShellItem* OldShellItem, TStShellItem* NewShellItem, TStNotifyEventsSet Events);

private:
    friend class TStNotifyWindow;

    void RegisterShellNotify();
    void UnregisterShellNotify();
    // The hidden window's two messages: a notice from the shell (true when it is the first one
    // queued, so that the window posts itself the dispatch), and the dispatch (true when
    // notices are left for another turn, posted likewise).
    bool ShellNotice(const ItemIdList* pidl1, const ItemIdList* pidl2, quint32 mask);
    bool DispatchQueue();
    // Raises the events of one notice; false when the component was destroyed by a handler.
    bool DispatchNotice(const TStNotificationItem& notice);
    // Runs one event; a failure is reported and the dispatch goes on.
    bool Raise(const std::function<void()>& event);
    void ReportError(const QString& message);

    bool FActive = false;
    qint32 FMaxNotifications = 0;
    TStNotifyEventsSet FNotifyEvents = TStNotifyEventsSet::All();
    double FShellVersion = 0;
    TStSpecialRootFolder FSpecialWatchFolder = sfNone;
    QString FWatchFolder;
    ItemIdList FWatchPidl;
    bool FWatchSubFolders = false;
    std::unique_ptr<TStNotifyWindow> FHandle;
    bool Registered = false;
    quint32 HNotify = 0;
    bool FWatching = false;
    QString FWatchWarning;
    QString FRefusal;
    QStringList FFollowed;
    QSet<QString> FFollowing;
    TStNotifyEventsSet Events;
    TStDQue EventQueue;
    // Overflows told while notices were queued: raised once the notices before them are.
    struct PendingOverflow {
        quint64 after;  // the count of raised notices it waits for
        int found;
    };
    std::deque<PendingOverflow> FOverflows;
    quint64 FRaised = 0;
    void QueueOverflow(int found);
    // Lent to the items of each notice: one controller made for every item cost as much as the
    // rest of the item.
    std::unique_ptr<TStCustomShellController> FItemController;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
