#include "ui/FormCreate.h"
#include "support/BoxRecorder.h"
#include "ui/TJvDesktopAlert.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    BoxRecorder boxes;
    QByteArray oldTemp = qgetenv("TEMP");
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        qputenv("TEMP", temp.path().toUtf8());
        form = std::make_unique<TForm1>();
        form->TrayAvailable = [] { return true; };
        ASSERT_TRUE(FormCreate(*form, {}));
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        qputenv("TEMP", oldTemp);
    }
};

TEST_F(MainWindowTest, FixedWindowWithFourTabsInOrder)
{
    EXPECT_EQ(form->windowTitle(), "Vesmor 2.5");
    EXPECT_EQ(form->size(), QSize(508, 522));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    ASSERT_EQ(form->pgc1->count(), 4);
    const QStringList captions = {"Home", "Watch Settings", "Watch List", "Live Log"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(form->pgc1->tabText(i), captions[i]);
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts4);
}

TEST_F(MainWindowTest, TrayThenOpenComesBackOnTheSameTabWithTheEditorUnchanged)
{
    form->pgc1->setCurrentWidget(form->ts3);
    form->edt4->setText("kept");
    form->btn7->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->trycn1->isVisible());
    EXPECT_TRUE(form->jvdsktplrt1->Showing());
    EXPECT_EQ(form->jvdsktplrt1->MessageText(), "Vesmor 2.5 running minimized");
    EXPECT_EQ(form->jvdsktplrt1->HeaderText(), "Vesmor 2.5");
    form->OpenVesmor1->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->trycn1->isVisible());
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts3);
    EXPECT_EQ(form->edt4->text(), "kept");
}

TEST_F(MainWindowTest, TrayThenAboutComesBackOnHome)
{
    form->pgc1->setCurrentWidget(form->ts2);
    form->btn12->click();
    form->About2->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts4);
    EXPECT_FALSE(form->trycn1->isVisible());
}

TEST_F(MainWindowTest, EveryTrayButtonShowsExactlyOneAlert)
{
    for (QPushButton* tray : {form->btn7, form->btn12, form->btn15}) {
        form->show();
        tray->click();
        EXPECT_TRUE(form->jvdsktplrt1->Showing());
        EXPECT_FALSE(form->isVisible());
    }
    // One alert window at a time, however often Tray is pressed.
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != form.get()) ++shown;
    EXPECT_EQ(shown, 1);
}

TEST_F(MainWindowTest, WithoutATrayTheWindowIsMinimisedNotHidden)
{
    form->TrayAvailable = [] { return false; };
    form->btn7->click();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_FALSE(form->trycn1->isVisible());
    EXPECT_TRUE(form->jvdsktplrt1->MessageText().startsWith("Vesmor 2.5 running minimized"));
}

TEST_F(MainWindowTest, ExitFromTheTrayMenuEndsTheProgram)
{
    form->btn7->click();
    bool ended = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { ended = true; });
    QTimer::singleShot(0, form->Exit2, &QAction::trigger);
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(2); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(ended);
}

TEST_F(MainWindowTest, EmblemOpensWatchSettingsAndAlertClickOpensLiveLog)
{
    QTest::mouseClick(form->img, Qt::LeftButton);
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts3);
    form->btn7->click();
    form->jvdsktplrt1MessageClick(form->jvdsktplrt1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->pgc1->currentWidget(), form->ts2);
    EXPECT_TRUE(form->trycn1->isVisible()) << "a message click leaves the tray icon alone";
}

TEST_F(MainWindowTest, StartMinimisedTimerHidesOnce)
{
    form->tmr1->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 3000));
    EXPECT_FALSE(form->tmr1->isActive());
}

TEST_F(MainWindowTest, ButtonsCarryTheirGlyphs)
{
    for (QPushButton* b : {form->btn1, form->btn17, form->btn9, form->btn20, form->btn8, form->btn22, form->btn7,
                           form->btn5, form->btn16, form->btn2, form->btn4, form->btn3})
        EXPECT_FALSE(b->icon().isNull()) << b->text().toStdString();
}

}  // namespace
