#pragma once
#include <QByteArray>
#include <QString>
#include <QStringView>

// Linux names are bytes, not text: a name need not be valid UTF-8 (Latin-1 names written by
// older programs, names copied from other systems). Paths stay QStrings throughout the program,
// and every byte that is not part of valid UTF-8 rides inside one as the lone surrogate
// U+DC80 + (byte - 0x80), as Python's "surrogateescape" does. Valid UTF-8 decodes as usual, so
// ordinary names look exactly as before.
//
// Every place that hands a path to the system turns it into its bytes with `encode`; every
// name read from the system comes in through `decode`; `encode(decode(b)) == b` for any bytes.
// Text meant for people goes through `forDisplay`.
namespace PathBytes {

QByteArray encode(QStringView path);
QString decode(const char* bytes, qsizetype size);
inline QString decode(const QByteArray& bytes) { return decode(bytes.constData(), bytes.size()); }

// Whether a path carries bytes that are not UTF-8.
bool hasRawBytes(QStringView path);

// The text shown for a path: each byte that is not UTF-8 becomes the replacement character.
QString forDisplay(const QString& text);

}  // namespace PathBytes
