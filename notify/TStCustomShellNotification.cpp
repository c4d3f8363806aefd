// Raising the notices: the queue, the order in which a notice's events are raised, and what
// happens when a handler fails.
#include "notify/TStCustomShellNotification.h"

#include "notify/TStCustomShellController.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/boxes/AppException.h"
#include "platform/boxes/ModalBoxes.h"

#include <QElapsedTimer>

namespace {

constexpr qint64 kDispatchTurnMs = 10;  // longest stretch of handlers without a look at the window

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

bool TStCustomShellNotification::ShellNotice(const ItemIdList* pidl1, const ItemIdList* pidl2, quint32 mask)
{
    if (FMaxNotifications != 0 && FMaxNotifications < qint32(EventQueue.size())) return false;
    if (mask & SHCNE_ATTRIBUTES) {
        // Raised at once, with an empty item for an absent list. It may come in the middle of
        // another notice's events (a handler running an event loop): that notice's set of
        // events is kept for it.
        const TStNotifyEventsSet outer = Events;
        Events = {};
        const auto first = TStShellItem::CreateFromPidl(pidl1 ? *pidl1 : ItemIdList());
        const auto second = TStShellItem::CreateFromPidl(pidl2 ? *pidl2 : ItemIdList());
        Events = {neAttributesChange};
        if (!Raise([&] { DoAttributeChange(first.get(), second.get()); })) return false;
        if (!Raise([&] { DoShellChangeNotify(first.get(), second.get(), Events); })) return false;
        Events = outer;
        return false;
    }
    auto entry = std::make_unique<TStNotificationItem>();
    if (pidl1) entry->Pidl1 = pidl1->clone();
    if (pidl2) entry->Pidl2 = pidl2->clone();
    entry->EventMask = mask;
    EventQueue.push_back(std::move(entry));
    return EventQueue.size() == 1;
}

void TStCustomShellNotification::QueueOverflow(int found)
{
    if (EventQueue.empty() && FOverflows.empty()) {
        if (OnQueueOverflow) OnQueueOverflow(this, found);
        return;
    }
    FOverflows.push_back({FRaised + EventQueue.size(), found});
}

bool TStCustomShellNotification::DispatchQueue()
{
    // The head stays in the queue while its events run, so notices that arrive meanwhile (a
    // handler running an event loop) are appended and raised by this same loop, in order.
    // A long run is cut into turns, so that the window paints and answers in between.
    QElapsedTimer turn;
    turn.start();
    while (!EventQueue.empty()) {
        if (!DispatchNotice(*EventQueue.front())) return false;  // a handler destroyed the component
        EventQueue.pop_front();
        ++FRaised;
        while (!FOverflows.empty() && FOverflows.front().after <= FRaised) {
            const int found = FOverflows.front().found;
            FOverflows.pop_front();
            const std::shared_ptr<bool> alive = FAlive;
            if (OnQueueOverflow) OnQueueOverflow(this, found);
            if (!*alive) return false;
        }
        if (!EventQueue.empty() && turn.hasExpired(kDispatchTurnMs)) return true;
    }
    return false;
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
    for (const TStNotifyEventBit& row : kNotifyEventBits) {
        // An attribute change never waits in the queue.
        if (!(mask & row.bit) || row.member == neAttributesChange) continue;
        Events.Include(row.member);
        const bool alive = Raise([&] {
            switch (row.member) {
            case neAssociationChange: DoAssociationChange(); break;
            case neFileChange: DoFileChange(a); break;
            case neFileCreate: DoFileCreate(a); break;
            case neFileDelete: DoFileDelete(a, b); break;
            case neFileRename: DoFileRename(a, b); break;
            case neDriveAdd: DoDriveAdd(a); break;
            case neDriveRemove: DoDriveRemove(a); break;
            case neShellDriveAdd: DoShellDriveAdd(a); break;
            case neMediaInsert:
                if (a) a->RefreshForMedia();
                DoMediaInsert(a);
                break;
            case neMediaRemove:
                if (a) a->RefreshForMedia();
                DoMediaRemove(a);
                break;
            case neFolderCreate: DoFolderCreate(a); break;
            case neFolderDelete: DoFolderDelete(a); break;
            case neFolderRename: DoFolderRename(a, b); break;
            case neFolderUpdate: DoFolderChange(a); break;
            case neNetShare: DoNetShare(a); break;
            case neNetUnShare: DoNetUnShare(a); break;
            case neServerDisconnect: DoServerDisconnect(a); break;
            case neImageListChange: DoImageListChange(); break;
            case neDriveSpaceChange: DoDriveSpaceChange(drive); break;
            case neAttributesChange: break;
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
