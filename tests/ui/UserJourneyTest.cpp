#include "StartedFormFixture.h"
#include "support/FileBytes.h"

#include "notify/TStShellNotification.h"
#include "ui/kit/TFilenameEdit.h"

#include <QFile>
#include <QTest>

namespace {

bool anyLineContains(const QStringList& lines, const QString& text)
{
    for (const QString& l : lines)
        if (l.contains(text)) return true;
    return false;
}

class UserJourneyTest : public StartedFormTest {};

// The path a user takes through the window: define a watch with a log file and a script, Apply,
// Start, see a file's creation reported, Stop, Edit and Remove.
TEST_F(UserJourneyTest, DefineStartSeeEventStopEditRemove)
{
    start("");
    if (!WatchSlot(1).Monitor) GTEST_SKIP() << "the slots have no monitors yet";
    const QString watched = folder("watched");
    const QString logFile = folder("logs") + "/watch.log";
    const QString argsFile = temp.path() + "/args.txt";
    const QString script = temp.path() + "/run.sh";
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + argsFile.toUtf8() + "'\n");
        f.close();
        ASSERT_TRUE(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
    }

    TForm1& f = *form;
    f.pgc1->setCurrentWidget(f.ts3);
    f.SelectFolderInTree(watched);
    f.chk14->click();
    f.edt2->setText(script);
    f.chk15->click();
    f.cbb1->setCurrentIndex(0);
    emit f.cbb1->activated(0);
    f.chk17->click();
    f.edt3->setText(logFile);
    f.edt4->setText("Journey");
    f.btn3->click();
    ASSERT_EQ(sections(), QStringList{"Journey"});
    EXPECT_EQ(f.lbl3->text(), "Watch Name: Journey");
    EXPECT_EQ(f.lbl6->text(), "Actions: Execute; Arguments; Log; ");

    boxes.clear();
    f.btn1->click();
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(WatchSlot(1).Monitor->Active());
    EXPECT_TRUE(logLines().last().contains(" Started monitoring path: " + watched));
    EXPECT_EQ(key("Journey", "active"), "1");

    const QString created = watched + "/a.txt";
    {
        QFile c(created);
        ASSERT_TRUE(c.open(QIODevice::WriteOnly));
        c.write("x");
    }
    const QString event = ": Journey: File create event, file name: " + created;
    EXPECT_TRUE(QTest::qWaitFor([&] { return anyLineContains(logLines(), event); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(logFile).contains(event.toUtf8()); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(argsFile) == (created + "\n").toUtf8(); }, 10000))
        << readFile(argsFile).toStdString();

    f.btn1->click();
    EXPECT_FALSE(WatchSlot(1).Monitor->Active());
    EXPECT_TRUE(anyLineContains(logLines(), " Stoped monitoring path: " + watched));
    EXPECT_EQ(key("Journey", "active"), "0");

    boxes.clear();
    f.btn8->click();
    EXPECT_EQ(boxes.texts().size(), 1) << "the automatic-mode notice";
    EXPECT_EQ(f.edt4->text(), "Journey");
    EXPECT_EQ(f.edt2->text(), script);
    EXPECT_EQ(f.edt3->text(), logFile);
    EXPECT_EQ(f.cbb1->currentIndex(), 0);
    EXPECT_TRUE(f.chk2->isChecked());

    boxes.clear();
    f.btn22->click();
    EXPECT_EQ(boxes.texts(), QStringList{"Delete Watch: Journey ?"});
    EXPECT_TRUE(sections().isEmpty());
    EXPECT_EQ(f.lbl3->text(), "Watch Name:");
}

}  // namespace
