#include "ArgvProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>

ArgvProbe::ArgvProbe(const QString& dir, const QString& name, bool executable, bool withInterpreterLine)
    : path_(QDir(dir).filePath(name)), runsDir_(path_ + QStringLiteral(".runs"))
{
    QDir().mkpath(runsDir_);
    QByteArray script;
    if (withInterpreterLine) script += "#!/bin/sh\n";
    // The runs folder is a temporary path of plain characters; single quotes keep it literal.
    script += "out='" + QFile::encodeName(runsDir_) + "'\n"
              "n=$(date +%s%N)-$$\n"
              "printf '%s\\0' \"$(pwd -P)\" \"$PPID\" \"$@\" > \"$out/.$n.tmp\" && mv \"$out/.$n.tmp\" \"$out/$n.args\"\n";
    QFile f(path_);
    if (f.open(QIODevice::WriteOnly)) f.write(script);
    f.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (executable) p |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    f.setPermissions(p);
}

QList<ArgvProbe::Run> ArgvProbe::runs() const
{
    QStringList names = QDir(runsDir_).entryList({QStringLiteral("*.args")}, QDir::Files);
    // Names start with the start time in nanoseconds: oldest first.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.section(u'-', 0, 0).toLongLong() < b.section(u'-', 0, 0).toLongLong();
    });
    QList<Run> result;
    for (const QString& n : names) {
        QFile f(QDir(runsDir_).filePath(n));
        if (!f.open(QIODevice::ReadOnly)) continue;
        QList<QByteArray> fields = f.readAll().split('\0');
        if (!fields.isEmpty()) fields.removeLast();  // after the last terminator
        if (fields.size() < 2) continue;
        Run r;
        r.cwd = QFile::decodeName(fields.takeFirst());
        r.parentPid = fields.takeFirst().toLongLong();
        for (const QByteArray& a : fields) r.args.append(QFile::decodeName(a));
        result.append(r);
    }
    return result;
}

bool ArgvProbe::waitForRuns(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return runs().size() >= count; }, timeoutMs);
}
