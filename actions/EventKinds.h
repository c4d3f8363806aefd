#pragma once
#include "core/WatchEvents.h"

#include <QString>

#include <span>

// What an event names: the event's item (for a rename the old one) and, for a rename, the new
// one. Give both the item's full path and its display name; the table picks what it uses.
struct EventItem {
    QString path;
    QString displayName;
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

// What the actions say of each kind; the rest of what a kind means is its row in WatchEvents.
struct EventKindInfo {
    EventKind kind;
    const char* name;    // the component event without "On": "FileCreate", "DriveSpaceChange"
    const char* phrase;  // follows ": " + the watch's name in the event text
    Subject subject;
    bool liveLogFirst;   // the red line comes before the desktop alert
};

// An entry of the editor's argument box; the event box it selects is its kind's `editorBox`.
struct ArgumentEntry {
    int index;
    const char* boxText;  // the entry's text in the editor's argument box
    EventKind kind;
    ArgumentForm form;
};

std::span<const EventKindInfo> eventKinds();      // twelve, in EventKind order
const EventKindInfo& eventKindInfo(EventKind kind);
std::span<const ArgumentEntry> argumentEntries(); // sixteen, in box order

// " Hidden", " ReadOnly", " SysFile", each with its blank, in that order, for a file's
// attributes as read now (through links); nothing for a file that can't be read.
QString AttributeWords(const QString& path);

// date-time + ": " + name + the kind's phrase and subject (+ " Attributes:" + words for a file
// change). A line break inside a name shows as "?", so one event stays one line.
QString EventText(EventKind kind, const QString& dateTime, const QString& name, const QString& watchFolder,
                  const EventItem& first, const EventItem& second = {}, const QString& attributeWords = {});

// The program's parameters for argument entry argumentIndex on an event of this kind: empty
// when the entry belongs to another kind (or is out of range). Names are escaped so that each
// reaches the program as exactly one word, quoted or bare, whatever characters it holds.
QString ArgumentFor(EventKind kind, int argumentIndex, const QString& watchFolder, const EventItem& first,
                    const EventItem& second = {});
