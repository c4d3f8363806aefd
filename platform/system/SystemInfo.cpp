#include "platform/system/SystemInfo.h"

#include <QFile>
#include <QRegularExpression>

#include <pwd.h>
#include <unistd.h>

namespace SystemInfo {

QString computerName()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0) return {};
    return QString::fromLocal8Bit(buf);
}

QString userName()
{
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    // An id with no account entry (a container, a user made with setpriv) still names someone.
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) != 0 || !found) return QString::number(::geteuid());
    return QString::fromLocal8Bit(found->pw_name);
}

QString productName()
{
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile f(QString::fromLatin1(path));
        if (!f.open(QIODevice::ReadOnly)) continue;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine(4096)).trimmed();
            if (!line.startsWith(QStringLiteral("PRETTY_NAME="))) continue;
            QString v = line.mid(12);
            if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
                v = v.mid(1, v.size() - 2);
            return v;
        }
        return {};
    }
    return {};
}

}  // namespace SystemInfo
