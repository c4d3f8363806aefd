// The window without a mouse: the Tab chain of the tabs and the file boxes' dialogs.
#include "StartedFormFixture.h"

#include "platform/boxes/FileDialogs.h"
#include "notify/TStShellTreeView.h"
#include "ui/kit/TFilenameEdit.h"

#include <QKeyEvent>
#include <QTest>
#include <QToolButton>

namespace {

class WatchEditorKeyboardTest : public StartedFormTest {
protected:
    QList<FileDialogs::Request> asked;
    QStringList answers;
    FileDialogs::Responder previous;

    void SetUp() override
    {
        StartedFormTest::SetUp();
        previous = FileDialogs::setResponder([this](const FileDialogs::Request& r) {
            asked << r;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
        start();
        showActive();
        form->pgc1->setCurrentWidget(form->ts3);
        QApplication::processEvents();
    }
    void TearDown() override
    {
        FileDialogs::setResponder(previous);
        StartedFormTest::TearDown();
    }

    static void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
        QApplication::processEvents();
    }
    // Where Tab goes from each widget, until it leaves the tab.
    QList<QWidget*> tabChainFrom(QWidget* first)
    {
        QWidget* page = form->pgc1->currentWidget();
        first->setFocus();
        QList<QWidget*> chain;
        while (QWidget* w = QApplication::focusWidget()) {
            if (!page->isAncestorOf(w) || chain.contains(w)) break;
            chain << w;
            press(Qt::Key_Tab);
        }
        return chain;
    }
};

// Every control of the tab, everything enabled: automatic mode on the entry that allows
// waiting, the log on.
TEST_F(WatchEditorKeyboardTest, TabReadsRowByRowAndEachSwitchComesBeforeWhatItEnables)
{
    form->chk14->click();
    form->chk15->click();
    form->cbb1->setCurrentIndex(0);
    emit form->cbb1->activated(0);
    form->chk17->click();
    for (QCheckBox* box : {form->chk2, form->chk3, form->chk4, form->chk5, form->chk6, form->chk7, form->chk8, form->chk9,
                           form->chk10, form->chk11, form->chk12, form->chk13})
        box->setEnabled(true);

    const QList<QWidget*> chain = tabChainFrom(form->tv1);
    const QList<QWidget*> expected{form->tv1, form->chk1, form->chk2, form->chk5, form->chk8, form->chk11, form->chk3,
                                   form->chk6, form->chk9, form->chk12, form->chk4, form->chk7, form->chk10, form->chk13,
                                   form->chk14, form->chk15, form->edt2, form->edt2->browseButton(), form->cbb1,
                                   form->chk17, form->chk16, form->edt3, form->edt3->browseButton(), form->chk18,
                                   form->chk19, form->edt4, form->btn3, form->btn4, form->btn7, form->btn5};
    QStringList names;
    for (QWidget* w : chain) names << (w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName());
    EXPECT_EQ(chain, expected) << names.join(' ').toStdString();

    // What the eye reads: each step goes right on its row (the two overlap in height) or down.
    for (qsizetype i = 1; i < chain.size(); ++i) {
        const QRect a(chain[i - 1]->mapTo(form->ts3, QPoint(0, 0)), chain[i - 1]->size());
        const QRect b(chain[i]->mapTo(form->ts3, QPoint(0, 0)), chain[i]->size());
        const bool sameRow = a.top() <= b.bottom() && b.top() <= a.bottom();
        EXPECT_TRUE(sameRow ? b.left() > a.left() : b.top() > a.top())
            << names[i - 1].toStdString() << " then " << names[i].toStdString();
    }
    // A switch comes before the controls it enables.
    const struct {
        QWidget* sw;
        QWidget* enabled;
    } pairs[] = {{form->chk14, form->edt2}, {form->chk14, form->chk15}, {form->chk15, form->cbb1},
                 {form->cbb1, form->chk16}, {form->chk17, form->edt3}};
    for (const auto& p : pairs) EXPECT_LT(chain.indexOf(p.sw), chain.indexOf(p.enabled)) << p.sw->objectName().toStdString();
}

// The other tabs read left to right and top to bottom too: the bottom bar's own buttons
// before Tray and Exit.
TEST_F(WatchEditorKeyboardTest, TheListAndLogTabsReadInOrder)
{
    form->pgc1->setCurrentWidget(form->ts1);
    QApplication::processEvents();
    EXPECT_EQ(tabChainFrom(form->btn1),
              (QList<QWidget*>{form->btn1, form->btn8, form->btn22, form->btn17, form->btn18, form->btn23, form->btn9,
                               form->btn19, form->btn24, form->btn20, form->btn21, form->btn25, form->btn12, form->btn10}));
    form->pgc1->setCurrentWidget(form->ts2);
    QApplication::processEvents();
    EXPECT_EQ(tabChainFrom(form->edt1),
              (QList<QWidget*>{form->edt1, form->btn2, form->btn16, form->btn15, form->btn13}));
}

// The log file chosen with the keyboard alone: Space on its switch, Tab to the box, then each
// key that opens the dialog; the box itself still takes no typing.
TEST_F(WatchEditorKeyboardTest, ALogFileIsChosenWithoutTheMouse)
{
    const QString logs = folder("logs");
    form->chk17->setFocus();
    press(Qt::Key_Space);
    ASSERT_TRUE(form->chk17->isChecked());
    press(Qt::Key_Tab);  // past the disabled "Wait for file process to finish"
    ASSERT_EQ(QApplication::focusWidget(), form->edt3);

    const struct {
        int key;
        Qt::KeyboardModifiers mods;
    } keys[] = {{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_Space, Qt::NoModifier},
                {Qt::Key_Down, Qt::AltModifier}};
    int n = 0;
    for (const auto& k : keys) {
        const QString chosen = logs + "/by-key-" + QString::number(++n) + ".txt";
        answers = {chosen};
        asked.clear();
        press(k.key, k.mods);
        ASSERT_EQ(asked.size(), 1) << "key " << k.key;
        EXPECT_EQ(asked.first().title, "Browse");
        EXPECT_EQ(form->edt3->text(), chosen);
        EXPECT_EQ(QApplication::focusWidget(), form->edt3);
    }
    press(Qt::Key_A);
    EXPECT_EQ(form->edt3->text(), logs + "/by-key-4.txt");

    // Tab reaches the browse button, which Space and Enter press.
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form->edt3->browseButton());
    for (int key : {Qt::Key_Space, Qt::Key_Return}) {
        answers = {logs + "/from-button.txt"};
        asked.clear();
        press(key);
        EXPECT_EQ(asked.size(), 1) << "key " << key;
        EXPECT_EQ(form->edt3->text(), logs + "/from-button.txt");
    }
    // No answer in the dialog (cancelled): the box keeps its file.
    asked.clear();
    press(Qt::Key_Space);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(form->edt3->text(), logs + "/from-button.txt");
}

// In the program box, which takes typing, Space types a blank and Enter still presses Apply;
// Alt+Down opens its dialog.
TEST_F(WatchEditorKeyboardTest, TheProgramBoxTypesAndOpensItsDialogOnAltDown)
{
    form->chk14->click();
    form->edt2->setFocus();
    for (int key : {Qt::Key_A, Qt::Key_Space, Qt::Key_B}) press(key);
    EXPECT_EQ(form->edt2->text(), "a b");
    EXPECT_TRUE(asked.isEmpty());

    press(Qt::Key_Return);
    EXPECT_TRUE(asked.isEmpty());
    // Apply ran: the tree has selected no folder yet.
    EXPECT_EQ(boxes.texts(), QStringList{"No folder selected to monitor"});

    const QString tools = folder("my tools");
    answers = {tools + "/run.sh"};
    form->edt2->setFocus();
    press(Qt::Key_Down, Qt::AltModifier);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(form->edt2->text(), '"' + tools + "/run.sh\"");
}

}  // namespace
