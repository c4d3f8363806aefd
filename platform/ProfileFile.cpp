#include "platform/ProfileFile.h"

#include "platform/AppException.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace ProfileFile {
namespace {

// One line of the file, without its line end, as views into the content.
struct Line {
    qsizetype begin;  // first byte of the line
    qsizetype end;    // one past the last byte, CR excluded
    qsizetype next;   // first byte of the following line
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && isBlank(v.front())) v = v.sliced(1);
    while (!v.isEmpty() && isBlank(v.back())) v.chop(1);
    return v;
}

// Walks the content line by line; LF or CRLF ends a line.
class LineReader {
public:
    explicit LineReader(const QByteArray& c) : c_(c) {}
    bool next(Line& line)
    {
        if (pos_ >= c_.size()) return false;
        const char* start = c_.constData() + pos_;
        const void* nl = std::memchr(start, '\n', size_t(c_.size() - pos_));
        qsizetype end = nl ? static_cast<const char*>(nl) - c_.constData() : c_.size();
        line.begin = pos_;
        line.next = nl ? end + 1 : end;
        if (end > pos_ && c_[end - 1] == '\r') --end;
        line.end = end;
        pos_ = line.next;
        return true;
    }

private:
    const QByteArray& c_;
    qsizetype pos_ = 0;
};

QByteArrayView view(const QByteArray& c, const Line& l) { return QByteArrayView(c).sliced(l.begin, l.end - l.begin); }

// The section name of a "[name]" line, or nothing when the line opens no section.
std::optional<QByteArrayView> sectionOf(QByteArrayView line)
{
    line = trimmed(line);
    if (line.isEmpty() || line.front() != '[') return std::nullopt;
    line = line.sliced(1);
    const qsizetype close = line.indexOf(']');
    if (close >= 0) line = line.first(close);
    return trimmed(line);
}

// The key of a "key=value" line, or nothing when the line holds no "=".
std::optional<QByteArrayView> keyOf(QByteArrayView line, QByteArrayView* value = nullptr)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0) return std::nullopt;
    if (value) *value = trimmed(line.sliced(eq + 1));
    return trimmed(line.first(eq));
}

bool sameName(QByteArrayView a, const QString& b)
{
    return QString::fromUtf8(a).compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

QByteArray readAll(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Where a section lies in the content: its header line and the end of its last key line.
struct SectionSpan {
    Line header;
    qsizetype lastKeyEnd;  // byte after the last key line (or the header) of the section
    qsizetype end;         // first byte of the next section header, or the end of the content
};

std::optional<SectionSpan> findSection(const QByteArray& c, const QString& section)
{
    LineReader reader(c);
    Line l;
    std::optional<SectionSpan> span;
    while (reader.next(l)) {
        const auto name = sectionOf(view(c, l));
        if (span) {
            if (name) {
                span->end = l.begin;
                return span;
            }
            if (!trimmed(view(c, l)).isEmpty()) span->lastKeyEnd = l.next;
        } else if (name && sameName(*name, section)) {
            span = SectionSpan{l, l.next, c.size()};
        }
    }
    return span;
}

void writeAtomically(const QString& file, const QByteArray& content)
{
    const QString failure = QStringLiteral("Unable to write to %1").arg(file);
    const QByteArray path = QFile::encodeName(file);
    QByteArray tmp = path + ".saving-XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) throw AppException(failure);
    bool ok = true;
    qsizetype done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.constData(), path.constData()) == 0;
    if (!ok) {
        ::unlink(tmp.constData());
        throw AppException(failure);
    }
    // Make the rename itself durable.
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

QByteArray oneLine(const QString& text)
{
    // A line break inside a name or value would split it into lines of their own.
    QByteArray b = text.trimmed().toUtf8();
    b.replace('\r', ' ').replace('\n', ' ');
    return b;
}

}  // namespace

QStringList sectionNamesOf(const QByteArray& content)
{
    QStringList names;
    LineReader reader(content);
    Line l;
    while (reader.next(l)) {
        if (const auto name = sectionOf(view(content, l))) {
            const QString n = QString::fromUtf8(*name);
            if (!names.contains(n, Qt::CaseInsensitive)) names << n;
        }
    }
    return names;
}

QString readStringOf(const QByteArray& content, const QString& section, const QString& key)
{
    const auto span = findSection(content, section);
    if (!span) return {};
    LineReader reader(content);
    Line l;
    while (reader.next(l)) {
        if (l.begin < span->header.next) continue;
        if (l.begin >= span->end) break;
        QByteArrayView value;
        const auto k = keyOf(view(content, l), &value);
        if (!k || !sameName(*k, key)) continue;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.sliced(1, value.size() - 2);
        return QString::fromUtf8(value).left(MaxValueLength);
    }
    return {};
}

QString readString(const QString& file, const QString& section, const QString& key)
{
    return readStringOf(readAll(file), section, key);
}

QStringList sectionNames(const QString& file) { return sectionNamesOf(readAll(file)); }

bool sectionExists(const QString& file, const QString& section)
{
    const QByteArray c = readAll(file);
    const auto span = findSection(c, section);
    if (!span) return false;
    LineReader reader(c);
    Line l;
    while (reader.next(l)) {
        if (l.begin < span->header.next) continue;
        if (l.begin >= span->end) break;
        if (keyOf(view(c, l))) return true;
    }
    return false;
}

void writeString(const QString& file, const QString& section, const QString& key, const QString& value)
{
    QByteArray c = readAll(file);
    const QByteArray line = oneLine(key) + '=' + oneLine(value) + '\n';
    const auto span = findSection(c, section);
    if (!span) {
        if (!c.isEmpty() && !c.endsWith('\n')) c += '\n';
        c += '[' + oneLine(section) + "]\n" + line;
        writeAtomically(file, c);
        return;
    }
    LineReader reader(c);
    Line l;
    while (reader.next(l)) {
        if (l.begin < span->header.next) continue;
        if (l.begin >= span->end) break;
        const auto k = keyOf(view(c, l));
        if (k && sameName(*k, key)) {
            c.replace(l.begin, l.next - l.begin, line);
            writeAtomically(file, c);
            return;
        }
    }
    // A new key goes after the last line of its section, before any blank lines.
    qsizetype at = span->lastKeyEnd;
    if (at > 0 && c[at - 1] != '\n') {
        c.insert(at, '\n');
        ++at;
    }
    c.insert(at, line);
    writeAtomically(file, c);
}

void eraseSection(const QString& file, const QString& section)
{
    QByteArray c = readAll(file);
    const auto span = findSection(c, section);
    if (!span) return;
    c.remove(span->header.begin, span->end - span->header.begin);
    writeAtomically(file, c);
}

void replaceSection(const QString& file, const QString& section, const QList<QPair<QString, QString>>& keys)
{
    QByteArray c = readAll(file);
    if (const auto span = findSection(c, section)) c.remove(span->header.begin, span->end - span->header.begin);
    if (!c.isEmpty() && !c.endsWith('\n')) c += '\n';
    c += '[' + oneLine(section) + "]\n";
    for (const auto& [key, value] : keys) c += oneLine(key) + '=' + oneLine(value) + '\n';
    writeAtomically(file, c);
}

void removeUnfinishedWrites(const QString& file)
{
    const QFileInfo info(file);
    QDir dir = info.absoluteDir();
    const QRegularExpression copy(QRegularExpression::anchoredPattern(QRegularExpression::escape(info.fileName()) +
                                                                      QStringLiteral("\\.saving-[A-Za-z0-9]{6}")));
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (copy.match(name).hasMatch()) ::unlink(QFile::encodeName(dir.filePath(name)).constData());
}

}  // namespace ProfileFile
