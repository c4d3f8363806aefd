// A FUSE server that stops answering (SIGSTOP, as a dead network share would) beside the
// watched folders: the real program starts, reports and ends all the same.
#include "support/FileBytes.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

namespace {

bool mountedAt(const QString& folder)
{
    QFile table("/proc/self/mountinfo");
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(" " + folder.toUtf8() + " ");
}

TEST(DeadMountProgramTest, AHungFuseServerBesideTheWatchedFoldersHoldsUpNeitherStartNorWorkNorExit)
{
    if (QStandardPaths::findExecutable("bindfs").isEmpty()) GTEST_SKIP() << "bindfs is not installed";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse here";
    QTemporaryDir temp;
    const QString place = temp.filePath("place"), plain = place + "/plain", under = temp.filePath("under"),
                  mount = place + "/mount", shares = temp.filePath("shares");
    for (const QString& f : {plain, under, mount, shares + "/dead"}) ASSERT_TRUE(QDir().mkpath(f));
    ASSERT_TRUE(QDir().mkpath(under + "/inside"));
    // In the foreground, so that its process is the one stopped.
    QProcess server;
    server.start("bindfs", {"-f", "--no-allow-other", under, mount});
    ASSERT_TRUE(server.waitForStarted());
    if (!QTest::qWaitFor([&] { return mountedAt(mount) || server.state() == QProcess::NotRunning; }, 10000) || !mountedAt(mount))
        GTEST_SKIP() << "bindfs can't mount here";
    struct Cleanup {
        QProcess& server;
        QString mount;
        ~Cleanup()
        {
            ::kill(pid_t(server.processId()), SIGCONT);
            QProcess::execute("fusermount3", {"-u", "-z", mount});
            server.terminate();
            server.waitForFinished(5000);
        }
    } cleanup{server, mount};
    ASSERT_EQ(::kill(pid_t(server.processId()), SIGSTOP), 0);

    // A plain folder beside the dead mount and the folder that holds both.
    QByteArray settings;
    const std::tuple<const char*, QString, const char*, const char*> watches[] = {
        {"plain", plain, "1", "1"}, {"parent", place, "2", "1"}};
    for (const auto& [name, folder, panel, sub] : watches)
        settings += "[" + QByteArray(name) + "]\nname=" + name + "\npath=" + folder.toUtf8() + "\npanel=" + panel +
                    "\nactive=1\navilable=0\nsub=" + sub + "\nfcreate=1\n";
    writeFile(temp.path() + "/VSM25/settings.cfg", settings);

    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("Watch plain Started monitoring path: " + plain, 20000)) << run.lines().join('\n').toStdString();
    writeFile(plain + "/x.txt", "x");
    EXPECT_TRUE(run.waitForLine(": plain: File create event, file name: " + plain + "/x.txt")) << run.lines().join('\n').toStdString();

    QElapsedTimer exit;
    exit.start();
    EXPECT_EQ(run.terminate(5000), 0) << run.lines().join('\n').toStdString();
    const qint64 ms = exit.elapsed();
    std::printf("exit with a hung FUSE server: %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 3000) << "the program should end within a second of SIGTERM";
}

}  // namespace
