#include "WatchSlotsFixture.h"
#include "core/WatchRemoval.h"
#include "platform/changes/ChangeNotifyService.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

using WatchStartStopTest = WatchSlotsTest;

// What slot n's panel, buttons and monitor show for a watch that runs or is stopped.
void expectShown(const RecordingWatchWindow::Panel& p, const TStShellNotification& m, bool running)
{
    EXPECT_EQ(m.Active(), running);
    EXPECT_EQ(p.stopButton, running) << "the Start button reads Stop while the watch runs";
    EXPECT_EQ(p.editable, !running) << "Edit and Remove";
    EXPECT_EQ(p.look, running ? PanelLook::Running : PanelLook::Stopped);
}

TEST_F(WatchStartStopTest, StartThenStopFollowsTheStateTable)
{
    const QString d = folder("watched");
    start(("[w]\nname=w\npath=" + d.toUtf8() + "\npanel=2\nactive=0\navilable=0\nsub=1\nfcreate=1\n").constData());
    EXPECT_TRUE(press(2));
    expectShown(panel(2), monitor(2), true);
    EXPECT_EQ(monitor(2).WatchFolder(), d);
    EXPECT_EQ(key("w", "active"), "1");
    EXPECT_TRUE(WatchSlot(2).Active);
    EXPECT_TRUE(logLines().last().endsWith(": Watch w Started monitoring path: " + d));
    EXPECT_EQ(window->selections, QStringList{d});
    EXPECT_EQ(window->resets, 1) << "the tree's selection is reset once started";

    // A change in the folder reaches the slot's monitor.
    QFile f(d + "/new.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return created[1].contains(d + "/new.txt"); }, 10000)) << created[1].join('|').toStdString();

    EXPECT_TRUE(press(2));
    expectShown(panel(2), monitor(2), false);
    EXPECT_EQ(key("w", "active"), "0");
    EXPECT_TRUE(logLines().last().endsWith(": Watch w Stoped monitoring path: " + d));
    EXPECT_FALSE(WatchSlot(2).Active);
}

// A watch whose folder cannot be watched (here: gone between choosing it and its walk) is not
// shown as started: one red line names the watch and why, and the panel and buttons stay as
// for a stopped watch; what is stored stays as it was.
TEST_F(WatchStartStopTest, WatchThatCannotWatchIsNotStarted)
{
    const QString d = folder("vanishing");
    start(("[w]\nname=w\npath=" + d.toUtf8() + "\npanel=2\nactive=0\navilable=0\nsub=1\nfcreate=1\n").constData());
    // The folder tree follows what it shows; quiet, the walk is the watch's alone.
    TStShellNotification* treeMonitor = window->tree.findChild<TStShellNotification*>();
    ASSERT_TRUE(treeMonitor);
    treeMonitor->SetActive(false);
    const QStringList before = logLines();
    ChangeNotifyService::setBeforeFolderRead([d](const QString& f) {
        if (f == d) QDir(d).removeRecursively();
    });
    EXPECT_TRUE(press(2));
    ChangeNotifyService::setBeforeFolderRead(nullptr);
    expectShown(panel(2), monitor(2), false);
    EXPECT_FALSE(WatchSlot(2).Active);
    EXPECT_EQ(key("w", "active"), "0");
    const QStringList added = logLines().mid(before.size());
    ASSERT_EQ(added.size(), 1) << added.join('\n').toStdString();
    EXPECT_TRUE(added.first().endsWith(": Watch w Cannot monitor path: " + d + " (the folder does not exist)")) << added.first().toStdString();
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(WatchStartStopTest, EmptySlotDoesNothing)
{
    start("");
    const QByteArray before = settingsBytes();
    const QStringList lines = logLines();
    EXPECT_TRUE(press(3));
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(logLines(), lines);
    EXPECT_TRUE(window->selections.isEmpty());
    EXPECT_TRUE(boxes.texts().isEmpty());
}

// An unplugged drive: the watch on it is named, stays marked as running, and every other watch
// still starts.
TEST_F(WatchStartStopTest, VanishedFolderDoesNotStopTheAutoStart)
{
    const QString d = folder("ok");
    const QString gone = temp.path() + "/gone";
    QDir().mkpath(SettingsFolder);
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[g]\nname=g\npath=" + gone + "\npanel=1\nactive=1\navilable=0\n[ok]\nname=ok\npath=" + d +
                 "\npanel=2\nactive=1\navilable=0\n").toUtf8());
    }
    launch();
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(monitor(2).Active()) << "the watch after the missing folder starts";
    EXPECT_EQ(key("g", "active"), "1") << "left marked as running: it starts again when the drive is back";
    const QStringList red = logLines().filter(": Watch g Cannot monitor path: " + gone + " (Invalid folder)");
    EXPECT_EQ(red.size(), 1) << logLines().join('\n').toStdString();
    EXPECT_EQ(logLines().filter("Started monitoring path: " + d).size(), 1);
    // It does not run, so it is shown stopped, now and after the list is loaded again.
    for (const char* when : {"after start-up", "after a reload"}) {
        SCOPED_TRACE(when);
        expectShown(panel(1), monitor(1), false);
        EXPECT_FALSE(WatchSlot(1).Active);
        expectShown(panel(2), monitor(2), true);
        LoadSettingsToWatchList(*window);
    }
}

// A Start whose folder can't be found says which watch and which folder.
TEST_F(WatchStartStopTest, MissingFolderBoxNamesTheWatchAndThePath)
{
    const QString d = folder("unplugged");
    start(("[w]\nname=w\npath=" + d.toUtf8() + "\npanel=2\nactive=0\navilable=0\n").constData());
    ASSERT_TRUE(QDir(d).removeRecursively());
    EXPECT_TRUE(press(2));
    EXPECT_EQ(boxes.texts(), QStringList{"Watch w Cannot monitor path: " + d + " (Invalid folder)."});
    expectShown(panel(2), monitor(2), false);
}

// A read-only settings file: Start and Stop do what is asked, and the panel, the button and the
// live log say what runs; a red line names what could not be stored, and no box interrupts. A
// watch stored as running starts at start-up with nothing to store and nothing to report.
TEST_F(WatchStartStopTest, ReadOnlySettingsFileStartAndStopAgreeWithWhatRuns)
{
    const QString d = folder("ro");
    for (const char* stored : {"0", "1"}) {
        SCOPED_TRACE(stored);
        QFile::remove(file());
        QDir().mkpath(temp.path() + "/VSM25");
        {
            QFile f(file());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("[w]\nname=w\npath=" + d.toUtf8() + "\npanel=2\nactive=" + stored + "\navilable=0\nfcreate=1\n");
        }
        ASSERT_TRUE(QFile(file()).setPermissions(QFileDevice::ReadOwner));
        const QByteArray before = settingsBytes();
        start();
        const bool storedRunning = stored == QByteArray("1");
        ASSERT_EQ(monitor(2).Active(), storedRunning);
        auto red = [&] { return logLines().filter(QRegularExpression(": Watch w (runs|is stopped|Cannot)")); };
        EXPECT_TRUE(red().isEmpty()) << logLines().join('\n').toStdString();
        auto expectRunning = [&](bool running) { expectShown(panel(2), monitor(2), running); };
        if (!storedRunning) {
            EXPECT_TRUE(press(2));
            expectRunning(true);
            EXPECT_EQ(logLines().filter(": Watch w Started monitoring path: " + d).size(), 1);
            ASSERT_EQ(red().size(), 1) << logLines().join('\n').toStdString();
            EXPECT_TRUE(red()[0].endsWith(" runs but is not stored as running (Unable to write to " + file() +
                                          "): it will not start by itself next time"));
        }
        QFile(d + "/heard.txt").open(QIODevice::WriteOnly);
        EXPECT_TRUE(QTest::qWaitFor([&] { return created[1].contains(d + "/heard.txt"); }, 10000));
        const qsizetype redBefore = red().size();
        EXPECT_TRUE(press(2));
        expectRunning(false);
        EXPECT_EQ(logLines().filter(": Watch w Stoped monitoring path: " + d).size(), 1);
        ASSERT_EQ(red().size(), redBefore + (storedRunning ? 1 : 0)) << logLines().join('\n').toStdString();
        if (storedRunning) {
            EXPECT_TRUE(red().last().endsWith(" is stopped but stays stored as running (Unable to write to " + file() +
                                              "): it starts again at the next start"));
        }
        EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
        EXPECT_EQ(settingsBytes(), before);
        QFile(file()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::remove(d + "/heard.txt");
        unbind();
    }
}

// Stop never needs the folder: a running watch whose folder went away stops, and can then be
// edited and removed.
TEST_F(WatchStartStopTest, RunningWatchWhoseFolderVanishedStops)
{
    const QString d = folder("usb");
    start(("[w]\nname=w\npath=" + d.toUtf8() + "\npanel=1\nactive=0\navilable=0\nfcreate=1\n").constData());
    EXPECT_TRUE(press(1));
    ASSERT_TRUE(monitor(1).Active());
    ASSERT_TRUE(QDir(d).removeRecursively());
    EXPECT_TRUE(press(1));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    expectShown(panel(1), monitor(1), false);
    EXPECT_EQ(key("w", "active"), "0");
    EXPECT_TRUE(logLines().last().endsWith(": Watch w Stoped monitoring path: " + d));
    RemoveWatch(*window, WatchSlot(1));
    EXPECT_FALSE(sections().contains("w"));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

// The slot acts on the watch its panel shows, never on another section with the same number:
// not on Start, not in the auto-start, not on Stop.
TEST_F(WatchStartStopTest, ASlotActsOnlyOnItsOwnSection)
{
    const QString mine = folder("mine"), other = folder("other");
    start(("[mine]\nname=mine\npath=" + mine + "\npanel=3\nactive=0\navilable=0\n"
           "[other]\nname=other\npath=" + other + "\npanel=3\nactive=1\navilable=0\n").toUtf8().constData());
    EXPECT_FALSE(monitor(3).Active()) << "a section the loader left out started the slot";
    EXPECT_TRUE(press(3));
    EXPECT_EQ(monitor(3).WatchFolder(), mine);
    EXPECT_EQ(key("mine", "active"), "1");
    EXPECT_TRUE(press(3));
    EXPECT_EQ(key("mine", "active"), "0");
    EXPECT_EQ(key("other", "active"), "1") << "another section with the same number was written";
    // A section hand-removed while its watch runs: Stop still stops, and writes no stray section.
    EXPECT_TRUE(press(3));
    ASSERT_TRUE(monitor(3).Active());
    ProfileFile::eraseSection(file(), "mine");
    const QByteArray before = settingsBytes();
    EXPECT_TRUE(press(3));
    EXPECT_FALSE(monitor(3).Active());
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_FALSE(press(3)) << "the window is told to load the list again";
    EXPECT_FALSE(monitor(3).Active()) << "Start of a watch whose section is gone";
    EXPECT_TRUE(logLines().last().endsWith(": Watch mine is no longer stored in " + file() +
                                           ": the watch list is reloaded from the file"))
        << logLines().last().toStdString();
}

}  // namespace
