#pragma once
#include "core/Twatcher.h"
#include "notify/TStNotifyEvents.h"

#include <array>

// The twelve kinds of change a watch reacts to, in the order of the handlers' table.
enum class EventKind {
    FileCreate,
    FileDelete,
    FileChange,
    FileRename,
    AssociationChange,
    FolderCreate,
    FolderDelete,
    FolderRename,
    FolderChange,
    MediaInsert,
    MediaRemove,
    DriveSpaceChange,
};
constexpr int EventKindCount = 12;

// Everything the program ties to one kind of event: how it is stored, shown on the panel, kept
// in the record, asked of the notification component and chosen in the editor.
struct WatchEvent {
    EventKind kind;
    const char* key;           // the settings file's key ("1" = on)
    const char* abbreviation;  // on the panel's events line, with its "; "
    bool Twatcher::*member;    // the record's flag
    TStNotifyEvents notifyEvent;
    int editorBox;             // the editor's check box chkN
};

// One row per kind, in the order of the settings file, the panel's events line and the
// editor's boxes (which is not the handlers' order: free space comes sixth).
inline constexpr std::array<WatchEvent, EventKindCount> WatchEvents = {{
    {EventKind::FileCreate, "fcreate", "FC; ", &Twatcher::EventFileCreate, neFileCreate, 2},
    {EventKind::FileDelete, "fdelete", "FD; ", &Twatcher::EventFileDelete, neFileDelete, 3},
    {EventKind::FileChange, "fchange", "FCh; ", &Twatcher::EventFileChange, neFileChange, 4},
    {EventKind::FileRename, "frename", "FR; ", &Twatcher::EventFileRename, neFileRename, 5},
    {EventKind::AssociationChange, "asso", "Asso; ", &Twatcher::EventAssociationChange, neAssociationChange, 6},
    {EventKind::DriveSpaceChange, "space", "Spc; ", &Twatcher::EventFreeSpaceChange, neDriveSpaceChange, 7},
    {EventKind::FolderCreate, "dcreate", "DC; ", &Twatcher::EventFolderCreate, neFolderCreate, 8},
    {EventKind::FolderDelete, "ddelete", "DD; ", &Twatcher::EventFolderDelete, neFolderDelete, 9},
    {EventKind::FolderRename, "drename", "DR; ", &Twatcher::EventFolderRename, neFolderRename, 10},
    {EventKind::FolderChange, "dchange", "DCh; ", &Twatcher::EventFolderChange, neFolderUpdate, 11},
    {EventKind::MediaInsert, "minsert", "MIns; ", &Twatcher::EventMediaInsert, neMediaInsert, 12},
    {EventKind::MediaRemove, "mremove", "MRem; ", &Twatcher::EventMediaRemove, neMediaRemove, 13},
}};

// The row of a kind.
constexpr const WatchEvent& watchEvent(EventKind kind)
{
    for (const WatchEvent& e : WatchEvents)
        if (e.kind == kind) return e;
    return WatchEvents[0];  // unreachable: every kind has its row (checked below)
}

namespace WatchEventChecks {
constexpr bool everyKindOnce()
{
    for (int k = 0; k < EventKindCount; ++k) {
        int rows = 0;
        for (const WatchEvent& e : WatchEvents) rows += int(e.kind) == k;
        if (rows != 1) return false;
    }
    return true;
}
constexpr bool boxesAndEventsDistinct()
{
    for (size_t i = 0; i < WatchEvents.size(); ++i)
        for (size_t j = i + 1; j < WatchEvents.size(); ++j)
            if (WatchEvents[i].editorBox == WatchEvents[j].editorBox ||
                WatchEvents[i].notifyEvent == WatchEvents[j].notifyEvent || WatchEvents[i].member == WatchEvents[j].member)
                return false;
    return true;
}
static_assert(everyKindOnce(), "every event kind has exactly one row");
static_assert(boxesAndEventsDistinct(), "no two rows share a box, a notification event or a flag");
}  // namespace WatchEventChecks

// The notification events of the record's flags that are on.
TStNotifyEventsSet NotifyEventsOf(const Twatcher& w);
