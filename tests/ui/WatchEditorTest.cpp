#include "WatchEditorBand.h"

#include "core/SettingsFile.h"
#include "platform/boxes/FileDialogs.h"
#include "ui/kit/TFilenameEdit.h"

#include <QKeyEvent>
#include <QToolButton>

#include <functional>

namespace {

using namespace WatchEditorBand;

class WatchEditorTest : public StartedFormTest {};

// The state tables of the action band: every transition, driven as the user drives it.
TEST_F(WatchEditorTest, ActionBandStateTable)
{
    start();
    using Step = std::function<void(TForm1&)>;
    const Step program = [](TForm1& f) { f.chk14->click(); };
    const Step arguments = [](TForm1& f) { f.chk15->click(); };
    const Step wait = [](TForm1& f) { f.chk16->click(); };
    const Step typeProgram = [](TForm1& f) { f.edt2->setText("/bin/true"); };
    const Step log = [](TForm1& f) { f.chk17->click(); };
    const Step logFile = [](TForm1& f) { f.edt3->setText("/var/tmp/a.log"); };
    const Step pickFolderCreate = [](TForm1& f) { f.chk8->click(); };
    auto entry = [](int i) { return Step([i](TForm1& f) { choose(f, i); }); };

    const QString programOff = "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[] chk17=0 edt3=D";
    const QString programOn = "chk14=1 edt2=E chk15=E0 cbb1=D-1 chk16=D0 events=E[] chk17=0 edt3=D";
    const QString automaticNoEntry = "chk14=1 edt2=E chk15=E1 cbb1=E-1 chk16=D0 events=D[] chk17=0 edt3=D";
    struct Case {
        const char* what;
        QList<Step> steps;
        QString expected;
        int notices;
    } const cases[] = {
        {"design state", {}, programOff, 0},
        {"program on", {program}, programOn, 0},
        {"program off again, its path emptied", {program, typeProgram, program}, programOff, 0},
        {"argument option: automatic mode, no entry", {program, pickFolderCreate, arguments}, automaticNoEntry, 1},
        {"entry 0: File create, wait usable", {program, arguments, entry(0)},
         "chk14=1 edt2=E chk15=E1 cbb1=E0 chk16=E0 events=D[chk2] chk17=0 edt3=D", 1},
        {"entry 0 keeps the wait's check mark", {program, arguments, entry(0), wait, entry(0)},
         "chk14=1 edt2=E chk15=E1 cbb1=E0 chk16=E1 events=D[chk2] chk17=0 edt3=D", 1},
        {"entry 5 after entry 0 with wait: wait off", {program, arguments, entry(0), wait, entry(5)},
         "chk14=1 edt2=E chk15=E1 cbb1=E5 chk16=D0 events=D[chk5] chk17=0 edt3=D", 1},
        {"unchecking the argument option keeps the chosen event", {program, arguments, entry(9), arguments},
         "chk14=1 edt2=E chk15=E0 cbb1=D-1 chk16=D0 events=E[chk10] chk17=0 edt3=D", 1},
        {"unchecking the argument option after entry 0 with wait", {program, arguments, entry(0), wait, arguments},
         "chk14=1 edt2=E chk15=E0 cbb1=D-1 chk16=D0 events=E[chk2] chk17=0 edt3=D", 1},
        {"unchecking the program in automatic mode leaves it",
         {program, typeProgram, arguments, entry(0), wait, program},
         "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[chk2] chk17=0 edt3=D", 1},
        {"argument option again: the kept event is cleared", {program, arguments, entry(3), arguments, arguments},
         automaticNoEntry, 2},
        {"log on", {log}, "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[] chk17=1 edt3=E", 0},
        {"log on with a file", {log, logFile}, "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[] chk17=1 edt3=E+text", 0},
        {"log off again empties the file box", {log, logFile, log}, programOff, 0},
        {"log is independent of automatic mode", {log, logFile, program, arguments, entry(1)},
         "chk14=1 edt2=E chk15=E1 cbb1=E1 chk16=D0 events=D[chk3] chk17=1 edt3=E+text", 1},
    };
    for (const Case& c : cases) {
        form->btn4->click();
        boxes.clear();
        for (const Step& s : c.steps) s(*form);
        EXPECT_EQ(band(*form).toStdString(), c.expected.toStdString()) << c.what;
        EXPECT_EQ(boxes.texts(), QStringList(qsizetype(c.notices), Notice)) << c.what;
        for (const auto& b : boxes.boxes()) EXPECT_EQ(b.kind, ModalBoxes::Kind::Notice) << c.what;
    }
}

// Each of the sixteen entries selects its event box and decides the wait option.
TEST_F(WatchEditorTest, EveryArgumentEntrySelectsItsEventBox)
{
    start();
    const int expectedBox[16] = {0, 1, 2, 3, 3, 3, 4, 6, 7, 8, 8, 8, 9, 10, 11, 5};
    const QStringList texts = {"File Create - file name", "File delete -  file name", "File change - file name",
                               "File rename - new file name old file name", "File rename - new file name ",
                               "File rename - old file name", "Association change - folder name",
                               "Folder create - folder name", "Folder delete - folder name",
                               "Folder rename - new folder old folder", "Folder rename - new folder name",
                               "Folder rename - old folder name", "Folder changed - folder name",
                               "Media insert - media name", "Media remove - media name",
                               "Drive space changed - folder name"};
    ASSERT_EQ(form->cbb1->count(), 16);
    form->chk14->click();
    form->chk15->click();
    // Every entry after entry 0 with the wait checked: the wait is dropped each time.
    for (int i = 0; i < 16; ++i) {
        choose(*form, 0);
        form->chk16->setChecked(true);
        choose(*form, i);
        EXPECT_EQ(form->cbb1->itemText(i), texts[i]);
        const auto events = eventBoxes(*form);
        for (int b = 0; b < events.size(); ++b) {
            EXPECT_EQ(events[b]->isChecked(), b == expectedBox[i]) << "entry " << i << " box " << EventNames[b];
            EXPECT_FALSE(events[b]->isEnabled()) << "entry " << i << " box " << EventNames[b];
        }
        EXPECT_EQ(form->chk16->isEnabled(), i == 0) << "entry " << i;
        EXPECT_EQ(form->chk16->isChecked(), i == 0) << "entry " << i;
    }
}

// Selecting an entry from code applies nothing: only the user's choice does.
TEST_F(WatchEditorTest, EntrySelectedByCodeChangesNoEventBox)
{
    start();
    form->chk14->click();
    form->chk15->click();
    form->cbb1->setCurrentIndex(4);
    for (QCheckBox* b : eventBoxes(*form)) EXPECT_FALSE(b->isChecked());
    EXPECT_FALSE(form->chk16->isEnabled());
}

TEST_F(WatchEditorTest, ClearAllLeavesTheEditorEmpty)
{
    start();
    TForm1& f = *form;
    f.SelectFolderInTree(folder("w"));
    f.chk1->click();
    f.chk4->click();
    f.chk14->click();
    f.edt2->setText("/bin/echo");
    f.chk15->click();
    choose(f, 0);
    f.chk16->click();
    f.chk17->click();
    f.edt3->setText(temp.path() + "/log.txt");
    f.chk18->click();
    f.chk19->click();
    f.edt4->setText("name");
    boxes.clear();

    f.btn4->click();
    EXPECT_EQ(band(f).toStdString(), "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[] chk17=0 edt3=D");
    for (QCheckBox* b : {f.chk1, f.chk18, f.chk19}) EXPECT_FALSE(b->isChecked()) << b->text().toStdString();
    EXPECT_TRUE(f.edt4->text().isEmpty());
    EXPECT_EQ(f.lbl1->text(), "Selected folder:");
    ASSERT_TRUE(f.SelectedTreeFolder());
    EXPECT_TRUE(f.SelectedTreeFolder()->Pidl.isDesktop()) << "Clear All selects the desktop";
    EXPECT_TRUE(boxes.texts().isEmpty());
}

// Edit then Apply: unchanged, the watch stays in its slot; under a new name, a second watch
// is added in the next free slot and the first stays.
TEST_F(WatchEditorTest, EditAndApplyKeepsTheSlotOrAddsUnderANewName)
{
    const QString w = folder("w");
    const QByteArray content = ("[x]\nname=x\npanel=1\navilable=0\nactive=0\npath=/\n"
                                "[mine]\nname=mine\npanel=3\navilable=0\nactive=0\npath=" + w.toUtf8() +
                                "\nsub=0\nfdelete=1\nrunprog=1\nexec=/bin/true\narguments=0\nwaitproc=0\n"
                                "writelog=1\nlogfile=" + temp.path().toUtf8() + "/l.txt\npopup=1\ndesktop=0\n");
    start(content.constData());
    form->btn19->click();
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts3);
    EXPECT_EQ(form->edt4->text(), "mine");
    form->btn3->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(sections(), (QStringList{"x", "mine"}));
    EXPECT_EQ(key("mine", "panel"), "3");
    EXPECT_EQ(key("mine", "fdelete"), "1");
    EXPECT_EQ(key("mine", "exec"), "/bin/true");
    EXPECT_EQ(key("mine", "logfile"), temp.path() + "/l.txt");
    EXPECT_EQ(key("mine", "popup"), "1");
    EXPECT_EQ(form->lbl11->text(), "Watch Name: mine");
    EXPECT_TRUE(logLines().last().endsWith(": New watch created, watch name: mine"));

    form->btn19->click();
    form->edt4->setText("other");
    form->btn3->click();
    EXPECT_EQ(sections(), (QStringList{"x", "mine", "other"}));
    EXPECT_EQ(key("mine", "panel"), "3");
    EXPECT_EQ(key("other", "panel"), "2");
    EXPECT_EQ(key("other", "exec"), "/bin/true");
    EXPECT_EQ(form->lbl7->text(), "Watch Name: other");
    EXPECT_EQ(form->lbl11->text(), "Watch Name: mine");
}

// Edit of a watch with an argument fills the editor in automatic mode, with one notice.
TEST_F(WatchEditorTest, EditOfAWatchWithAnArgumentShowsTheNoticeOnce)
{
    const QString w = folder("w");
    struct Case {
        const char* argindex;
        const char* waitproc;
        QString expected;
    } const cases[] = {
        {"0", "1", "chk14=1 edt2=E+text chk15=E1 cbb1=E0 chk16=E1 events=D[chk2] chk17=1 edt3=E+text"},
        {"0", "0", "chk14=1 edt2=E+text chk15=E1 cbb1=E0 chk16=E0 events=D[chk2] chk17=1 edt3=E+text"},
        {"11", "0", "chk14=1 edt2=E+text chk15=E1 cbb1=E11 chk16=D0 events=D[chk10] chk17=1 edt3=E+text"},
        {"99", "0", "chk14=1 edt2=E+text chk15=E1 cbb1=E-1 chk16=D0 events=D[] chk17=1 edt3=E+text"},
    };
    for (const Case& c : cases) {
        const QByteArray content = "[arg]\nname=arg\npanel=1\navilable=0\nactive=0\npath=" + w.toUtf8() +
                                   "\nfcreate=1\ndrename=1\nrunprog=1\nexec=/bin/echo\narguments=1\nargindex=" +
                                   c.argindex + "\nwaitproc=" + c.waitproc + "\nwritelog=1\nlogfile=/var/tmp/x.log\n";
        start(content.constData());
        form->pgc1->setCurrentWidget(form->ts1);
        form->btn8->click();
        EXPECT_EQ(boxes.texts(), QStringList{Notice}) << c.argindex;
        EXPECT_EQ(band(*form).toStdString(), c.expected.toStdString());
        EXPECT_EQ(form->edt2->text(), "/bin/echo");
        EXPECT_EQ(form->edt3->text(), "/var/tmp/x.log");
        EXPECT_EQ(form->edt4->text(), "arg");
        EXPECT_EQ(form->lbl1->text(), w);
        EXPECT_EQ(form->pgc1->currentWidget(), form->ts3);
        ASSERT_TRUE(form->SelectedTreeFolder());
        EXPECT_EQ(form->SelectedTreeFolder()->Path, w);
    }
}

// Edit of a plain watch: the event boxes and actions as stored, no notice.
TEST_F(WatchEditorTest, EditFillsTheEditorFromTheSlot)
{
    const QString w = folder("w");
    const QByteArray content = "[p]\nname=p\npanel=2\navilable=0\nactive=0\npath=" + w.toUtf8() +
                               "\nsub=1\nfcreate=0\nfdelete=1\nfchange=1\nfrename=0\nasso=1\nspace=1\ndcreate=0\n"
                               "ddelete=1\ndrename=0\ndchange=1\nminsert=0\nmremove=1\npopup=1\ndesktop=1\n";
    start(content.constData());
    form->btn18->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(band(*form).toStdString(),
              "chk14=0 edt2=D chk15=D0 cbb1=D-1 chk16=D0 events=E[chk3,chk4,chk6,chk7,chk9,chk11,chk13] chk17=0 edt3=D");
    EXPECT_TRUE(form->chk18->isChecked());
    EXPECT_TRUE(form->chk19->isChecked());
    EXPECT_EQ(form->edt4->text(), "p");
    if (WatchSlot(2).Monitor) {
        EXPECT_TRUE(form->chk1->isChecked()) << "the monitor watches sub-folders";
    }
}

// A watched folder removed after the watch was loaded: the error box, the editor left cleared,
// the tab kept.
TEST_F(WatchEditorTest, EditOfAWatchWhoseFolderIsGoneLeavesTheEditorCleared)
{
    const QString gone = folder("gone");
    const QByteArray content = "[g]\nname=g\npanel=1\navilable=0\nactive=0\npath=" + gone.toUtf8() + "\nfcreate=1\npopup=1\n";
    start(content.constData());
    ASSERT_FALSE(WatchSlot(1).Avilable);
    ASSERT_TRUE(QDir(gone).removeRecursively());
    form->edt4->setText("typed");
    form->chk19->click();
    form->pgc1->setCurrentWidget(form->ts1);
    form->btn8->click();
    EXPECT_EQ(boxes.texts(), QStringList{"Invalid folder."});
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts1);
    EXPECT_TRUE(form->edt4->text().isEmpty());
    EXPECT_FALSE(form->chk19->isChecked());
    EXPECT_FALSE(form->chk2->isChecked());
    EXPECT_EQ(key("g", "path"), gone) << "the stored watch is left as it was";
}

TEST_F(WatchEditorTest, EditOfAnEmptySlotOnlyOpensTheEditor)
{
    start();
    form->chk18->click();
    form->edt4->setText("kept");
    form->pgc1->setCurrentWidget(form->ts1);
    for (QPushButton* edit : {form->btn18, form->btn19, form->btn21}) {
        form->pgc1->setCurrentWidget(form->ts1);
        edit->click();
        EXPECT_EQ(form->pgc1->currentWidget(), form->ts3);
        EXPECT_EQ(form->edt4->text(), "kept");
        EXPECT_TRUE(form->chk18->isChecked());
    }
}

// Enter on the Watch Settings tab presses Apply, unless another button has the focus.
TEST_F(WatchEditorTest, EnterPressesApplyUnlessAButtonHasTheFocus)
{
    start();
    showActive();
    form->pgc1->setCurrentWidget(form->ts3);
    auto pressEnter = [](int key) {
        QKeyEvent press(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &press);
    };
    for (QWidget* w : {static_cast<QWidget*>(form->edt4), static_cast<QWidget*>(form->chk18),
                       static_cast<QWidget*>(form->btn3)}) {
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            boxes.clear();
            w->setFocus();
            ASSERT_EQ(QApplication::focusWidget(), w);
            pressEnter(key);
            // The tree selects nothing before it is first painted.
            EXPECT_EQ(boxes.texts(), QStringList{"No folder selected to monitor"}) << w->metaObject()->className();
        }
    }

    // On Clear All, Enter clears and Apply does not run.
    boxes.clear();
    form->edt4->setText("typed");
    form->btn4->setFocus();
    pressEnter(Qt::Key_Return);
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_TRUE(form->edt4->text().isEmpty());

    // In the name box, Enter stores the watch.
    form->SelectFolderInTree(folder("w"));
    form->edt4->setFocus();
    for (QChar c : QString("byEnter")) {
        QKeyEvent k(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(form->edt4, &k);
    }
    pressEnter(Qt::Key_Return);
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_TRUE(sections().contains("byEnter"));

    form->edt4->setText(QString(30, u'n'));
    EXPECT_EQ(form->edt4->text().size(), 24);
}

// The file boxes browse through the dialog service with their own filters; a program path with
// a blank is shown and stored in quotes, a log file path as chosen.
TEST_F(WatchEditorTest, FileBoxesBrowseAndStoreWhatTheyShow)
{
    start();
    const QString watched = folder("w");
    const QString tools = folder("my tools");
    const QString logs = folder("my logs");
    QList<FileDialogs::Request> seen;
    QStringList answers = {tools + "/run", logs + "/events"};
    auto previous = FileDialogs::setResponder([&](const FileDialogs::Request& r) {
        seen << r;
        return answers.takeFirst();
    });
    form->chk14->click();
    form->edt2->browseButton()->click();
    form->chk17->click();
    form->edt3->browseButton()->click();
    FileDialogs::setResponder(std::move(previous));

    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0].title, "Browse");
    EXPECT_EQ(seen[0].filter,
              "Program files (*.exe)|*.exe|Batch files (*.bat)|*.bat|VB script files (*.vbs)|*.vbs|All files (*.*)|*.*");
    EXPECT_TRUE(seen[0].defaultExtension.isEmpty());
    EXPECT_TRUE(FileDialogs::nameFilters(seen[0].filter).contains("All files (*)"));
    EXPECT_EQ(seen[1].title, "Browse");
    EXPECT_EQ(seen[1].filter, "Text files (*.txt)|*.txt|Log files (*.log)|*.log");
    EXPECT_EQ(seen[1].defaultExtension, "txt");
    EXPECT_EQ(form->edt2->text(), '"' + tools + "/run\"");
    EXPECT_EQ(form->edt3->text(), logs + "/events.txt");
    EXPECT_TRUE(form->edt3->isReadOnly());

    form->SelectFolderInTree(watched);
    form->edt4->setText("files");
    form->btn3->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(key("files", "exec"), '"' + tools + "/run\"");
    EXPECT_EQ(key("files", "logfile"), logs + "/events.txt");
}

TEST_F(WatchEditorTest, FolderSelectedInTheTreeIsShownInTheLabel)
{
    start();
    form->tv1FolderSelected(nullptr, "/home/u/a & b");
    EXPECT_EQ(form->lbl1->text(), "Selected folder: /home/u/a & b");
}

}  // namespace
