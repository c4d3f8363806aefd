#pragma once
#include <QString>

// A file's attributes in the desktop's terms, read through symbolic links: hidden (the name
// starts with "."), read-only (the owner may not write), system (neither a regular file nor a
// folder: a device, pipe or socket), directory. This platform has no archive attribute.
namespace FileAttributes {

enum : unsigned { ReadOnly = 0x1, Hidden = 0x2, System = 0x4, Directory = 0x10, Archive = 0x20 };

// Every bit set when the file can't be read (gone, or a link that leads nowhere).
inline constexpr unsigned Invalid = ~0u;

unsigned of(const QString& path);

}  // namespace FileAttributes
