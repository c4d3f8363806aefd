#pragma once
#include "core/Twatcher.h"
#include "notify/TStNotifyEvents.h"

#include <array>
#include <cstddef>
#include <span>

// The kinds of change a watch reacts to, one per row of WatchEvents below, in its order.
enum class EventKind {
    FileCreate,
    FileDelete,
    FileChange,
    FileRename,
    AssociationChange,
    DriveSpaceChange,
    FolderCreate,
    FolderDelete,
    FolderRename,
    FolderChange,
    MediaInsert,
    MediaRemove,
};

// What the event text and the argument name after the phrase.
enum class Subject {
    ItemPath,         // the (first) item's path
    ItemDisplayName,  // the item's display name (media)
    OldAndNewPath,    // old path " changed to: " new path
    WatchFolder,      // the watch's folder, never an item
};

// How an argument entry turns the event into the program's parameters.
enum class ArgumentForm {
    BarePath,    // the item's path, not quoted, yet one word: a name never adds arguments
    ItemPath,    // the item's path, quoted
    NewThenOld,  // new path quoted, one blank, old path quoted
    NewPath,
    OldPath,
    DisplayName,
    WatchFolder,
};

// An entry of the editor's argument list. Its index is its place in the list and what the
// settings file stores (`argindex`), so an entry keeps its index for good.
struct ArgumentChoice {
    int index = -1;  // -1: no entry
    const char* boxText = nullptr;
    ArgumentForm form = ArgumentForm::ItemPath;
};

// A place in the editor's grid of event boxes: four columns, rows from the top.
struct GridPlace {
    int column = 0;
    int row = 0;
};

// Everything the program ties to one kind of event.
struct EventKindInfo {
    EventKind kind;
    const char* name;          // the component event without "On", the key of the kind's handlers
    const char* key;           // the settings file's key ("1" = on)
    const char* abbreviation;  // on the panel's events line, with its "; "
    bool Twatcher::*member;    // the record's flag
    TStNotifyEvents notifyEvent;
    int box;                   // the editor's check box chkN
    const char* caption;
    const char* hint;
    GridPlace place;
    const char* phrase;        // follows ": " + the watch's name in the event text
    Subject subject;
    bool attributeWords;       // " Attributes:" and the file's attribute words end the text
    bool liveLogFirst;         // the red line comes before the desktop alert
    std::array<ArgumentChoice, 3> arguments;
};

// One row per kind, in the order of the settings file, the panel's events line and the editor's
// boxes (the argument list has an order of its own: its indexes).
inline constexpr EventKindInfo WatchEvents[] = {
    {EventKind::FileCreate, "FileCreate", "fcreate", "FC; ", &Twatcher::EventFileCreate, neFileCreate,
     2, "File create", "Watch for file create events", {0, 0},
     ": File create event, file name: ", Subject::ItemPath, false, false,
     {{{0, "File Create - file name", ArgumentForm::BarePath}}}},
    {EventKind::FileDelete, "FileDelete", "fdelete", "FD; ", &Twatcher::EventFileDelete, neFileDelete,
     3, "File delete", "Watch for file delete events", {0, 1},
     ": File delete event, file name: ", Subject::ItemPath, false, false,
     {{{1, "File delete -  file name", ArgumentForm::ItemPath}}}},
    {EventKind::FileChange, "FileChange", "fchange", "FCh; ", &Twatcher::EventFileChange, neFileChange,
     4, "File change", "Watch for permissions and attributes change events ", {0, 2},
     ": File change event, file name: ", Subject::ItemPath, true, false,
     {{{2, "File change - file name", ArgumentForm::ItemPath}}}},
    {EventKind::FileRename, "FileRename", "frename", "FR; ", &Twatcher::EventFileRename, neFileRename,
     5, "File rename", "Watch for file rename events", {1, 0},
     ": File rename event, file name: ", Subject::OldAndNewPath, false, false,
     {{{3, "File rename - new file name old file name", ArgumentForm::NewThenOld},
       {4, "File rename - new file name ", ArgumentForm::NewPath},
       {5, "File rename - old file name", ArgumentForm::OldPath}}}},
    {EventKind::AssociationChange, "AssociationChange", "asso", "Asso; ", &Twatcher::EventAssociationChange,
     neAssociationChange, 6, "Association change", "Watch for file association change events", {1, 1},
     ": Association change event at folde: ", Subject::WatchFolder, false, true,
     {{{6, "Association change - folder name", ArgumentForm::WatchFolder}}}},
    {EventKind::DriveSpaceChange, "DriveSpaceChange", "space", "Spc; ", &Twatcher::EventFreeSpaceChange,
     neDriveSpaceChange, 7, "Free space change", "Watch for free space change events", {1, 2},
     ": Folder Space change event, folder name: ", Subject::WatchFolder, false, true,
     {{{15, "Drive space changed - folder name", ArgumentForm::WatchFolder}}}},
    {EventKind::FolderCreate, "FolderCreate", "dcreate", "DC; ", &Twatcher::EventFolderCreate, neFolderCreate,
     8, "Folder create", "Watch for folder create events", {2, 0},
     ": Folder create event, folder name: ", Subject::ItemPath, false, false,
     {{{7, "Folder create - folder name", ArgumentForm::ItemPath}}}},
    {EventKind::FolderDelete, "FolderDelete", "ddelete", "DD; ", &Twatcher::EventFolderDelete, neFolderDelete,
     9, "Folder delete", "Watch for folder delete events", {2, 1},
     ": Folder delete event, folder name: ", Subject::ItemPath, false, false,
     {{{8, "Folder delete - folder name", ArgumentForm::ItemPath}}}},
    {EventKind::FolderRename, "FolderRename", "drename", "DR; ", &Twatcher::EventFolderRename, neFolderRename,
     10, "Folder rename", "Watch for folder rename events", {2, 2},
     ": Folder rename event, folder: ", Subject::OldAndNewPath, false, false,
     {{{9, "Folder rename - new folder old folder", ArgumentForm::NewThenOld},
       {10, "Folder rename - new folder name", ArgumentForm::NewPath},
       {11, "Folder rename - old folder name", ArgumentForm::OldPath}}}},
    {EventKind::FolderChange, "FolderChange", "dchange", "DCh; ", &Twatcher::EventFolderChange, neFolderUpdate,
     11, "Folder change", "Watch for Folder permissions change events or file changes inside the folder", {3, 0},
     ": Folder change event, folder name: ", Subject::ItemPath, false, false,
     {{{12, "Folder changed - folder name", ArgumentForm::ItemPath}}}},
    {EventKind::MediaInsert, "MediaInsert", "minsert", "MIns; ", &Twatcher::EventMediaInsert, neMediaInsert,
     12, "Media insert", "Watch for media insert events", {3, 1},
     ": Media Insert event, media name: ", Subject::ItemDisplayName, false, false,
     {{{13, "Media insert - media name", ArgumentForm::DisplayName}}}},
    {EventKind::MediaRemove, "MediaRemove", "mremove", "MRem; ", &Twatcher::EventMediaRemove, neMediaRemove,
     13, "Media remove", "Watch for media remove events", {3, 2},
     ": Media Remove event, media name: ", Subject::ItemDisplayName, false, false,
     {{{14, "Media remove - media name", ArgumentForm::DisplayName}}}},
};

constexpr int EventKindCount = int(std::size(WatchEvents));

constexpr std::span<const EventKindInfo> eventKinds() { return WatchEvents; }
constexpr const EventKindInfo& eventKindInfo(EventKind kind) { return WatchEvents[size_t(kind)]; }

// The row whose event box is chkN; a box no row has does not compile.
consteval size_t boxRow(int box)
{
    for (size_t i = 0; i < std::size(WatchEvents); ++i)
        if (WatchEvents[i].box == box) return i;
    throw "no row has this box";
}

// The editor's grid: as many rows as the table fills.
constexpr int GridRows = [] {
    int rows = 0;
    for (const EventKindInfo& e : WatchEvents) rows = e.place.row + 1 > rows ? e.place.row + 1 : rows;
    return rows;
}();
constexpr int GridColumns = 4;

// An entry of the argument list with the kind it belongs to.
struct ArgumentEntry {
    int index = -1;
    const char* boxText = nullptr;
    EventKind kind = EventKind::FileCreate;
    ArgumentForm form = ArgumentForm::ItemPath;
};

constexpr int ArgumentEntryCount = [] {
    int n = 0;
    for (const EventKindInfo& e : WatchEvents)
        for (const ArgumentChoice& a : e.arguments) n += a.index >= 0;
    return n;
}();

// The argument list, in index order, gathered from the rows.
inline constexpr std::array<ArgumentEntry, ArgumentEntryCount> ArgumentEntries = [] {
    std::array<ArgumentEntry, ArgumentEntryCount> list{};
    for (const EventKindInfo& e : WatchEvents)
        for (const ArgumentChoice& a : e.arguments)
            if (a.index >= 0 && a.index < ArgumentEntryCount) list[size_t(a.index)] = {a.index, a.boxText, e.kind, a.form};
    return list;
}();

constexpr std::span<const ArgumentEntry> argumentEntries() { return ArgumentEntries; }

// The wait for the changed file to be free only makes sense where the program gets its bare
// path: the entry that hands over a name to open.
constexpr bool ArgumentWaitsForFile(int index)
{
    return index >= 0 && index < ArgumentEntryCount && ArgumentEntries[size_t(index)].form == ArgumentForm::BarePath;
}

namespace WatchEventChecks {
constexpr bool rowsInKindOrder()
{
    for (int i = 0; i < EventKindCount; ++i)
        if (int(WatchEvents[i].kind) != i) return false;
    return true;
}
template <class T>
constexpr bool distinct(T EventKindInfo::*field)
{
    for (int i = 0; i < EventKindCount; ++i)
        for (int j = i + 1; j < EventKindCount; ++j)
            if (WatchEvents[i].*field == WatchEvents[j].*field) return false;
    return true;
}
constexpr bool sameText(const char* a, const char* b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}
constexpr bool distinctTexts(const char* EventKindInfo::*field)
{
    for (int i = 0; i < EventKindCount; ++i)
        for (int j = i + 1; j < EventKindCount; ++j)
            if (sameText(WatchEvents[i].*field, WatchEvents[j].*field)) return false;
    return true;
}
constexpr bool placesDistinctAndInTheGrid()
{
    for (int i = 0; i < EventKindCount; ++i) {
        const GridPlace p = WatchEvents[i].place;
        if (p.column < 0 || p.column >= GridColumns || p.row < 0) return false;
        for (int j = i + 1; j < EventKindCount; ++j)
            if (WatchEvents[j].place.column == p.column && WatchEvents[j].place.row == p.row) return false;
    }
    return true;
}
constexpr bool everyIndexOnce()
{
    for (int i = 0; i < ArgumentEntryCount; ++i)
        if (ArgumentEntries[size_t(i)].index != i || !ArgumentEntries[size_t(i)].boxText) return false;
    return true;
}
static_assert(rowsInKindOrder(), "a kind's row is found by its number");
static_assert(distinct(&EventKindInfo::member) && distinct(&EventKindInfo::notifyEvent) && distinct(&EventKindInfo::box),
              "no two rows share a flag, a notification event or a box");
static_assert(distinctTexts(&EventKindInfo::name) && distinctTexts(&EventKindInfo::key) &&
                  distinctTexts(&EventKindInfo::abbreviation) && distinctTexts(&EventKindInfo::caption),
              "no two rows share a handler key, a settings key, an abbreviation or a caption");
static_assert(placesDistinctAndInTheGrid(), "each box has a place of its own in the grid");
static_assert(everyIndexOnce(), "the argument entries are numbered from 0 without a gap");
}  // namespace WatchEventChecks

// The notification events of the record's flags that are on.
TStNotifyEventsSet NotifyEventsOf(const Twatcher& w);
