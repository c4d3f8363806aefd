#include "platform/settings/ProfileFile.h"

#include "platform/text/PathBytes.h"

#include "platform/settings/ProfileFileStore.h"


#include <algorithm>
#include <optional>

namespace ProfileFile {

namespace detail {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && isBlank(v.front())) v = v.sliced(1);
    while (!v.isEmpty() && isBlank(v.back())) v.chop(1);
    return v;
}

}  // namespace detail

namespace {

using detail::isBlank;
using detail::trimmed;

const QByteArray ByteOrderMark("\xEF\xBB\xBF");

// Text of the file's bytes, as values are read: a byte that is not UTF-8 is kept as itself, so a
// watch named with one (a Latin-1 name typed into the file) is the same name in its section's
// header, in its `name` and on the command line, and saving keeps it. A U+FEFF at the start of
// a name is kept: dropping it would make " x" of "\uFEFF x", which blanks-trimming changes again.
QString decode(QByteArrayView bytes) { return PathBytes::decode(bytes.data(), bytes.size()); }

// Names as the caller gives them: blanks around them don't count, as in the file.
QString trimBlanks(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t')) ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
    return s.sliced(b, e - b);
}

QString folded(const QString& name) { return trimBlanks(name).toCaseFolded(); }

bool isAscii(QByteArrayView v)
{
    return std::all_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A key asked for, with its ASCII form when it has one (the common case: a cheap comparison).
struct AskedKey {
    explicit AskedKey(const QString& key) : text(trimBlanks(key))
    {
        if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; })) ascii = text.toLatin1();
    }
    bool matches(QByteArrayView fileKey) const
    {
        if (ascii && isAscii(fileKey))
            return qstrnicmp(fileKey.data(), fileKey.size(), ascii->constData(), ascii->size()) == 0;
        return decode(fileKey).compare(text, Qt::CaseInsensitive) == 0;
    }
    QString text;
    std::optional<QByteArray> ascii;
};

QString valueText(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    // Values are mostly paths: bytes that are not UTF-8 (a Latin-1 folder name typed into the
    // file) are kept as themselves, so the watch finds that very folder and saving keeps them.
    QString text = PathBytes::decode(value.data(), value.size());
    if (text.size() > MaxValueLength) {
        // Cut between characters, never inside a surrogate pair.
        qsizetype cut = MaxValueLength;
        if (text[cut - 1].isHighSurrogate()) --cut;
        text.truncate(cut);
    }
    return text;
}

// A name or key as written: on one line, without the blanks a reader would drop.
QByteArray encodeName(const QString& name)
{
    QString n = name;
    n.replace(u'\r', u' ').replace(u'\n', u' ');
    return PathBytes::encode(trimBlanks(n));
}

QByteArray keyLine(const QString& key, const QString& value) { return encodeName(key) + '=' + encodeValue(value) + '\n'; }

// One change of the content: bytes [begin, end) give way to `text`.
struct Patch {
    qsizetype begin;
    qsizetype end;
    QByteArray text;
    bool newLineBefore = false;  // an insertion after a last line that has no line end
};

QByteArray applyPatches(const QByteArray& content, std::vector<Patch> patches, const QByteArray& appended)
{
    std::stable_sort(patches.begin(), patches.end(),
                     [](const Patch& a, const Patch& b) { return a.begin < b.begin || (a.begin == b.begin && a.end < b.end); });
    QByteArray out;
    out.reserve(content.size() + appended.size() + 64 * qsizetype(patches.size()));
    qsizetype pos = 0;
    for (const Patch& p : patches) {
        out.append(content.constData() + pos, p.begin - pos);
        if (p.newLineBefore && !out.isEmpty() && !out.endsWith('\n')) out.append('\n');
        out.append(p.text);
        pos = p.end;
    }
    out.append(content.constData() + pos, content.size() - pos);
    if (!appended.isEmpty()) {
        if (!out.isEmpty() && !out.endsWith('\n')) out.append('\n');
        out.append(appended);
    }
    return out;
}

QByteArray sectionText(const QString& section, const QList<QPair<QString, QString>>& keys)
{
    QByteArray text = '[' + encodeName(section) + "]\n";
    for (const auto& [key, value] : keys) text += keyLine(key, value);
    return text;
}

// The content with these values written: each replaces the first line of its key in the first
// section of its name, goes after the section's last line when the key is new, and a new
// section goes to the end of the file.
QByteArray withValues(const Snapshot& snap, const QList<Write>& writes)
{
    struct Pending {
        const Snapshot::Span* span = nullptr;
        QString name;
        QList<QPair<QString, QString>> keys;  // in first-asked order, the last value of each
    };
    std::vector<Pending> sections;
    QHash<QString, size_t> bySection;
    for (const Write& w : writes) {
        const QString f = folded(w.section);
        auto it = bySection.find(f);
        if (it == bySection.end()) {
            it = bySection.insert(f, sections.size());
            sections.push_back(Pending{snap.find(w.section), w.section, {}});
        }
        auto& keys = sections[*it].keys;
        const auto same = std::find_if(keys.begin(), keys.end(),
                                       [&](const auto& k) { return folded(k.first) == folded(w.key); });
        if (same != keys.end()) {
            same->second = w.value;
        } else {
            keys.append({w.key, w.value});
        }
    }

    std::vector<Patch> patches;
    QByteArray appended;
    for (const Pending& p : sections) {
        if (!p.span) {
            appended += sectionText(p.name, p.keys);
            continue;
        }
        QByteArray inserted;
        for (const auto& kv : p.keys) {
            const AskedKey asked(kv.first);
            bool found = false;
            snap.forEachKey(*p.span, [&](qsizetype begin, qsizetype next, QByteArrayView k, QByteArrayView) {
                if (!asked.matches(k)) return false;
                patches.push_back(Patch{begin, next, keyLine(kv.first, kv.second)});
                found = true;
                return true;
            });
            if (!found) inserted += keyLine(kv.first, kv.second);
        }
        if (!inserted.isEmpty()) patches.push_back(Patch{p.span->lastLineEnd, p.span->lastLineEnd, inserted, true});
    }
    return applyPatches(snap.content(), std::move(patches), appended);
}

QByteArray withoutSection(const Snapshot& snap, const Snapshot::Span& span)
{
    QByteArray c = snap.content();
    c.remove(span.headerBegin, span.end - span.headerBegin);
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Location

Location::Location(const QString& path) : path_(path) {}

Location::Location(OpenFolder folder, const QString& name) : folder_(std::move(folder)), name_(name), inFolder_(true) {}

QString Location::path() const { return inFolder_ ? folder_.path() + u'/' + name_ : path_; }

// ---------------------------------------------------------------------------------------------
// Snapshot

Snapshot::Snapshot(QByteArray content) : content_(std::move(content))
{
    const char* c = content_.constData();
    const qsizetype size = content_.size();
    qsizetype pos = content_.startsWith(ByteOrderMark) ? ByteOrderMark.size() : 0;
    while (pos < size) {
        const char* nl = static_cast<const char*>(std::memchr(c + pos, '\n', size_t(size - pos)));
        const qsizetype next = nl ? (nl - c) + 1 : size;
        qsizetype end = nl ? (nl - c) : size;
        if (end > pos && c[end - 1] == '\r') --end;
        QByteArrayView line = trimmed(QByteArrayView(c + pos, end - pos));
        if (!line.isEmpty() && line.front() == '[') {
            if (!sections_.empty()) sections_.back().span.end = pos;
            QByteArrayView name = line.sliced(1);
            const qsizetype close = name.indexOf(']');
            if (close >= 0) name = name.first(close);
            name = trimmed(name);
            Section s{Span{pos, next, next, size}, name.data() - c, name.size()};
            sections_.push_back(s);
            const QString f = nameOf(s).toCaseFolded();
            if (!first_.contains(f)) first_.insert(f, qsizetype(sections_.size() - 1));
        } else if (!line.isEmpty() && !sections_.empty()) {
            sections_.back().span.lastLineEnd = next;
        }
        pos = next;
    }
}

QString Snapshot::nameOf(const Section& s) const { return decode(QByteArrayView(content_.constData() + s.nameBegin, s.nameSize)); }

QStringList Snapshot::sectionNames() const
{
    QStringList names;
    for (qsizetype i = 0; i < qsizetype(sections_.size()); ++i) {
        const QString n = nameOf(sections_[size_t(i)]);
        if (first_.value(n.toCaseFolded()) == i) names << n;
    }
    return names;
}

QStringList Snapshot::sectionHeaders() const
{
    QStringList names;
    names.reserve(qsizetype(sections_.size()));
    for (const Section& s : sections_) names << nameOf(s);
    return names;
}

const Snapshot::Span* Snapshot::find(const QString& section) const
{
    const auto it = first_.constFind(folded(section));
    return it == first_.cend() ? nullptr : &sections_[size_t(*it)].span;
}

QString Snapshot::readString(const QString& section, const QString& key) const
{
    const Span* span = find(section);
    return span ? readIn(*span, key) : QString();
}

QString Snapshot::readStringAt(qsizetype headerIndex, const QString& key) const
{
    if (headerIndex < 0 || size_t(headerIndex) >= sections_.size()) return {};
    return readIn(sections_[size_t(headerIndex)].span, key);
}

QString Snapshot::readIn(const Span& span, const QString& key) const
{
    const AskedKey asked(key);
    QString result;
    forEachKey(span, [&](qsizetype, qsizetype, QByteArrayView fileKey, QByteArrayView value) {
        if (!asked.matches(fileKey)) return false;
        result = valueText(value);
        return true;
    });
    return result;
}

bool Snapshot::sectionExists(const QString& section) const
{
    const Span* span = find(section);
    if (!span) return false;
    bool any = false;
    forEachKey(*span, [&](qsizetype, qsizetype, QByteArrayView, QByteArrayView) { return any = true; });
    return any;
}

// ---------------------------------------------------------------------------------------------
// Values

QByteArray encodeValue(const QString& value)
{
    QString v = value;
    v.replace(u'\r', u' ').replace(u'\n', u' ');
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    const auto quote = [](QChar c) { return c == u'"' || c == u'\''; };
    const bool quoted = !v.isEmpty() && (blank(v.front()) || blank(v.back()) ||
                                         (v.size() >= 2 && quote(v.front()) && v.back() == v.front()));
    const QByteArray bytes = PathBytes::encode(v);
    return quoted ? '"' + bytes + '"' : bytes;
}

// ---------------------------------------------------------------------------------------------
// Calls on a file

Snapshot read(const Location& file) { return Snapshot(Store::read(file)); }

bool exists(const Location& file) { return Store::exists(file); }

QString readString(const Location& file, const QString& section, const QString& key)
{
    return read(file).readString(section, key);
}

QStringList sectionNames(const Location& file) { return read(file).sectionNames(); }

bool sectionExists(const Location& file, const QString& section) { return read(file).sectionExists(section); }

void writeString(const Location& file, const QString& section, const QString& key, const QString& value)
{
    writeStrings(file, {Write{section, key, value}});
}

void writeStrings(const Location& file, const QList<Write>& writes)
{
    if (writes.isEmpty()) return;
    Store::modify(file, [&](const QByteArray& content) -> std::optional<QByteArray> {
        return withValues(Snapshot(content), writes);
    });
}

void eraseSection(const Location& file, const QString& section)
{
    Store::modify(file, [&](const QByteArray& content) -> std::optional<QByteArray> {
        const Snapshot snap(content);
        const Snapshot::Span* span = snap.find(section);
        if (!span) return std::nullopt;
        return withoutSection(snap, *span);
    });
}

void replaceSection(const Location& file, const QString& section, const QList<QPair<QString, QString>>& keys)
{
    replaceSectionWith(file, section, [&](const Snapshot&) { return std::optional<Keys>(keys); });
}

void replaceSectionWith(const Location& file, const QString& section,
                        const std::function<std::optional<Keys>(const Snapshot&)>& keysFor)
{
    Store::modify(file, [&](const QByteArray& content) -> std::optional<QByteArray> {
        const Snapshot snap(content);
        const std::optional<Keys> keys = keysFor(snap);
        if (!keys) return std::nullopt;
        const Snapshot::Span* span = snap.find(section);
        return applyPatches(span ? withoutSection(snap, *span) : content, {}, sectionText(section, *keys));
    });
}

void removeUnfinishedWrites(const Location& file) { Store::removeUnfinishedWrites(file); }

QStringList sectionNamesOf(const QByteArray& content) { return Snapshot(content).sectionNames(); }

QByteArray contentWith(const QByteArray& content, const QList<Write>& writes) { return withValues(Snapshot(content), writes); }

QString readStringOf(const QByteArray& content, const QString& section, const QString& key)
{
    return Snapshot(content).readString(section, key);
}

}  // namespace ProfileFile
