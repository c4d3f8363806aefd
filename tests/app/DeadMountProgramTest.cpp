// A FUSE server that stops answering (SIGSTOP, as a dead network share would) beside the
// watched folders, or holding one of them: the real program starts, reports and ends all the
// same, and no thread that must end waits on it.
#include "support/FileBytes.h"
#include "support/ProgramRun.h"
#include "support/StoppedFuseServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// place/plain, a plain folder; place/mount, a bindfs mount of `under` whose server is stopped.
class DeadMountProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const QString& f : {plain(), under() + "/inside", mount()}) ASSERT_TRUE(QDir().mkpath(f));
        const QString cannot = server_.start(under(), mount());
        if (!cannot.isEmpty()) GTEST_SKIP() << cannot.toStdString();
    }

    QString place() const { return temp_.filePath("place"); }
    QString plain() const { return place() + "/plain"; }
    QString mount() const { return place() + "/mount"; }
    QString under() const { return temp_.filePath("under"); }

    // Watches by name, folder and whether sub-folders count, in this order.
    void writeWatches(const std::vector<std::tuple<QString, QString, bool>>& watches)
    {
        QByteArray settings;
        int panel = 1;
        for (const auto& [name, folder, sub] : watches)
            settings += "[" + name.toUtf8() + "]\nname=" + name.toUtf8() + "\npath=" + folder.toUtf8() +
                        "\npanel=" + QByteArray::number(panel++) + "\nactive=1\navilable=0\nsub=" + (sub ? "1" : "0") +
                        "\nfcreate=1\n";
        writeFile(temp_.path() + "/VSM25/settings.cfg", settings);
    }

    // SIGTERM ends it with exit code 0 within a second, by itself (not by the watchdog).
    void expectQuickExit(ProgramRun& run)
    {
        QElapsedTimer exit;
        exit.start();
        EXPECT_EQ(run.terminate(5000), 0) << run.lines().join('\n').toStdString();
        const qint64 ms = exit.elapsed();
        std::printf("exit with a hung FUSE server: %lld ms\n", static_cast<long long>(ms));
        EXPECT_LT(ms, 1000) << "the program should end within a second of SIGTERM";
        for (const QString& line : run.lines()) EXPECT_FALSE(line.contains("still busy")) << line.toStdString();
    }

    QTemporaryDir temp_;
    StoppedFuseServer server_;
};

TEST_F(DeadMountProgramTest, AHungFuseServerBesideTheWatchedFoldersHoldsUpNeitherStartNorWorkNorExit)
{
    // A plain folder beside the dead mount, and the folder that holds both.
    writeWatches({{"plain", plain(), true}, {"parent", place(), true}});
    ProgramRun run(temp_.path());
    ASSERT_TRUE(run.waitForLine("Watch plain Started monitoring path: " + plain(), 20000)) << run.lines().join('\n').toStdString();
    writeFile(plain() + "/x.txt", "x");
    EXPECT_TRUE(run.waitForLine(": plain: File create event, file name: " + plain() + "/x.txt")) << run.lines().join('\n').toStdString();
    // The watch that holds the dead mount starts too, told that the mount does not answer, and
    // hears what happens beside it.
    ASSERT_TRUE(run.waitForLine("Watch parent Started monitoring path: " + place(), 10000)) << run.lines().join('\n').toStdString();
    EXPECT_TRUE(run.waitForLine(mount() + " is on a network or FUSE file system (fuse", 1000)) << run.lines().join('\n').toStdString();
    EXPECT_TRUE(run.waitForLine("that does not answer", 1000)) << run.lines().join('\n').toStdString();
    writeFile(place() + "/y.txt", "y");
    EXPECT_TRUE(run.waitForLine(": parent: File create event, file name: " + place() + "/y.txt")) << run.lines().join('\n').toStdString();
    expectQuickExit(run);
}

TEST_F(DeadMountProgramTest, AWatchOnADeadMountHoldsUpNeitherTheOtherWatchesNorTheWindowNorExit)
{
    // The dead one first: its folder is looked at before the plain one's.
    writeWatches({{"dead", mount(), true}, {"plain", plain(), false}});
    ProgramRun run(temp_.path());
    QElapsedTimer started;
    started.start();
    // The dead one starts after a short wait for its server, told that its folder does not
    // answer; the one after it does not wait any longer than that.
    ASSERT_TRUE(run.waitForLine("Watch plain Started monitoring path: " + plain(), 8000)) << run.lines().join('\n').toStdString();
    std::printf("plain watch after a dead one started in %lld ms\n", static_cast<long long>(started.elapsed()));
    EXPECT_TRUE(run.waitForLine("Watch dead Started monitoring path: " + mount(), 1000))
        << run.lines().join('\n').toStdString();
    EXPECT_TRUE(run.waitForLine(mount() + " is on a network or FUSE file system (fuse", 1000))
        << run.lines().join('\n').toStdString();
    EXPECT_TRUE(run.waitForLine("that does not answer: changes there are looked for until it does", 1000))
        << run.lines().join('\n').toStdString();
    for (const char* name : {"a.txt", "b.txt"}) {
        writeFile(plain() + "/" + name, "x");
        EXPECT_TRUE(run.waitForLine(QStringLiteral(": plain: File create event, file name: %1/%2").arg(plain(), name), 5000))
            << run.lines().join('\n').toStdString();
    }
    for (const QString& line : run.lines()) EXPECT_FALSE(line.contains("Cannot monitor")) << line.toStdString();
    // The server answers again: the folder is watched, and a change behind the mount (made to
    // the folder it shows, not through it) is reported.
    ASSERT_TRUE(server_.goOn());
    // Its folder is looked at and walked first, so a file made before that is no news: one
    // more is made each second until one is reported.
    bool reported = false;
    for (int n = 0; n < 15 && !reported; ++n) {
        const QString name = QStringLiteral("c%1.txt").arg(n);
        writeFile(under() + "/inside/" + name, "c");
        reported = run.waitForLine(QStringLiteral(": dead: File create event, file name: %1/inside/%2").arg(mount(), name), 1000);
    }
    EXPECT_TRUE(reported) << run.lines().join('\n').toStdString();
    // Stopped again: exit is not held up by it.
    ASSERT_TRUE(server_.stop());
    expectQuickExit(run);
}

}  // namespace
