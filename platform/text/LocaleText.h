#pragma once
#include <QByteArray>
#include <QString>

// Text files in the locale's character set (the plain C/POSIX locale counts as UTF-8); a
// character the set can't encode becomes "?", and so does half a surrogate pair (a byte of a
// name that was no character).
namespace LocaleText {

QByteArray encode(const QString& text);

// One line of the live log or a log file. A character that ends a line or a paragraph (CR, LF,
// VT, FF, the separators U+001C-U+001E, U+0085, U+2028, U+2029) inside a name would split the
// line or forge one, and any other control character but the tab would steer a terminal that
// shows the file, and a bidirectional control (U+202A-U+202E, U+2066-U+2069) would make the
// rest of the line read backwards: each is shown as "?", as is half a surrogate pair. Bytes of a name
// that are not UTF-8 (PathBytes) show as the replacement character.
QString oneLine(const QString& text);

}  // namespace LocaleText
