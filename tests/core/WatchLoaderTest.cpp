#include "core/WatchLoader.h"
#include "notify/TStShellNotification.h"
#include "ui/StartedFormFixture.h"
#include "ui/kit/TCyPanel.h"

#include <QLabel>

namespace {

using WatchLoaderTest = StartedFormTest;

QColor nameColour(const Twatcher& w) { return w.WatchNameLbl->palette().color(QPalette::WindowText); }

// One section per row, loaded at start-up; what its slot shows and holds afterwards.
TEST_F(WatchLoaderTest, SectionsLoadIntoTheirSlots)
{
    const QString d = folder("d");
    struct Case {
        const char* what;
        QByteArray section;
        QString pathLine, eventsLine, actionsLine;
        bool active, wait;
        const char* waitprocAfter;
    } const cases[] = {
        {"sample", "[sample]\npanel=1\navilable=0\nactive=0\nname=sample\nstat=0\npath=/\nsub=0\ndchange=\nrunprog=\nwritelog=\n",
         "Path: /", "Events: ", "Actions: ", false, false, "0"},
        {"sub-folders", "[s]\npanel=1\navilable=0\nactive=0\nname=s\npath=" + d.toUtf8() + "\nsub=1\nfcreate=1\nmremove=1\n",
         "Path: " + d + "; WatchSub", "Events: FC; MRem; ", "Actions: ", false, false, "0"},
        {"wait without arguments", "[w]\npanel=1\navilable=0\nactive=0\nname=w\npath=/\narguments=0\nwaitproc=1\n", "Path: /",
         "Events: ", "Actions: ", false, false, "0"},
        {"wait with entry 0", "[w]\npanel=1\navilable=0\nactive=0\nname=w\npath=/\nrunprog=1\nexec=/bin/true\narguments=1\nargindex=0\nwaitproc=1\n",
         "Path: /", "Events: ", "Actions: Execute; Arguments; Wait; ", false, true, "1"},
        {"wait with entry 3", "[w]\npanel=1\navilable=0\nactive=0\nname=w\npath=/\narguments=1\nargindex=3\nwaitproc=1\n", "Path: /",
         "Events: ", "Actions: Arguments; ", false, false, "1"},
        {"every action", "[a]\npanel=1\navilable=0\nactive=1\nname=a\npath=/\nrunprog=1\narguments=1\nargindex=0\nwaitproc=1\nwritelog=1\npopup=1\ndesktop=1\n"
         "fcreate=1\nfdelete=1\nfchange=1\nfrename=1\nasso=1\nspace=1\ndcreate=1\nddelete=1\ndrename=1\ndchange=1\nminsert=1\nmremove=1\n",
         "Path: /", "Events: FC; FD; FCh; FR; Asso; Spc; DC; DD; DR; DCh; MIns; MRem; ",
         "Actions: Execute; Arguments; Wait; Log; Popup; DesktopAlert; ", true, true, "1"},
    };
    for (const Case& c : cases) {
        form.reset();
        QFile::remove(file());
        start(c.section.constData());
        const Twatcher& w = WatchSlot(1);
        EXPECT_FALSE(w.Avilable) << c.what;
        EXPECT_EQ(form->lbl4->text(), c.pathLine) << c.what;
        EXPECT_EQ(form->lbl5->text(), c.eventsLine) << c.what;
        EXPECT_EQ(form->lbl6->text(), c.actionsLine) << c.what;
        EXPECT_EQ(w.WaitForProcess, c.wait) << c.what;
        EXPECT_EQ(key(sections().first(), "waitproc"), c.waitprocAfter) << c.what;
        if (c.active) {
            EXPECT_EQ(form->cypnl1->Degrade().FromColor(), QColor(0, 0, 128)) << c.what;
            EXPECT_EQ(nameColour(w), QColor(0, 255, 255)) << c.what;
        } else {
            EXPECT_EQ(form->cypnl1->Degrade().FromColor(), QColor(255, 255, 255)) << c.what;
            EXPECT_EQ(form->cypnl1->Degrade().ToColor(), QColor(166, 202, 240)) << c.what;
            EXPECT_EQ(nameColour(w), QColor(0, 0, 255)) << c.what;
        }
    }
}

TEST_F(WatchLoaderTest, EventSetFollowsTheKeysAndTheLastSectionOfOneName)
{
    start("[a]\npanel=1\navilable=0\nname=same\npath=/\nfcreate=1\n[b]\npanel=2\navilable=0\nname=same\npath=/\nddelete=1\nasso=1\n");
    const TStNotifyEventsSet expected{neFolderDelete, neAssociationChange};
    EXPECT_EQ(form->ShNotify1->NotifyEvents().Bits(), expected.Bits());
    EXPECT_EQ(form->ShNotify2->NotifyEvents().Bits(), expected.Bits());
    EXPECT_TRUE(SetFlags("Same").IsEmpty()) << "names match with regard to case";
    EXPECT_FALSE(form->ShNotify1->Active()) << "loading never starts a monitor";
}

TEST_F(WatchLoaderTest, BadSectionsAreReportedOrSkippedAndTheRestLoads)
{
    const QString gone = temp.path() + "/gone";
    start(("[bad]\npanel=1\navilable=0\nactive=0\nname=bad\npath=/\narguments=1\nargindex=seven\n"
           "[nowhere]\npanel=7\navilable=0\nname=nowhere\npath=/\n"
           "[vanished]\npanel=3\navilable=0\nactive=0\nname=vanished\npath=" + gone.toUtf8() + "\nfcreate=1\n"
           "[good]\npanel=2\navilable=0\nactive=0\nname=good\npath=/\n").constData());
    EXPECT_EQ(form->lbl7->text(), "Watch Name: good");
    EXPECT_EQ(form->lbl11->text(), "Watch Name: vanished") << "a vanished folder still loads, so it can be edited or removed";
    EXPECT_FALSE(WatchSlot(3).Avilable);
    EXPECT_EQ(WatchSlot(3).Name, "vanished");
    EXPECT_EQ(form->lbl15->text(), "Watch Name:") << "panel 7 names no slot";
    boxes.clear();
    LoadSettingsToWatchList();
    EXPECT_EQ(boxes.texts(), QStringList{"'seven' is not a valid integer value."});
}

}  // namespace
