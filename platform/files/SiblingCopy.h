#pragma once
#include <QByteArray>

// What an atomic replacement needs: a fresh name beside the target for the copy, and a write
// that puts all of it down or says it could not.
namespace SiblingCopy {

// The suffix every such copy carries, so that leftovers of a crash can be found again.
inline const QByteArray Mark(".saving-");

// `name` + Mark + six random letters or digits.
QByteArray name(const QByteArray& target);

// Writes all of `content` to `fd`, going on after interruptions; false on any failure.
bool writeAll(int fd, const QByteArray& content);

}  // namespace SiblingCopy
