#pragma once
#include "platform/settings/ProfileFile.h"

#include <QByteArray>

#include <functional>
#include <optional>

// The disk side of ProfileFile: every name is looked up relative to the location's folder.
// - The file itself may be a link of the user's own (or root's): it is read and written through,
//   and stays a link. A link of anyone else, a file of anyone else, or anything that is not a
//   regular file reads as missing and is never written.
// - A read-only file (no owner write bit) is not replaced: the write fails.
// - Nothing is created through a dangling link.
// - Writes hold a lock (the file's name + ".lock", beside it) from the read to the rename, so
//   two programs saving at once never lose each other's change; a temporary copy exists only
//   while its writer holds that lock.
namespace ProfileFile::Store {

// The file's bytes; empty when it is missing or refused.
QByteArray read(const Location& file);
bool exists(const Location& file);

// Under the lock: reads the file as it is, hands its bytes to `change`, and replaces the file
// atomically with what `change` returns (nothing: the file is left alone). Throws
// AppException("Unable to write to <file>") when the file can't be read whole or replaced.
void modify(const Location& file, const std::function<std::optional<QByteArray>(const QByteArray&)>& change);

void removeUnfinishedWrites(const Location& file);

// How long a write waits for another writer's lock before it fails.
constexpr int LockWaitMs = 3000;

}  // namespace ProfileFile::Store
