#include "support/LocalUsers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool own(const QString& path, unsigned uid, unsigned gid, mode_t mode)
{
    const QByteArray p = QFile::encodeName(path);
    return ::chown(p.constData(), uid, gid) == 0 && ::chmod(p.constData(), mode) == 0;
}

}  // namespace

QString LocalUsers::unavailableReason()
{
    if (::geteuid() != 0) return QStringLiteral("switching users needs root");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty()) return QStringLiteral("no setpriv");
    return QString();
}

LocalUsers::LocalUsers()
{
    own(world_.path(), 0, 0, 0755);
}

LocalUsers::Account LocalUsers::account(unsigned id, const QString& name)
{
    Account a{id, id, world_.filePath(name)};
    QDir().mkpath(a.home);
    own(a.home, id, id, 0700);
    return a;
}

QString LocalUsers::sharedFolder(const QString& name)
{
    const QString path = world_.filePath(name);
    QDir().mkpath(path);
    own(path, 0, 0, 01777);
    return path;
}

QString LocalUsers::programCopy(const QString& binary, const QString& name)
{
    const QString path = world_.filePath(QStringLiteral("bin/") + name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    QFile::copy(binary, path);
    own(QFileInfo(path).absolutePath(), 0, 0, 0755);
    own(path, 0, 0, 0755);
    return path;
}

bool LocalUsers::give(const QString& path, const Account& account)
{
    return ::lchown(QFile::encodeName(path).constData(), account.uid, account.gid) == 0;
}

QStringList LocalUsers::launcher(const Account& account, const QString& runtimeDir)
{
    QStringList words{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(account.uid),
                      QStringLiteral("--regid=%1").arg(account.gid), QStringLiteral("--clear-groups"),
                      QStringLiteral("env")};
    // env takes its options before its assignments. The other user has none of our folders.
    for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        words << QStringLiteral("-u") << QLatin1String(name);
    if (runtimeDir.isEmpty()) words << QStringLiteral("-u") << QStringLiteral("XDG_RUNTIME_DIR");
    words << QStringLiteral("HOME=") + account.home;
    if (!runtimeDir.isEmpty()) words << QStringLiteral("XDG_RUNTIME_DIR=") + runtimeDir;
    return words;
}

int LocalUsers::run(const Account& account, const QStringList& command, QString* output, int ms)
{
    const QStringList words = launcher(account) + command;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(words.first(), words.mid(1));
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
