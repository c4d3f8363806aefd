#include "WatchEditorBand.h"

#include "core/SettingsFile.h"
#include "notify/TStShellNotification.h"
#include "platform/boxes/FileDialogs.h"
#include "ui/kit/TCyPanel.h"
#include "ui/kit/TFilenameEdit.h"

#include <QKeyEvent>
#include <QToolButton>

#include <functional>

namespace {

using namespace WatchEditorBand;

class WatchEditorApplyTest : public StartedFormTest {};

// Apply's checks in order: the first that fails shows its message, moves the focus and
// stores nothing.
TEST_F(WatchEditorApplyTest, ApplyChecksRefuseAndStoreNothing)
{
    start();
    showActive();
    const QString watched = folder("Watched");
    const QString program = temp.path() + "/run.sh";
    using Setup = std::function<void(TForm1&)>;
    struct Case {
        const char* what;
        Setup setup;
        QString message;
        std::function<QWidget*(TForm1&)> focus;  // null: the focus stays where it was
    } const cases[] = {
        {"log file in the watched folder",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.chk17->click();
             f.edt3->setText(watched + "/log.txt");
             f.chk14->click();  // later checks would fail too
         },
         "Log file can't be inside the monitored path", [](TForm1& f) -> QWidget* { return f.edt3; }},
        {"program option without a program",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.chk14->click();
             f.chk17->click();
         },
         "You selected to run a program on event, enter the program full path and name",
         [](TForm1& f) -> QWidget* { return f.edt2; }},
        {"log option without a file",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.chk14->click();
             f.edt2->setText(program);
             f.chk15->click();
             f.chk17->click();
         },
         "You selected to write a log file on event, enter the log file full path and name",
         [](TForm1& f) -> QWidget* { return f.edt3; }},
        {"argument option without an entry",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.chk14->click();
             f.edt2->setText(program);
             f.chk15->click();
         },
         "You selected to use arguments, select an argument from list",
         [](TForm1& f) -> QWidget* { return f.cbb1; }},
        {"empty name",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.edt4->setText("");
         },
         "Please enter a watch name", [](TForm1& f) -> QWidget* { return f.edt4; }},
        {"name of blanks and tabs",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.edt4->setText(" \t ");
         },
         "Please enter a watch name", [](TForm1& f) -> QWidget* { return f.edt4; }},
        {"name that could never be found again",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.edt4->setText("my[watch]");
         },
         UnstorableNameMessage, [](TForm1& f) -> QWidget* { return f.edt4; }},
        {"name in quotes",
         [&](TForm1& f) {
             f.SelectFolderInTree(watched);
             f.edt4->setText("'docs'");
         },
         UnstorableNameMessage, [](TForm1& f) -> QWidget* { return f.edt4; }},
    };
    const QByteArray before = settingsBytes();
    for (const Case& c : cases) {
        form->btn4->click();
        form->pgc1->setCurrentWidget(form->ts3);
        form->btn4->setFocus();
        c.setup(*form);
        const QString snapshot = band(*form);
        const QString name = form->edt4->text();
        const QStringList linesBefore = logLines();
        boxes.clear();
        form->btn3->click();
        EXPECT_EQ(boxes.texts(), QStringList{c.message}) << c.what;
        ASSERT_FALSE(boxes.boxes().isEmpty());
        EXPECT_EQ(boxes.boxes()[0].kind, ModalBoxes::Kind::Error) << c.what;
        if (c.focus) {
            EXPECT_EQ(QApplication::focusWidget(), c.focus(*form)) << c.what;
        } else {
            EXPECT_EQ(QApplication::focusWidget(), form->btn4) << c.what << ": focus stays";
        }
        EXPECT_EQ(settingsBytes(), before) << c.what;
        EXPECT_EQ(band(*form), snapshot) << c.what << ": the editor keeps its contents";
        EXPECT_EQ(form->edt4->text(), name) << c.what;
        EXPECT_EQ(logLines(), linesBefore) << c.what;
        EXPECT_EQ(form->pgc1->currentWidget(), form->ts3) << c.what;
    }
}

// Check 2: where a log file may lie. Lower-cased comparison; with sub-folders watched the
// whole tree below the folder is refused, since the watch would report its own log lines.
TEST_F(WatchEditorApplyTest, LogFilePlaceTable)
{
    start();
    const QString data = folder("Data");
    folder("Data/sub");
    folder("Data2");
    folder("elsewhere");
    ASSERT_TRUE(QFile::link(data, temp.path() + "/link"));
    struct Case {
        QString watched;
        QString log;
        bool sub;
        bool refused;
    } const cases[] = {
        {data, data + "/log.txt", false, true},
        {data, temp.path() + "/data/LOG.txt", false, true},
        {data, data + "/sub/log.txt", false, false},
        {data, data + "/sub/log.txt", true, true},
        {data, data + "/sub/deeper/log.txt", true, true},
        {data, temp.path() + "/Data2/log.txt", true, false},
        {data, temp.path() + "/elsewhere/log.txt", true, false},
        {data, temp.path() + "/log.txt", true, false},
        {temp.path() + "/link", data + "/log.txt", false, true},
        {data, temp.path() + "/link/sub/log.txt", true, true},
        {"/", "/log.txt", false, true},
        {"/", temp.path() + "/log.txt", false, false},
        {"/", temp.path() + "/log.txt", true, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string what = (c.watched + " " + c.log + (c.sub ? " sub" : "")).toStdString();
        form->btn4->click();
        form->SelectFolderInTree(c.watched);
        if (c.sub) form->chk1->click();
        form->chk17->click();
        form->edt3->setText(c.log);
        const QString name = QString("w%1").arg(++n);
        form->edt4->setText(name);
        boxes.clear();
        form->btn3->click();
        if (c.refused) {
            EXPECT_EQ(boxes.texts(), QStringList{"Log file can't be inside the monitored path"}) << what;
            EXPECT_FALSE(sections().contains(name)) << what;
        } else {
            EXPECT_TRUE(boxes.texts().isEmpty()) << what;
            EXPECT_EQ(key(name, "logfile"), c.log) << what;
            form->DeleteWatch(WatchSlot(key(name, "panel").toInt()));
        }
    }
}

// Each event box alone, stored, loaded and edited again: its own key is on and no other, the
// panel shows its abbreviation, the monitor asks for its event, and the editor ticks it again.
TEST_F(WatchEditorApplyTest, EachEventBoxTravelsAsItsOwnKind)
{
    start();
    const QString watched = folder("kinds");
    const QStringList keys = {"fcreate", "fdelete", "fchange", "frename", "asso", "space",
                              "dcreate", "ddelete", "drename", "dchange", "minsert", "mremove"};
    const struct Case {
        const char* box;
        const char* key;
        const char* abbreviation;
        TStNotifyEvents event;
    } cases[] = {
        {"chk2", "fcreate", "FC; ", neFileCreate},         {"chk3", "fdelete", "FD; ", neFileDelete},
        {"chk4", "fchange", "FCh; ", neFileChange},        {"chk5", "frename", "FR; ", neFileRename},
        {"chk6", "asso", "Asso; ", neAssociationChange},   {"chk7", "space", "Spc; ", neDriveSpaceChange},
        {"chk8", "dcreate", "DC; ", neFolderCreate},       {"chk9", "ddelete", "DD; ", neFolderDelete},
        {"chk10", "drename", "DR; ", neFolderRename},      {"chk11", "dchange", "DCh; ", neFolderUpdate},
        {"chk12", "minsert", "MIns; ", neMediaInsert},     {"chk13", "mremove", "MRem; ", neMediaRemove},
    };
    TForm1& f = *form;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        f.pgc1->setCurrentWidget(f.ts3);
        f.SelectFolderInTree(watched);
        const QList<QCheckBox*> events = eventBoxes(f);
        for (int i = 0; i < events.size(); ++i)
            if (QString(EventNames[i]) == c.box) events[i]->click();
        f.edt4->setText("kind");
        boxes.clear();
        f.btn3->click();
        ASSERT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
        for (const QString& k : keys) EXPECT_EQ(key("kind", k), k == c.key ? "1" : "0") << k.toStdString();
        EXPECT_EQ(f.lbl9->text(), QString("Events: ") + c.abbreviation);
        EXPECT_EQ(f.ShNotify2->NotifyEvents().Bits(), TStNotifyEventsSet{c.event}.Bits());
        f.btn18->click();  // Edit of slot 2
        QStringList ticked;
        for (int i = 0; i < events.size(); ++i)
            if (events[i]->isChecked()) ticked << EventNames[i];
        EXPECT_EQ(ticked, QStringList{c.box});
        f.ClearAllControls();
        f.DeleteWatch(WatchSlot(2));
        ASSERT_FALSE(sections().contains("kind"));
    }
}

// A watch stored from every control, and what the window shows afterwards.
TEST_F(WatchEditorApplyTest, ApplyStoresTheWatchAndReloads)
{
    start();
    const QString watched = folder("in box");
    TForm1& f = *form;
    f.pgc1->setCurrentWidget(f.ts3);
    f.SelectFolderInTree(watched);
    f.chk1->click();
    f.chk14->click();
    f.edt2->setText("\"/opt/my tools/run\"");
    f.chk15->click();
    choose(f, 0);
    f.chk16->click();
    f.chk17->click();
    f.edt3->setText(temp.path() + "/logs/a b.txt");
    f.chk19->click();
    f.edt4->setText("My Watch");
    boxes.clear();
    f.btn3->click();

    EXPECT_TRUE(boxes.texts().isEmpty());
    ASSERT_EQ(sections(), (QStringList{"sample", "MyWatch"}));
    const QList<QPair<QString, QString>> expected = {
        {"name", "MyWatch"}, {"path", watched}, {"panel", "2"}, {"active", "0"}, {"avilable", "0"},
        {"sub", "1"}, {"fcreate", "1"}, {"fdelete", "0"}, {"fchange", "0"}, {"frename", "0"}, {"asso", "0"},
        {"space", "0"}, {"dcreate", "0"}, {"ddelete", "0"}, {"drename", "0"}, {"dchange", "0"}, {"minsert", "0"},
        {"mremove", "0"}, {"runprog", "1"}, {"exec", "\"/opt/my tools/run\""}, {"arguments", "1"},
        {"argindex", "0"}, {"waitproc", "1"}, {"writelog", "1"}, {"logfile", temp.path() + "/logs/a b.txt"},
        {"popup", "0"}, {"desktop", "1"},
    };
    for (const auto& [k, v] : expected) EXPECT_EQ(key("MyWatch", k), v) << k.toStdString();
    EXPECT_TRUE(settingsBytes().contains("exec=\"\"/opt/my tools/run\"\"\n")) << "stored so that it reads back with its quotes";

    EXPECT_EQ(f.lbl7->text(), "Watch Name: MyWatch");
    EXPECT_EQ(f.lbl8->text(), "Path: " + watched + "; WatchSub");
    EXPECT_EQ(f.lbl9->text(), "Events: FC; ");
    EXPECT_EQ(f.lbl10->text(), "Actions: Execute; Arguments; Wait; Log; DesktopAlert; ");
    EXPECT_FALSE(WatchSlot(2).Avilable);
    EXPECT_TRUE(logLines().last().endsWith(": New watch created, watch name: MyWatch"));
    EXPECT_EQ(f.pgc1->currentWidget(), f.ts1);
    EXPECT_EQ(band(f).toStdString(), "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[] chk17=0 edt3=D");
    EXPECT_TRUE(f.edt4->text().isEmpty());
    ASSERT_TRUE(f.SelectedTreeFolder());
    EXPECT_TRUE(f.SelectedTreeFolder()->Pidl.isDesktop());
}

// A store that fails on the disk is reported, and the panel emptied for it shows the stored
// watch again instead of hiding it.
TEST_F(WatchEditorApplyTest, FailedStoreRedrawsThePanel)
{
    start("[mine]\nname=mine\npanel=2\navilable=0\nactive=0\npath=/\nfcreate=1\n");
    const QByteArray before = settingsBytes();
    form->btn18->click();
    form->chk3->click();
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.ok());
        form->btn3->click();
    }
    EXPECT_EQ(boxes.texts(), QStringList{"Unable to write to " + file() + "."});
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(form->lbl7->text(), "Watch Name: mine");
    EXPECT_EQ(form->lbl9->text(), "Events: FC; ");
    EXPECT_EQ(form->edt4->text(), "mine") << "the editor keeps what was not stored";
    EXPECT_TRUE(form->chk3->isChecked());
}

// Four watches stored: a new name is refused, a stored one is stored again in its slot.
TEST_F(WatchEditorApplyTest, FullListRefusesNewNamesOnly)
{
    start("[a]\nname=a\npanel=1\navilable=0\nactive=0\npath=/\n"
          "[b]\nname=b\npanel=2\navilable=0\nactive=0\npath=/\n"
          "[c]\nname=c\npanel=3\navilable=0\nactive=0\npath=/\n"
          "[d]\nname=d\npanel=4\navilable=0\nactive=0\npath=/\n");
    const QString watched = folder("w");
    const QByteArray before = settingsBytes();
    form->SelectFolderInTree(watched);
    form->edt4->setText("e");
    form->btn3->click();
    EXPECT_EQ(boxes.texts(), QStringList{"Watch list is full, delete a watch first"});
    EXPECT_EQ(boxes.boxes()[0].kind, ModalBoxes::Kind::Warning);
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts1);
    const QStringList panels = {form->lbl3->text(), form->lbl7->text(), form->lbl11->text(), form->lbl15->text()};
    EXPECT_EQ(panels, (QStringList{"Watch Name: a", "Watch Name: b", "Watch Name: c", "Watch Name: d"}))
        << "the stored watches are drawn again";
    EXPECT_EQ(form->edt4->text(), "e") << "the editor keeps its contents";

    boxes.clear();
    form->edt4->setText("B");
    form->btn3->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(sections(), (QStringList{"a", "c", "d", "B"}));
    EXPECT_EQ(key("B", "panel"), "2");
    EXPECT_EQ(key("B", "path"), watched);
    EXPECT_EQ(form->lbl7->text(), "Watch Name: B");
}

// Apply under the name of a running watch (in any letter case) would store it as stopped while
// it runs, with a set of events its monitor never gets: refused, with a box that says to stop it
// first. Stopped, the same Apply stores it.
TEST_F(WatchEditorApplyTest, ApplyUnderTheNameOfARunningWatchIsRefused)
{
    const QString watched = folder("running");
    start(("[run]\nname=run\npanel=3\navilable=0\nactive=0\nfcreate=1\npath=" + watched + "\n").toUtf8().constData());
    form->btn9->click();
    ASSERT_TRUE(form->ShNotify3->Active());
    const QByteArray before = settingsBytes();
    auto apply = [&] {
        form->SelectFolderInTree(watched);
        form->chk3->setChecked(true);
        form->edt4->setText("Run");
        form->btn3->click();
    };
    apply();
    EXPECT_EQ(boxes.texts(), QStringList{"Watch Run is running. Stop it first, then apply the changes."});
    EXPECT_EQ(boxes.boxes().value(0).kind, ModalBoxes::Kind::Error);
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_TRUE(form->ShNotify3->Active());
    EXPECT_EQ(form->ShNotify3->NotifyEvents(), TStNotifyEventsSet{neFileCreate});
    EXPECT_EQ(form->cypnl3->Degrade().FromColor(), QColor(0, 0, 128)) << "still shown running";
    EXPECT_EQ(form->lbl13->text(), "Events: FC; ");
    EXPECT_EQ(form->edt4->text(), "Run") << "the editor keeps its contents";
    EXPECT_FALSE(logLines().last().contains("New watch created"));

    boxes.clear();
    form->btn9->click();
    apply();
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    EXPECT_EQ(key("Run", "panel"), "3");
    EXPECT_EQ(key("Run", "fdelete"), "1");
    EXPECT_EQ(form->lbl13->text(), "Events: FD; ") << "Stop cleared the editor; Apply stored what it held then";
}

// A new watch gets the lowest slot that no section of the file holds, whatever this window
// believes is free: a hand-written section without `avilable`, or one another copy of the
// program stored after this one loaded the list.
TEST_F(WatchEditorApplyTest, NewWatchTakesASlotNoSectionInTheFileHolds)
{
    struct Case {
        const char* what;
        const char* atStart;      // the file the window loads
        const char* storedLater;  // appended by another program after the load
        const char* slot;         // expected `panel` of the new watch
    } const cases[] = {
        {"hand-written sample without avilable", "[sample]\nname=sample\npanel=1\npath=/\n", "", "2"},
        {"another copy took the free slot", "[a]\nname=a\npanel=1\navilable=0\npath=/\n",
         "[b]\nname=b\npanel=2\navilable=0\npath=/\n", "3"},
        {"both, and a gap above", "[a]\nname=a\npanel=1\npath=/\n[c]\nname=c\npanel=3\navilable=0\npath=/\n",
         "[b]\nname=b\npanel=2\navilable=0\npath=/\n", "4"},
        {"a section that names no slot holds none", "[x]\nname=x\npanel=9\npath=/\n", "", "1"},
    };
    const QString watched = folder("new");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form.reset();
        QFile::remove(file());
        start(c.atStart);
        {
            QFile f(file());
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write(c.storedLater);
        }
        form->SelectFolderInTree(watched);
        form->edt4->setText("fresh");
        form->btn3->click();
        EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
        EXPECT_EQ(key("fresh", "panel"), c.slot);
        EXPECT_TRUE(logLines().filter(" already holds watch ").isEmpty()) << logLines().join('\n').toStdString();
        const int n = QString(c.slot).toInt();
        EXPECT_EQ(WatchSlot(n).Name, "fresh");
        const QLabel* names[] = {form->lbl3, form->lbl7, form->lbl11, form->lbl15};
        EXPECT_EQ(names[n - 1]->text(), "Watch Name: fresh");
    }
}

}  // namespace
