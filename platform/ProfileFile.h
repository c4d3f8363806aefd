#pragma once
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

// INI files with the semantics of the Windows profile functions: names match without regard to
// case, blanks around names and values are ignored, one pair of surrounding quotes is removed
// from a read value, the first of duplicate sections or keys wins, a read value is cut at 2047
// characters and a missing file reads as empty. Writes keep every other line byte for byte and
// replace the file atomically; a failed write throws AppException("Unable to write to <file>").
namespace ProfileFile {

constexpr int MaxValueLength = 2047;

QString readString(const QString& file, const QString& section, const QString& key);
// Names of every section in file order; a name repeated later (in any case) is listed once.
QStringList sectionNames(const QString& file);
// A section exists when it holds at least one key.
bool sectionExists(const QString& file, const QString& section);

void writeString(const QString& file, const QString& section, const QString& key, const QString& value);
void eraseSection(const QString& file, const QString& section);

// Erases the section and appends it anew with these keys, in one replacement of the file: the
// same bytes as erasing and writing key by key, but never half a section on disk.
void replaceSection(const QString& file, const QString& section, const QList<QPair<QString, QString>>& keys);

// Removes the temporary copies that writes of `file` left when the process was killed (or the
// machine stopped) before they were finished. Only while no other process writes the file.
void removeUnfinishedWrites(const QString& file);

// Parses any bytes without touching the disk: the reader's core, shared with the fuzz target.
QStringList sectionNamesOf(const QByteArray& content);
QString readStringOf(const QByteArray& content, const QString& section, const QString& key);

}  // namespace ProfileFile
