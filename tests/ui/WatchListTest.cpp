#include "StartedFormFixture.h"

#include "ui/PanelLook.h"
#include "notify/TStShellNotification.h"
#include "ui/kit/TCyPanel.h"
#include "ui/kit/TElidedLabel.h"

#include <QHelpEvent>
#include <QToolTip>


namespace {

const char* const TwoWatches = "[one]\nname=one\npanel=1\navilable=0\nactive=0\npath=/\nfcreate=1\n"
                               "[two]\nname=two\npanel=2\navilable=0\nactive=0\npath=/\npopup=1\n";

struct Panel {
    TCyPanel* panel;
    QLabel* name;
    QLabel* path;
    QLabel* events;
    QLabel* actions;
};

Panel panelOf(const TForm1& f, int slot)
{
    const Panel all[] = {{f.cypnl1, f.lbl3, f.lbl4, f.lbl5, f.lbl6},
                         {f.cypnl2, f.lbl7, f.lbl8, f.lbl9, f.lbl10},
                         {f.cypnl3, f.lbl11, f.lbl12, f.lbl13, f.lbl14},
                         {f.cypnl4, f.lbl15, f.lbl16, f.lbl17, f.lbl18}};
    return all[slot - 1];
}

QStringList lines(const Panel& p) { return {p.name->text(), p.path->text(), p.events->text(), p.actions->text()}; }

void expectEmptyLook(const Panel& p, const char* what)
{
    EXPECT_EQ(lines(p), (QStringList{"Watch Name:", "Path:", "Events:", "Actions:"})) << what;
    EXPECT_EQ(p.panel->Degrade().FromColor(), PanelColour::SkyBlue) << what;
    EXPECT_EQ(p.panel->Degrade().ToColor(), PanelColour::White) << what;
    EXPECT_EQ(p.name->palette().color(QPalette::WindowText), PanelColour::Grey) << what;
}

class WatchListTest : public StartedFormTest {};

TEST_F(WatchListTest, ClearWatchPanelGivesTheEmptyLookAndNothingElse)
{
    start(TwoWatches);
    const Twatcher before = WatchSlot(2);
    form->ClearWatchPanel(WatchSlot(2));
    expectEmptyLook(panelOf(*form, 2), "slot 2");
    EXPECT_EQ(WatchSlot(2).Name, before.Name);
    EXPECT_FALSE(WatchSlot(2).Avilable);
    EXPECT_EQ(lines(panelOf(*form, 1)), (QStringList{"Watch Name: one", "Path: /", "Events: FC; ", "Actions: "}));
}

// A loaded watch's panel is navy with a cyan name while its monitor runs (the auto-start
// started it), white to sky blue with a blue name while it is stopped.
TEST_F(WatchListTest, LoadedPanelsShowWhatRunsInColour)
{
    struct Case {
        const char* what;
        const char* active;
        QColor from, to, name;
        const char* button;
    } const cases[] = {
        {"stopped", "0", QColor(255, 255, 255), QColor(166, 202, 240), QColor(0, 0, 255), "Start"},
        {"started at start-up", "1", QColor(0, 0, 128), QColor(0, 0, 128), QColor(0, 255, 255), "Stop"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        form.reset();
        QFile::remove(file());
        const QByteArray section = QByteArray("[a]\npanel=1\navilable=0\nname=a\npath=/\nactive=") + c.active + "\n";
        start(section.constData());
        const Panel p = panelOf(*form, 1);
        EXPECT_EQ(p.panel->Degrade().FromColor(), c.from);
        if (c.active == QByteArray("0")) {
            EXPECT_EQ(p.panel->Degrade().ToColor(), c.to);
        }
        EXPECT_EQ(p.name->palette().color(QPalette::WindowText), c.name);
        EXPECT_EQ(form->btn1->text(), c.button);
        EXPECT_EQ(form->btn8->isEnabled(), c.active == QByteArray("0"));
    }
}

TEST_F(WatchListTest, RemoveOnAnEmptyPanelDoesNothing)
{
    start(TwoWatches);
    const QByteArray before = settingsBytes();
    const QStringList log = logLines();
    for (QPushButton* remove : {form->btn24, form->btn25}) remove->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(logLines(), log);
}

TEST_F(WatchListTest, RemoveAnsweredNoChangesNothing)
{
    start(TwoWatches);
    boxes.setConfirmAnswer(ModalBoxes::Answer::No);
    const QByteArray before = settingsBytes();
    const QStringList log = logLines();
    form->btn22->click();
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, ModalBoxes::Kind::Confirmation);
    EXPECT_EQ(boxes.texts()[0], "Delete Watch: one ?");
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_EQ(logLines(), log);
    EXPECT_EQ(lines(panelOf(*form, 1)), (QStringList{"Watch Name: one", "Path: /", "Events: FC; ", "Actions: "}));
    EXPECT_FALSE(WatchSlot(1).Avilable);

    // The slot stays taken: a new watch goes to slot 3.
    boxes.clear();
    form->SelectFolderInTree(folder("w"));
    form->edt4->setText("three");
    form->btn3->click();
    EXPECT_EQ(key("three", "panel"), "3");
}

TEST_F(WatchListTest, RemoveAnsweredYesErasesEmptiesAndFreesTheSlot)
{
    start(TwoWatches);
    form->btn22->click();
    EXPECT_EQ(boxes.texts(), QStringList{"Delete Watch: one ?"});
    EXPECT_EQ(sections(), QStringList{"two"});
    EXPECT_FALSE(settingsBytes().contains("one"));
    expectEmptyLook(panelOf(*form, 1), "removed slot");
    EXPECT_TRUE(WatchSlot(1).Avilable);
    EXPECT_TRUE(WatchSlot(1).Name.isEmpty());
    EXPECT_EQ(lines(panelOf(*form, 2)), (QStringList{"Watch Name: two", "Path: /", "Events: ", "Actions: Popup; "}));
    EXPECT_FALSE(WatchSlot(2).Avilable);
    ASSERT_FALSE(logLines().isEmpty());
    EXPECT_TRUE(logLines().last().endsWith(": Watch one Deleted from watch list"));
    EXPECT_EQ(form->edt1->lineColour(form->edt1->lineCount() - 1), LiveLogColour::Blue);

    // The freed slot is the lowest free one: the next new watch takes it.
    boxes.clear();
    form->SelectFolderInTree(folder("w"));
    form->edt4->setText("next");
    form->btn3->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(key("next", "panel"), "1");
    EXPECT_EQ(form->lbl3->text(), "Watch Name: next");
}

// A watch removed from a middle slot: the next new watch takes it even when higher slots are
// free, and the other watches keep their slots.
TEST_F(WatchListTest, RemovedMiddleSlotIsHandedOutFirst)
{
    start("[a]\nname=a\npanel=1\navilable=0\nactive=0\npath=/\n"
          "[b]\nname=b\npanel=2\navilable=0\nactive=0\npath=/\n"
          "[c]\nname=c\npanel=3\navilable=0\nactive=0\npath=/\n");
    form->btn23->click();
    EXPECT_EQ(sections(), (QStringList{"a", "c"}));
    EXPECT_EQ(form->lbl3->text(), "Watch Name: a");
    EXPECT_EQ(form->lbl7->text(), "Watch Name:");
    EXPECT_EQ(form->lbl11->text(), "Watch Name: c");
    form->SelectFolderInTree(folder("w"));
    form->edt4->setText("d");
    form->btn3->click();
    EXPECT_EQ(key("d", "panel"), "2");
}

TEST_F(WatchListTest, RemoveStopsTheSlotsMonitor)
{
    start(TwoWatches);
    TStShellNotification* monitor = WatchSlot(2).Monitor;
    if (!monitor) GTEST_SKIP() << "the slots have no monitors yet";
    monitor->SetActive(true);
    form->btn23->click();
    EXPECT_FALSE(monitor->Active());
}

// A path wider than its panel gives way in the middle, so both its start and its last folders
// stay readable; the whole path is the tool tip. A path that fits is shown whole, with no tip.
TEST_F(WatchListTest, ALongPathIsCutInTheMiddleAndShownWholeAsATip)
{
    const QString deep = folder(QString("first folder of the path/") + QString(12, u'x') +
                                "/a folder with a rather long name/another folder below it/and the last one");
    const QString content = "[long]\nname=long\npanel=1\navilable=0\nactive=0\npath=" + deep +
                            "\n[short]\nname=short\npanel=2\navilable=0\nactive=0\npath=/\n";
    start(content.toUtf8().constData());
    form->show();
    form->pgc1->setCurrentWidget(form->ts1);
    QApplication::processEvents();

    auto* longLine = qobject_cast<TElidedLabel*>(form->lbl4);
    auto* shortLine = qobject_cast<TElidedLabel*>(form->lbl8);
    ASSERT_TRUE(longLine && shortLine) << "the path lines do not give way";
    EXPECT_EQ(longLine->text(), "Path: " + deep);
    const QString shown = longLine->shownText();
    ASSERT_TRUE(longLine->isElided());
    const QStringList halves = shown.split(QChar(0x2026));
    ASSERT_EQ(halves.size(), 2) << shown.toStdString();
    EXPECT_TRUE(halves[0].startsWith("Path: " + temp.path().left(4))) << shown.toStdString();
    EXPECT_TRUE(deep.endsWith(halves[1])) << shown.toStdString();
    EXPECT_TRUE(halves[1].endsWith("and the last one"));
    EXPECT_LE(longLine->fontMetrics().horizontalAdvance(shown), longLine->contentsRect().width() - longLine->indent());

    const auto tipOver = [](QLabel* label) {
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(label, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    // The line that fits first: no tip has been shown yet.
    EXPECT_FALSE(shortLine->isElided());
    EXPECT_EQ(shortLine->shownText(), "Path: /");
    EXPECT_EQ(tipOver(shortLine), QString());
    EXPECT_EQ(tipOver(longLine), "Path: " + deep);

    // Loaded into the editor, its "Selected folder:" line gives way the same way.
    form->btn8->click();
    auto* selected = qobject_cast<TElidedLabel*>(form->lbl1);
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->text(), deep);
    EXPECT_TRUE(selected->isElided());
    EXPECT_TRUE(selected->shownText().endsWith("and the last one")) << selected->shownText().toStdString();
    EXPECT_EQ(tipOver(selected), deep);

    // Emptied, the line is the bare caption again and shows whole.
    form->ClearWatchPanel(WatchSlot(1));
    EXPECT_FALSE(longLine->isElided());
    EXPECT_EQ(longLine->shownText(), "Path:");
}

}  // namespace
