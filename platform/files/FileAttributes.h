#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

// A file's attributes in the desktop's terms, read through symbolic links: hidden (the name
// starts with "."), read-only (the owner may not write), system (neither a regular file nor a
// folder: a device, pipe or socket), directory. This platform has no archive attribute.
namespace FileAttributes {

enum : unsigned { ReadOnly = 0x1, Hidden = 0x2, System = 0x4, Directory = 0x10, Archive = 0x20 };

// Every bit set when the file can't be read (gone, or a link that leads nowhere).
inline constexpr unsigned Invalid = ~0u;

unsigned of(const QString& path);

// Size, time and kind of what a path's exact bytes name: followed when it leads somewhere, the
// link itself when it leads nowhere.
struct Details {
    bool exists = false;
    bool isFolder = false;
    qint64 size = 0;
    QDateTime modified;  // to the millisecond
};
Details detailsOf(const QByteArray& path);
// The size of a link itself (its target text), 0 when it can't be looked at.
qint64 linkSize(const QByteArray& path);

}  // namespace FileAttributes
