#include "support/ProgramRun.h"

#include "instance/TJclAppInstances.h"
#include "platform/runtime/SwitchChannel.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <csignal>

#include <unistd.h>

QString ProgramRun::binaryPath() { return qEnvironmentVariable("VESMOR_BINARY"); }

QStringList ProgramRun::watchLimitLauncher(int limit)
{
    return {QStringLiteral("unshare"), QStringLiteral("-Ur"), QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("echo %1 > /proc/sys/user/max_inotify_watches || exit %2; exec \"$@\"").arg(limit).arg(NoNamespaceExit),
            QStringLiteral("sh")};
}

QStringList ProgramRun::smallDiskLauncher(const QString& folder, qint64 bytes)
{
    // The folder goes in as an argument, never into the script's text.
    return {QStringLiteral("unshare"), QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("mount -t tmpfs -o size=%1 tmpfs \"$1\" || exit %2; shift; exec \"$@\"").arg(bytes).arg(NoNamespaceExit),
            QStringLiteral("sh"), folder};
}

ProgramRun::ProgramRun(const QString& temp, const QStringList& arguments, const QString& binary, const QStringList& launcher)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TEMP"), temp);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VESMOR_ECHO_LIVE_LOG"), QStringLiteral("1"));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    program_ = binary;
    if (program_.isEmpty()) {
        const QString original = binaryPath();
        program_ = programDir_.filePath(QStringLiteral("vesmor"));
        if (::link(QFile::encodeName(original).constData(), QFile::encodeName(program_).constData()) != 0) {
            QFile::copy(original, program_);
            QFile(program_).setPermissions(QFile(original).permissions());
        }
    }
    if (launcher.isEmpty()) {
        process_.start(program_, arguments);
    } else {
        // The launcher execs the program, so the process id stays the program's.
        process_.start(launcher.first(), launcher.mid(1) + QStringList{program_} + arguments);
    }
    process_.waitForStarted(10000);
}

ProgramRun::~ProgramRun()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    if (program_.startsWith(programDir_.path())) {
        const QString key = TJclAppInstances::InstanceKey(program_);
        TJclAppInstances::RemoveSharedObjects(key);
        QFile::remove(SwitchChannel::socketPath(key));
    }
}

void ProgramRun::drain()
{
    buffer_ += QString::fromUtf8(process_.readAllStandardError());
    qsizetype nl;
    while ((nl = buffer_.indexOf(u'\n')) >= 0) {
        lines_ << buffer_.left(nl);
        buffer_.remove(0, nl + 1);
    }
}

QStringList ProgramRun::lines()
{
    drain();
    return lines_;
}

bool ProgramRun::waitForLine(const QString& text, int ms)
{
    QDeadlineTimer deadline(ms);
    qsizetype seen = 0;
    for (;;) {
        drain();
        for (; seen < lines_.size(); ++seen)
            if (lines_[seen].contains(text)) return true;
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
            drain();
            for (; seen < lines_.size(); ++seen)
                if (lines_[seen].contains(text)) return true;
            return false;
        }
        process_.waitForReadyRead(int(qMin<qint64>(100, qMax<qint64>(1, deadline.remainingTime()))));
    }
}

int ProgramRun::waitForExit(int ms)
{
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(ms)) return -1;
    drain();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

int ProgramRun::terminate(int ms)
{
    if (process_.state() != QProcess::NotRunning) ::kill(pid_t(process_.processId()), SIGTERM);
    return waitForExit(ms);
}

void ProgramRun::kill()
{
    process_.kill();
    process_.waitForFinished(5000);
}
