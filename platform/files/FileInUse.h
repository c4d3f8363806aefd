#pragma once
#include <QString>

// Whether a file is held open by some other program, the counterpart of a failed exclusive
// open: the file can't be opened for reading and writing, or a write lease can't be taken on
// it (a lease is granted only while nobody else has the file open). A file this user can't open
// for writing (read-only, another user's) is in use only while someone has it open for writing:
// otherwise it would be "in use" for as long as it exists.
namespace FileInUse {

// False when no such file exists (a link is judged as itself and is never in use; a folder or a
// device is no file).
// May look through every process's open files, for at most ScanLimitMs.
bool isInUse(const QString& fileName);

enum class Holders { Any, Writers };

// Looks through the open descriptors of every process we may inspect for another holder of the
// file (Writers: one that has it open for writing); used where leases are refused (not the
// file's owner, a file system without leases). Gives up after ScanLimitMs, answering false.
bool openElsewhere(const QString& fileName, Holders holders = Holders::Any);

constexpr int ScanLimitMs = 2000;

}  // namespace FileInUse
