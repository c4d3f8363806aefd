#pragma once
#include "platform/files/OpenFolder.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstring>
#include <functional>
#include <optional>
#include <vector>

// INI files with the semantics of the Windows profile functions: names match without regard to
// case, blanks around names and values are ignored, one pair of surrounding quotes is removed
// from a read value, the first of duplicate sections or keys wins, a read value is cut at 2047
// characters and a missing file reads as empty; a UTF-8 byte-order mark at the start is skipped.
// Writes keep every other line byte for byte and replace the file atomically; a failed write
// throws AppException("Unable to write to <file>"). Each call reads the file once and costs one
// pass over it; a Snapshot answers any number of questions from one read.
namespace ProfileFile {

constexpr int MaxValueLength = 2047;

// Where a profile file lives: a name in a folder opened once (the settings file), or a plain path
// whose folder each call opens afresh (tools and tests). Either way every read, write, temporary
// copy and rename is made relative to that folder. In a folder that is not open, reads find
// nothing and writes fail: nothing is ever looked up by a path that was not checked.
class Location {
public:
    Location(const QString& path);  // implicit: a path is a location
    Location(OpenFolder folder, const QString& name);

    bool inOpenFolder() const { return inFolder_; }
    const OpenFolder& folder() const { return folder_; }
    const QString& name() const { return name_; }
    // The file's path, for messages.
    QString path() const;

private:
    OpenFolder folder_;
    QString name_;
    QString path_;
    bool inFolder_ = false;
};

// The file as one read found it, parsed in one pass; its answers cost no further reading.
class Snapshot {
public:
    Snapshot() = default;
    explicit Snapshot(QByteArray content);

    const QByteArray& content() const { return content_; }
    // Names of every section in file order; a name repeated later (in any case) is listed once.
    QStringList sectionNames() const;
    // Every section header in file order, repeats included, as a hand-edited file may hold them.
    QStringList sectionHeaders() const;
    QString readString(const QString& section, const QString& key) const;
    // A key of the header at this index of sectionHeaders(): a later repeat of a name holds
    // values of its own, which readString never sees.
    QString readStringAt(qsizetype headerIndex, const QString& key) const;
    // A section exists when it holds at least one key.
    bool sectionExists(const QString& section) const;

    // Where a section lies: byte offsets into content().
    struct Span {
        qsizetype headerBegin;  // first byte of its "[name]" line
        qsizetype bodyBegin;    // first byte after that line
        qsizetype lastLineEnd;  // byte after its last non-blank line (or its header line)
        qsizetype end;          // first byte of the next header, or the end of the content
    };
    // The first section of that name, or none.
    const Span* find(const QString& section) const;
    // Calls f(lineBegin, lineNext, key, value) for each key line of the span, in order, until f
    // returns true. Values are raw (blanks trimmed, quotes kept).
    template <typename F>
    void forEachKey(const Span& span, F&& f) const;

private:
    struct Section {
        Span span;
        qsizetype nameBegin;
        qsizetype nameSize;
    };
    QString nameOf(const Section& s) const;
    QString readIn(const Span& span, const QString& key) const;

    QByteArray content_;
    std::vector<Section> sections_;
    QHash<QString, qsizetype> first_;  // case-folded name -> index of its first section
};

// Reads the file once.
Snapshot read(const Location& file);
// Whether anything at all (a file, a link, even a dangling one) bears the file's name.
bool exists(const Location& file);

QString readString(const Location& file, const QString& section, const QString& key);
QStringList sectionNames(const Location& file);
bool sectionExists(const Location& file, const QString& section);

struct Write {
    QString section;
    QString key;
    QString value;
};

void writeString(const Location& file, const QString& section, const QString& key, const QString& value);
// Several values in one replacement of the file: the bytes of writing them one by one.
void writeStrings(const Location& file, const QList<Write>& writes);
void eraseSection(const Location& file, const QString& section);
// Erases the section and appends it anew with these keys, in one replacement of the file: the
// same bytes as erasing and writing key by key, but never half a section on disk.
void replaceSection(const Location& file, const QString& section, const QList<QPair<QString, QString>>& keys);
// The same, with the keys chosen from the file as the write lock found it, so that what they
// depend on (a free slot, say) can't be taken by another program between the look and the write.
// No keys: the file is left alone.
using Keys = QList<QPair<QString, QString>>;
void replaceSectionWith(const Location& file, const QString& section,
                        const std::function<std::optional<Keys>(const Snapshot&)>& keysFor);

// Removes the temporary copies that writes of `file` left when their writer was killed (or the
// machine stopped). A save in progress holds the file's write lock; while anyone holds it,
// nothing is removed.
void removeUnfinishedWrites(const Location& file);

// Parses any bytes without touching the disk: the reader's core, shared with the fuzz target.
QStringList sectionNamesOf(const QByteArray& content);
QString readStringOf(const QByteArray& content, const QString& section, const QString& key);
// The writer's core: the content with these values written, as writeStrings would store it.
QByteArray contentWith(const QByteArray& content, const QList<Write>& writes);

// How a value is written so that it reads back exactly: quoted when it begins or ends with a
// blank, or is itself wrapped in a pair of quotes; a line break becomes a blank.
QByteArray encodeValue(const QString& value);

// ---------------------------------------------------------------------------------------------

namespace detail {
QByteArrayView trimmed(QByteArrayView v);
}

template <typename F>
void Snapshot::forEachKey(const Span& span, F&& f) const
{
    qsizetype pos = span.bodyBegin;
    const char* c = content_.constData();
    while (pos < span.end) {
        const char* nl = static_cast<const char*>(std::memchr(c + pos, '\n', size_t(span.end - pos)));
        const qsizetype next = nl ? (nl - c) + 1 : span.end;
        qsizetype end = nl ? (nl - c) : span.end;
        if (end > pos && c[end - 1] == '\r') --end;
        const QByteArrayView line(c + pos, end - pos);
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && f(pos, next, detail::trimmed(line.first(eq)), detail::trimmed(line.sliced(eq + 1)))) return;
        pos = next;
    }
}

}  // namespace ProfileFile
