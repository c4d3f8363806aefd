#pragma once
#include "core/WatchEvents.h"

#include <QString>

// How a kind's event reads and what its program gets; the facts of each kind are its row in
// WatchEvents.

// What an event names: the event's item (for a rename the old one) and, for a rename, the new
// one. Give both the item's full path and its display name; the table picks what it uses.
struct EventItem {
    QString path;
    QString displayName;
};

// " Hidden", " ReadOnly", " SysFile", each with its blank, in that order, for a file's
// attributes as read now (through links); nothing for a file that can't be read.
QString AttributeWords(const QString& path);

// date-time + ": " + name + the kind's phrase and subject (+ " Attributes:" + words for a kind
// that tells them). A line break inside a name shows as "?", so one event stays one line.
QString EventText(EventKind kind, const QString& dateTime, const QString& name, const QString& watchFolder,
                  const EventItem& first, const EventItem& second = {}, const QString& attributeWords = {});

// The program's parameters for argument entry argumentIndex on an event of this kind: empty
// when the entry belongs to another kind (or is out of range). Names are escaped so that each
// reaches the program as exactly one word, quoted or bare, whatever characters it holds.
QString ArgumentFor(EventKind kind, int argumentIndex, const QString& watchFolder, const EventItem& first,
                    const EventItem& second = {});
