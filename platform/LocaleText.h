#pragma once
#include <QByteArray>
#include <QString>

// Text files in the locale's character set (the plain C/POSIX locale counts as UTF-8); a
// character the set can't encode becomes "?".
namespace LocaleText {

QByteArray encode(const QString& text);

// A CR or LF inside a name would split one log line in two (or forge one): shown as "?". Bytes
// of a name that are not UTF-8 (PathBytes) show as the replacement character.
QString oneLine(const QString& text);

}  // namespace LocaleText
