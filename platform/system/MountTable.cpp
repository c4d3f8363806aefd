#include "platform/system/MountTable.h"

#include "platform/text/PathBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace MountTable {
namespace {

// Undoes the octal escapes the kernel uses for blanks, tabs, newlines and backslashes.
QString unescape(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = digits.size() == 3;
            for (char c : digits) ok = ok && c >= '0' && c <= '7';
            if (ok) {
                out.append(char(digits.toInt(nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return PathBytes::decode(out);
}

// udev escapes unsafe characters of labels as "\xNN".
QString unescapeLabel(const QString& name)
{
    QByteArray in = QFile::encodeName(name), out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int v = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(char(v));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

}  // namespace

QList<Mount> parse(const QByteArray& mountinfo)
{
    QList<Mount> mounts;
    for (const QByteArray& line : mountinfo.split('\n')) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 6 || dash + 2 >= fields.size()) continue;
        Mount m;
        m.mountPoint = unescape(fields[4]);
        m.fsType = unescape(fields[dash + 1]);
        m.source = unescape(fields[dash + 2]);
        if (!m.mountPoint.startsWith(u'/')) continue;
        mounts.append(m);
    }
    return mounts;
}

QString tablePath() { return QStringLiteral("/proc/self/mountinfo"); }

QList<Mount> current()
{
    QFile f(tablePath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return parse(f.readAll());
}

bool isVolume(const QString& mountPoint)
{
    if (mountPoint == u"/") return true;
    for (const char* base : {"/media/", "/run/media/", "/mnt/"}) {
        const QString b = QString::fromLatin1(base);
        if (mountPoint.startsWith(b) && mountPoint.size() > b.size()) return true;
    }
    return false;
}

QString volumeName(const QString& mountPoint, const QString& label)
{
    if (mountPoint == u"/") return QStringLiteral("File System");
    if (!label.isEmpty()) return label;
    return QFileInfo(mountPoint).fileName();
}

QString labelOf(const Mount& mount)
{
    if (!mount.source.startsWith(u"/dev/")) return {};
    const QString device = QFileInfo(mount.source).canonicalFilePath();
    if (device.isEmpty()) return {};
    const QDir byLabel(QStringLiteral("/dev/disk/by-label"));
    for (const QFileInfo& link : byLabel.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == device) return unescapeLabel(link.fileName());
    }
    return {};
}

}  // namespace MountTable
