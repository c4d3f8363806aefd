#pragma once
#include "support/Waiting.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <csignal>

#include <unistd.h>

// A bindfs mount whose server is stopped (SIGSTOP), as a dead network share would be: every
// call on the mount waits until the server goes on. It is always let go and unmounted at the end.
class StoppedFuseServer {
public:
    StoppedFuseServer() = default;
    StoppedFuseServer(const StoppedFuseServer&) = delete;
    StoppedFuseServer& operator=(const StoppedFuseServer&) = delete;
    ~StoppedFuseServer()
    {
        if (server_.state() == QProcess::NotRunning) return;
        ::kill(pid_t(server_.processId()), SIGCONT);
        QProcess::execute("fusermount3", {"-u", "-z", mount_});
        server_.terminate();
        server_.waitForFinished(5000);
    }

    // Mounts `under` at `mount` and stops its server; empty when done, else why it can't be
    // here (a reason to skip).
    QString start(const QString& under, const QString& mount)
    {
        if (QStandardPaths::findExecutable("bindfs").isEmpty()) return QStringLiteral("bindfs is not installed");
        if (::access("/dev/fuse", R_OK | W_OK) != 0) return QStringLiteral("no /dev/fuse here");
        mount_ = mount;
        // In the foreground, so that its process is the one stopped.
        server_.start("bindfs", {"-f", "--no-allow-other", under, mount});
        if (!server_.waitForStarted()) return QStringLiteral("bindfs does not start");
        if (!waitFor([&] { return mountedAt(mount) || server_.state() == QProcess::NotRunning; }) || !mountedAt(mount))
            return QStringLiteral("bindfs can't mount here");
        if (::kill(pid_t(server_.processId()), SIGSTOP) != 0) return QStringLiteral("bindfs can't be stopped");
        return {};
    }

    // The server answers again, or stops again: a server held up for a while.
    bool goOn() { return ::kill(pid_t(server_.processId()), SIGCONT) == 0; }
    bool stop() { return ::kill(pid_t(server_.processId()), SIGSTOP) == 0; }

    static bool mountedAt(const QString& folder)
    {
        QFile table("/proc/self/mountinfo");
        return table.open(QIODevice::ReadOnly) && table.readAll().contains(" " + folder.toUtf8() + " ");
    }

private:
    QProcess server_;
    QString mount_;
};
