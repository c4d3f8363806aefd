// The event handlers: each slot's monitor events, one handler family bound per slot and kind.
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

// A kind's handlers: the component's event and the handler of each slot it calls.
struct KindHandlers {
    const char* key;
    std::function<void(TForm1& form, TStShellNotification& monitor, int slot)> bind;
};

template <class... Args>
KindHandlers handlers(const char* key, std::function<void(QObject*, Args...)> TStCustomShellNotification::*event,
                      std::array<void (TForm1::*)(QObject*, Args...), 4> slotHandlers)
{
    return {key, [event, slotHandlers](TForm1& form, TStShellNotification& monitor, int slot) {
                monitor.*event = [&form, h = slotHandlers[size_t(slot - 1)]](QObject* s, Args... a) { (form.*h)(s, a...); };
            }};
}

#define VESMOR_HANDLERS(Kind)                                                                                   \
    handlers(#Kind, &TStCustomShellNotification::On##Kind,                                                      \
             {&TForm1::ShNotify1##Kind, &TForm1::ShNotify2##Kind, &TForm1::ShNotify3##Kind, &TForm1::ShNotify4##Kind})

// One line per kind, found by the key of the kind's row in WatchEvents.
const KindHandlers Handlers[] = {
    VESMOR_HANDLERS(FileCreate),
    VESMOR_HANDLERS(FileDelete),
    VESMOR_HANDLERS(FileChange),
    VESMOR_HANDLERS(FileRename),
    VESMOR_HANDLERS(AssociationChange),
    VESMOR_HANDLERS(DriveSpaceChange),
    VESMOR_HANDLERS(FolderCreate),
    VESMOR_HANDLERS(FolderDelete),
    VESMOR_HANDLERS(FolderRename),
    VESMOR_HANDLERS(FolderChange),
    VESMOR_HANDLERS(MediaInsert),
    VESMOR_HANDLERS(MediaRemove),
};

const KindHandlers& handlersOf(const EventKindInfo& kind)
{
    for (const KindHandlers& h : Handlers)
        if (qstrcmp(h.key, kind.name) == 0) return h;
    // A kind without handlers would never be heard: better no window at all.
    qFatal("no handlers for the event kind %s", kind.name);
}

}  // namespace

void TForm1::onEvent(int slot, EventKind kind, TStShellItem* first, TStShellItem* second)
{
    TRzLauncher* launchers[] = {rzlnchr1, rzlnchr2, rzlnchr3, rzlnchr4};
    HandleShellEvent(*this, *this, WatchSlot(slot), *launchers[slot - 1], kind, itemOf(first), itemOf(second));
}

void TForm1::connectEventHandlers()
{
    TStShellNotification* monitors[] = {ShNotify1, ShNotify2, ShNotify3, ShNotify4};
    for (int n = 1; n <= 4; ++n) {
        TStShellNotification* m = monitors[n - 1];
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
        for (const EventKindInfo& kind : WatchEvents) handlersOf(kind).bind(*this, *m, n);
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
