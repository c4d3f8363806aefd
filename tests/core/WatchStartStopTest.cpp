#include "core/WatchStartStop.h"
#include "notify/TStShellNotification.h"
#include "notify/TStShellTreeView.h"
#include "platform/ChangeNotifyService.h"
#include "ui/StartedFormFixture.h"
#include "ui/kit/TCyPanel.h"

#include <QTest>
#include <QTimer>

namespace {

using WatchStartStopTest = StartedFormTest;

TEST_F(WatchStartStopTest, StartThenStopFollowsTheStateTable)
{
    const QString d = folder("watched");
    start(("[w]\nname=w\npath=" + d.toUtf8() + "\npanel=2\nactive=0\navilable=0\nsub=1\nfcreate=1\n").constData());
    form->btn17->click();
    EXPECT_TRUE(form->ShNotify2->Active());
    EXPECT_EQ(form->ShNotify2->WatchFolder(), d);
    EXPECT_EQ(key("w", "active"), "1");
    EXPECT_EQ(form->btn17->text(), "Stop");
    EXPECT_FALSE(form->btn18->isEnabled());
    EXPECT_FALSE(form->btn23->isEnabled());
    EXPECT_EQ(form->cypnl2->Degrade().FromColor(), QColor(0, 0, 128));
    EXPECT_TRUE(WatchSlot(2).Active);
    EXPECT_TRUE(logLines().last().endsWith(": Watch w Started monitoring path: " + d));
    EXPECT_EQ(form->lbl1->text(), "Selected folder: ");

    // A change in the folder reaches the slot's monitor and handler.
    QFile f(d + "/new.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return logLines().last().endsWith(": w: File create event, file name: " + d + "/new.txt"); }, 10000));

    form->btn17->click();
    EXPECT_FALSE(form->ShNotify2->Active());
    EXPECT_EQ(key("w", "active"), "0");
    EXPECT_EQ(form->btn17->text(), "Start");
    EXPECT_TRUE(form->btn18->isEnabled());
    EXPECT_TRUE(form->btn23->isEnabled());
    EXPECT_EQ(form->cypnl2->Degrade().FromColor(), QColor(255, 255, 255));
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
    TStShellNotification* treeMonitor = form->tv1->findChild<TStShellNotification*>();
    ASSERT_TRUE(treeMonitor);
    treeMonitor->SetActive(false);
    const QStringList before = logLines();
    ChangeNotifyService::setBeforeFolderRead([d](const QString& f) {
        if (f == d) QDir(d).removeRecursively();
    });
    form->btn17->click();
    ChangeNotifyService::setBeforeFolderRead(nullptr);
    EXPECT_FALSE(form->ShNotify2->Active());
    EXPECT_EQ(form->btn17->text(), "Start");
    EXPECT_TRUE(form->btn18->isEnabled());
    EXPECT_TRUE(form->btn23->isEnabled());
    EXPECT_EQ(form->cypnl2->Degrade().FromColor(), QColor(255, 255, 255));
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
    form->btn9->click();
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(logLines(), lines);
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(WatchStartStopTest, VanishedFolderStopsTheAutoStart)
{
    const QString d = folder("ok");
    const QString gone = temp.path() + "/gone";
    QDir().mkpath(temp.path() + "/VSM25");
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("[g]\nname=g\npath=" + gone + "\npanel=1\nactive=1\navilable=0\n[ok]\nname=ok\npath=" + d +
                 "\npanel=2\nactive=1\navilable=0\n").toUtf8());
    }
    form = std::make_unique<TForm1>();
    ASSERT_TRUE(FormCreate(*form, {"-m"}));
    EXPECT_EQ(boxes.texts(), QStringList{"Invalid folder."});
    EXPECT_FALSE(form->ShNotify1->Active());
    EXPECT_FALSE(form->ShNotify2->Active()) << "watches after the failed one are not started";
    EXPECT_FALSE(form->tmr1->isActive());
    EXPECT_EQ(key("g", "active"), "1");
}

}  // namespace
