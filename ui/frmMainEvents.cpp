// The 48 event handlers: each slot's twelve monitor events, bound to one handler family.
#include "actions/EventHandlerFamily.h"
#include "core/WatchSlots.h"
#include "notify/TStShellItem.h"
#include "notify/TStShellNotification.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/text/LocaleText.h"
#include "ui/frmMain.h"

namespace {

EventItem itemOf(const TStShellItem* item)
{
    return item ? EventItem{item->Path(), item->DisplayName()} : EventItem{};
}

// One slot's handlers, in the order of the monitor's events they serve.
struct SlotHandlers {
    TStShellNotification* TForm1::*monitor;
    void (TForm1::*AssociationChange)(QObject*);
    void (TForm1::*DriveSpaceChange)(QObject*, quint32);
    void (TForm1::*FileChange)(QObject*, TStShellItem*);
    void (TForm1::*FileCreate)(QObject*, TStShellItem*);
    void (TForm1::*FileDelete)(QObject*, TStShellItem*, TStShellItem*);
    void (TForm1::*FileRename)(QObject*, TStShellItem*, TStShellItem*);
    void (TForm1::*FolderChange)(QObject*, TStShellItem*);
    void (TForm1::*FolderCreate)(QObject*, TStShellItem*);
    void (TForm1::*FolderDelete)(QObject*, TStShellItem*);
    void (TForm1::*FolderRename)(QObject*, TStShellItem*, TStShellItem*);
    void (TForm1::*MediaInsert)(QObject*, TStShellItem*);
    void (TForm1::*MediaRemove)(QObject*, TStShellItem*);
};

#define VESMOR_SLOT_HANDLERS(n)                                                                             \
    SlotHandlers                                                                                             \
    {                                                                                                        \
        &TForm1::ShNotify##n, &TForm1::ShNotify##n##AssociationChange, &TForm1::ShNotify##n##DriveSpaceChange, \
            &TForm1::ShNotify##n##FileChange, &TForm1::ShNotify##n##FileCreate, &TForm1::ShNotify##n##FileDelete, \
            &TForm1::ShNotify##n##FileRename, &TForm1::ShNotify##n##FolderChange,                             \
            &TForm1::ShNotify##n##FolderCreate, &TForm1::ShNotify##n##FolderDelete,                           \
            &TForm1::ShNotify##n##FolderRename, &TForm1::ShNotify##n##MediaInsert, &TForm1::ShNotify##n##MediaRemove \
    }

const SlotHandlers Slots[] = {VESMOR_SLOT_HANDLERS(1), VESMOR_SLOT_HANDLERS(2), VESMOR_SLOT_HANDLERS(3),
                              VESMOR_SLOT_HANDLERS(4)};

}  // namespace

void TForm1::onEvent(int slot, EventKind kind, TStShellItem* first, TStShellItem* second)
{
    TRzLauncher* launchers[] = {rzlnchr1, rzlnchr2, rzlnchr3, rzlnchr4};
    HandleShellEvent(*this, *this, WatchSlot(slot), *launchers[slot - 1], kind, itemOf(first), itemOf(second));
}

void TForm1::connectEventHandlers()
{
    for (const SlotHandlers& h : Slots) {
        TStShellNotification* m = this->*h.monitor;
        // A folder the system can no longer watch is reported in the live log; the rest of the
        // watch keeps working.
        // What the service says of a watch goes to the live log under the watch's name.
        auto serviceLine = [this](const QColor& colour) {
            return [this, colour](QObject* sender, const QString& message) {
                QString name;
                for (const Twatcher& w : Watchers)
                    if (w.Monitor == sender) name = w.Name;
                WriteToLiveLog(colour, DateTimeStamp::now() + QStringLiteral(": ") + name + QStringLiteral(": ") + message);
            };
        };
        m->OnServiceError = serviceLine(LiveLogColour::Red);
        // Folders that are polled (a network or FUSE file system, the watch limit) are news.
        m->OnServiceNote = serviceLine(LiveLogColour::Blue);
        // Nothing is lost in an overflow, but the user learns that it happened and what the
        // comparison after it found.
        m->OnQueueOverflow = [this](QObject* sender, int found) {
            QString name;
            for (const Twatcher& w : Watchers)
                if (w.Monitor == sender) name = w.Name;
            WriteToLiveLog(LiveLogColour::Blue,
                           LocaleText::oneLine(DateTimeStamp::now() + QStringLiteral(": Watch ") + name +
                                               QStringLiteral(": the kernel's queue of changes overflowed; comparing the "
                                                              "folders found %1").arg(found == 1 ? QStringLiteral("1 change")
                                                                                                 : QStringLiteral("%1 changes").arg(found))));
        };
        m->OnAssociationChange = [this, h](QObject* s) { (this->*h.AssociationChange)(s); };
        m->OnDriveSpaceChange = [this, h](QObject* s, quint32 d) { (this->*h.DriveSpaceChange)(s, d); };
        m->OnFileChange = [this, h](QObject* s, TStShellItem* i) { (this->*h.FileChange)(s, i); };
        m->OnFileCreate = [this, h](QObject* s, TStShellItem* i) { (this->*h.FileCreate)(s, i); };
        m->OnFileDelete = [this, h](QObject* s, TStShellItem* a, TStShellItem* b) { (this->*h.FileDelete)(s, a, b); };
        m->OnFileRename = [this, h](QObject* s, TStShellItem* a, TStShellItem* b) { (this->*h.FileRename)(s, a, b); };
        m->OnFolderChange = [this, h](QObject* s, TStShellItem* i) { (this->*h.FolderChange)(s, i); };
        m->OnFolderCreate = [this, h](QObject* s, TStShellItem* i) { (this->*h.FolderCreate)(s, i); };
        m->OnFolderDelete = [this, h](QObject* s, TStShellItem* i) { (this->*h.FolderDelete)(s, i); };
        m->OnFolderRename = [this, h](QObject* s, TStShellItem* a, TStShellItem* b) { (this->*h.FolderRename)(s, a, b); };
        m->OnMediaInsert = [this, h](QObject* s, TStShellItem* i) { (this->*h.MediaInsert)(s, i); };
        m->OnMediaRemove = [this, h](QObject* s, TStShellItem* i) { (this->*h.MediaRemove)(s, i); };
    }
}

void TForm1::ShNotify1FileCreate(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::FileCreate, ShellItem); }
void TForm1::ShNotify1FileDelete(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(1, EventKind::FileDelete, OldShellItem, NewShellItem); }
void TForm1::ShNotify1FileChange(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::FileChange, ShellItem); }
void TForm1::ShNotify1FileRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(1, EventKind::FileRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify1AssociationChange(QObject*) { onEvent(1, EventKind::AssociationChange); }
void TForm1::ShNotify1FolderCreate(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::FolderCreate, ShellItem); }
void TForm1::ShNotify1FolderDelete(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::FolderDelete, ShellItem); }
void TForm1::ShNotify1FolderRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(1, EventKind::FolderRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify1FolderChange(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::FolderChange, ShellItem); }
void TForm1::ShNotify1MediaInsert(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::MediaInsert, ShellItem); }
void TForm1::ShNotify1MediaRemove(QObject*, TStShellItem* ShellItem) { onEvent(1, EventKind::MediaRemove, ShellItem); }
void TForm1::ShNotify1DriveSpaceChange(QObject*, quint32) { onEvent(1, EventKind::DriveSpaceChange); }

void TForm1::ShNotify2FileCreate(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::FileCreate, ShellItem); }
void TForm1::ShNotify2FileDelete(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(2, EventKind::FileDelete, OldShellItem, NewShellItem); }
void TForm1::ShNotify2FileChange(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::FileChange, ShellItem); }
void TForm1::ShNotify2FileRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(2, EventKind::FileRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify2AssociationChange(QObject*) { onEvent(2, EventKind::AssociationChange); }
void TForm1::ShNotify2FolderCreate(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::FolderCreate, ShellItem); }
void TForm1::ShNotify2FolderDelete(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::FolderDelete, ShellItem); }
void TForm1::ShNotify2FolderRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(2, EventKind::FolderRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify2FolderChange(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::FolderChange, ShellItem); }
void TForm1::ShNotify2MediaInsert(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::MediaInsert, ShellItem); }
void TForm1::ShNotify2MediaRemove(QObject*, TStShellItem* ShellItem) { onEvent(2, EventKind::MediaRemove, ShellItem); }
void TForm1::ShNotify2DriveSpaceChange(QObject*, quint32) { onEvent(2, EventKind::DriveSpaceChange); }

void TForm1::ShNotify3FileCreate(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::FileCreate, ShellItem); }
void TForm1::ShNotify3FileDelete(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(3, EventKind::FileDelete, OldShellItem, NewShellItem); }
void TForm1::ShNotify3FileChange(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::FileChange, ShellItem); }
void TForm1::ShNotify3FileRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(3, EventKind::FileRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify3AssociationChange(QObject*) { onEvent(3, EventKind::AssociationChange); }
void TForm1::ShNotify3FolderCreate(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::FolderCreate, ShellItem); }
void TForm1::ShNotify3FolderDelete(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::FolderDelete, ShellItem); }
void TForm1::ShNotify3FolderRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(3, EventKind::FolderRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify3FolderChange(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::FolderChange, ShellItem); }
void TForm1::ShNotify3MediaInsert(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::MediaInsert, ShellItem); }
void TForm1::ShNotify3MediaRemove(QObject*, TStShellItem* ShellItem) { onEvent(3, EventKind::MediaRemove, ShellItem); }
void TForm1::ShNotify3DriveSpaceChange(QObject*, quint32) { onEvent(3, EventKind::DriveSpaceChange); }

void TForm1::ShNotify4FileCreate(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::FileCreate, ShellItem); }
void TForm1::ShNotify4FileDelete(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(4, EventKind::FileDelete, OldShellItem, NewShellItem); }
void TForm1::ShNotify4FileChange(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::FileChange, ShellItem); }
void TForm1::ShNotify4FileRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(4, EventKind::FileRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify4AssociationChange(QObject*) { onEvent(4, EventKind::AssociationChange); }
void TForm1::ShNotify4FolderCreate(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::FolderCreate, ShellItem); }
void TForm1::ShNotify4FolderDelete(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::FolderDelete, ShellItem); }
void TForm1::ShNotify4FolderRename(QObject*, TStShellItem* OldShellItem, TStShellItem* NewShellItem) { onEvent(4, EventKind::FolderRename, OldShellItem, NewShellItem); }
void TForm1::ShNotify4FolderChange(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::FolderChange, ShellItem); }
void TForm1::ShNotify4MediaInsert(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::MediaInsert, ShellItem); }
void TForm1::ShNotify4MediaRemove(QObject*, TStShellItem* ShellItem) { onEvent(4, EventKind::MediaRemove, ShellItem); }
void TForm1::ShNotify4DriveSpaceChange(QObject*, quint32) { onEvent(4, EventKind::DriveSpaceChange); }
