#include "WatchSlotsFixture.h"

namespace {

using WatchLoaderTest = WatchSlotsTest;

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
        unbind();
        QFile::remove(file());
        start(c.section.constData());
        const Twatcher& w = WatchSlot(1);
        EXPECT_FALSE(w.Avilable) << c.what;
        EXPECT_EQ(panel(1).lines.mid(1), (QStringList{c.pathLine, c.eventsLine, c.actionsLine})) << c.what;
        EXPECT_EQ(w.WaitForProcess, c.wait) << c.what;
        EXPECT_EQ(key(sections().first(), "waitproc"), c.waitprocAfter) << c.what;
        // Shown running only where the auto-start started its monitor.
        EXPECT_EQ(monitor(1).Active(), c.active) << c.what;
        EXPECT_EQ(panel(1).look, c.active ? PanelLook::Running : PanelLook::Stopped) << c.what;
        EXPECT_EQ(panel(1).stopButton, c.active) << c.what;
    }
}

// Each slot's monitor gets the event set of the section loaded into it.
TEST_F(WatchLoaderTest, EventSetFollowsTheKeysOfTheSectionLoaded)
{
    start("[a]\npanel=1\navilable=0\nname=a\npath=/\nfcreate=1\n[b]\npanel=2\navilable=0\nname=b\npath=/\nddelete=1\nasso=1\n");
    EXPECT_EQ(monitor(1).NotifyEvents().Bits(), TStNotifyEventsSet{neFileCreate}.Bits());
    const TStNotifyEventsSet b{neFolderDelete, neAssociationChange};
    EXPECT_EQ(monitor(2).NotifyEvents().Bits(), b.Bits());
    EXPECT_FALSE(monitor(1).Active()) << "loading never starts a monitor";
}

// Hand-edited files: the first section of a slot or a name is the watch; every section left out
// is named in a red line that says why; nothing stops the rest from loading, and no box.
TEST_F(WatchLoaderTest, HandEditedFilesLoadTheFirstAndNameTheRest)
{
    const QString gone = temp.path() + "/gone";
    struct Case {
        const char* what;
        QByteArray file;
        QStringList shown;  // the name each slot shows afterwards ("" = empty)
        QStringList red;    // the red lines' texts after the time stamp
    } const cases[] = {
        {"two sections, one slot",
         "[a]\nname=a\npanel=1\navilable=0\nactive=0\npath=/\n[b]\nname=b\npanel=1\navilable=0\nactive=1\npath=/\n",
         {"a", "", "", ""}, {"Watch b not loaded: slot 1 already holds watch a"}},
        {"names equal but for case",
         "[Docs]\nname=Docs\npanel=1\navilable=0\npath=/\n[docs]\nname=docs\npanel=2\navilable=0\npath=/\n",
         {"Docs", "", "", ""}, {"Watch docs not loaded: the name is taken by watch Docs"}},
        {"panel that names no slot", "[x]\nname=x\npanel=9\n[y]\nname=y\n[ok]\nname=ok\npanel=4\npath=/\navilable=0\n",
         {"", "", "", "ok"},
         {"Watch x not loaded: panel \"9\" names no slot from 1 to 4", "Watch y not loaded: panel \"\" names no slot from 1 to 4"}},
        {"argindex that is not a number",
         "[bad]\nname=bad\npanel=1\navilable=0\npath=/\narguments=1\nargindex=seven\n[good]\nname=good\npanel=2\navilable=0\npath=/\n",
         {"", "good", "", ""}, {"Watch bad not loaded: 'seven' is not a valid integer value"}},
        {"a name that is not its section's",
         "[a]\nname=b\npanel=1\navilable=0\npath=/\n[c]\npanel=2\navilable=0\npath=/\n", {"", "", "", ""},
         {"Watch a not loaded: name \"b\" is not the name of its section",
          "Watch c not loaded: name \"\" is not the name of its section"}},
        {"byte-order mark and CR LF", "\xEF\xBB\xBF[bom]\r\nname=bom\r\npanel=3\r\navilable=0\r\npath=/\r\n", {"", "", "bom", ""}, {}},
        {"a vanished folder still loads, so it can be edited or removed",
         "[vanished]\nname=vanished\npanel=2\navilable=0\npath=" + gone.toUtf8() + "\nfcreate=1\n", {"", "vanished", "", ""}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        unbind();
        QFile::remove(file());
        start(c.file.constData());
        for (int n = 1; n <= 4; ++n) {
            const QString name = c.shown[n - 1];
            EXPECT_EQ(panel(n).lines.value(0), name.isEmpty() ? QString() : "Watch Name: " + name) << "slot " << n;
            EXPECT_EQ(WatchSlot(n).Avilable, name.isEmpty()) << "slot " << n;
        }
        QStringList red;
        for (const QString& line : logLines()) red << line.section(": ", 1);
        EXPECT_EQ(red, c.red);
        EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    }
    // The red lines come again with every reload, in red.
    unbind();
    QFile::remove(file());
    start("[a]\nname=a\npanel=1\npath=/\n[b]\nname=b\npanel=1\npath=/\n");
    window->lines.clear();
    LoadSettingsToWatchList(*window);
    ASSERT_EQ(logLines().size(), 1);
    EXPECT_EQ(window->lines[0].colour, LiveLogColour::Red);
    EXPECT_TRUE(logLines()[0].endsWith(": Watch b not loaded: slot 1 already holds watch a"));
}

// The loader writes `waitproc` = "0" back only where it was something else, and in one write.
TEST_F(WatchLoaderTest, WaitWithoutArgumentsIsWrittenBackOff)
{
    start("[a]\nname=a\npanel=1\npath=/\narguments=0\nwaitproc=1\n[b]\nname=b\npanel=2\npath=/\nwaitproc=0\n"
          "[c]\nname=c\npanel=3\npath=/\n");
    EXPECT_EQ(settingsBytes(), QByteArray("[a]\nname=a\npanel=1\npath=/\narguments=0\nwaitproc=0\n[b]\nname=b\npanel=2\npath=/\n"
                                          "waitproc=0\n[c]\nname=c\npanel=3\npath=/\nwaitproc=0\n"));
}

}  // namespace
