#pragma once
#include <QString>

// Whether a file is held open by some other program, the counterpart of a failed exclusive
// open: the file can't be opened for reading and writing, or a write lease can't be taken on
// it (a lease is granted only while nobody else has the file open).
namespace FileInUse {

// False when no such file exists (a link counts as its target; a folder or a device is no file).
bool isInUse(const QString& fileName);

// Looks through the open descriptors of every process we may inspect for another holder of the
// file; used where leases are refused (not the file's owner, a file system without leases).
bool openElsewhere(const QString& fileName);

}  // namespace FileInUse
