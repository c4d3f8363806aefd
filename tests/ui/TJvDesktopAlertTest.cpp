#include "ManualAlertClock.h"
#include "ui/TJvDesktopAlert.h"
#include "ui/TJvDesktopAlertButton.h"
#include "ui/TJvDesktopAlertStack.h"
#include "ui/TJvFormDesktopAlert.h"
#include "ui/kit/GradientBands.h"
#include "ui/kit/Pictures.h"
#include "ui/kit/THotTrackLabel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// Lets events run until the condition holds (10 s at most).
template <typename F>
bool QTest_waitFor(F condition)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > 10000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

using Status = TJvFadeAlertStyleHandler::Status;

// The alert as the main window configures it, on a clock and a pointer the test moves.
class DesktopAlert : public ::testing::Test {
protected:
    void SetUp() override
    {
        alert = std::make_unique<TJvDesktopAlert>(nullptr, &clock);
        alert->setHeaderText(QStringLiteral("Vesmor 2.5"));
        QFont f = QApplication::font();
        f.setPixelSize(12);
        alert->setFont(f);
        f.setBold(true);
        alert->setHeaderFont(f);
        alert->setImage(Pictures::emblem(48));
        alert->StyleOptions().SetDisplayDuration(2400);
        alert->OnMessageClick = [this](QObject* sender) {
            EXPECT_EQ(sender, alert.get());
            ++messageClicks;
        };
        alert->OnClose = [this](QObject*) { ++closes; };
        window()->setPointerSource([this] { return pointer; });
    }

    TJvFormDesktopAlert* window() const { return alert->Window(); }
    Status status() const { return alert->StyleOptions().status(); }
    int alpha() const { return window()->AlphaBlendValue(); }

    void show(const QString& message = QStringLiteral("20.05.2025 10:00:00: Docs: File create event, file name: /home/u/Docs/a.txt"))
    {
        alert->setMessageText(message);
        EXPECT_TRUE(alert->Execute());
    }
    QPoint inside() const { return window()->frameGeometry().center(); }

    void pointerEnters()
    {
        pointer = inside();
        const QPoint local = window()->mapFromGlobal(pointer);
        QEnterEvent e(local, local, pointer);
        QApplication::sendEvent(window(), &e);
    }
    void pointerLeaves()
    {
        pointer = Far;
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(window(), &e);
    }
    static void mouse(QWidget* w, QEvent::Type type, const QPoint& local, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    static void click(QWidget* w, const QPoint& local)
    {
        mouse(w, QEvent::MouseButtonPress, local);
        mouse(w, QEvent::MouseButtonRelease, local, Qt::NoButton);
    }
    int visibleAlertWindows() const
    {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += qobject_cast<TJvFormDesktopAlert*>(w) && w->isVisible();
        return n;
    }

    static constexpr QPoint Far{-5000, -5000};
    ManualAlertClock clock;
    std::unique_ptr<TJvDesktopAlert> alert;
    QPoint pointer = Far;
    int messageClicks = 0;
    int closes = 0;
};

TEST_F(DesktopAlert, FadesInStepByStepThenDisplaysFullyOpaque)
{
    show();
    EXPECT_TRUE(alert->Showing());
    EXPECT_EQ(status(), Status::hsStartAnim);
    EXPECT_EQ(alpha(), 0);
    // One step every 25 ms; the value set at the tenth step (229) is at once replaced by 255.
    const int expected[] = {0, 25, 51, 76, 102, 127, 153, 178, 204};
    for (int v : expected) {
        clock.advance(25);
        EXPECT_EQ(alpha(), v) << "at " << clock.now() << " ms";
        EXPECT_EQ(status(), Status::hsStartAnim);
    }
    clock.advance(25);
    EXPECT_EQ(clock.now(), 250);
    EXPECT_EQ(alpha(), 255);
    EXPECT_EQ(status(), Status::hsDisplay);
}

TEST_F(DesktopAlert, UndisturbedAlertStaysThenFadesOutAndCloses)
{
    show();
    clock.advance(250 + 2399);
    EXPECT_EQ(status(), Status::hsDisplay);
    clock.advance(1);  // 2650: display time over
    EXPECT_EQ(status(), Status::hsIdle);
    EXPECT_EQ(alpha(), 255);
    EXPECT_TRUE(alert->Showing());
    clock.advance(149);  // the next pointer check is at 2800
    EXPECT_EQ(status(), Status::hsIdle);
    clock.advance(1);
    EXPECT_EQ(status(), Status::hsEndAnim);
    EXPECT_EQ(alpha(), 255);
    const int expected[] = {230, 204, 179, 153, 128, 102, 77, 51, 26};
    for (int v : expected) {
        clock.advance(50);
        EXPECT_EQ(alpha(), v) << "at " << clock.now() << " ms";
        EXPECT_TRUE(alert->Showing());
    }
    clock.advance(50);
    EXPECT_EQ(clock.now(), 3300);
    EXPECT_EQ(alpha(), 0);
    EXPECT_FALSE(alert->Showing());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(clock.activeTimers(), 0);
    EXPECT_EQ(TJvDesktopAlertStack::shared().GetCount(), 0);
}

TEST_F(DesktopAlert, RestingPointerKeepsItAndLeavingStartsTheFadeAtOnce)
{
    show();
    clock.advance(1000);
    pointerEnters();
    EXPECT_TRUE(window()->MouseInWindow());
    clock.advance(10000);
    EXPECT_TRUE(alert->Showing());
    EXPECT_EQ(alpha(), 255);
    EXPECT_EQ(status(), Status::hsIdle);
    pointerLeaves();
    EXPECT_EQ(status(), Status::hsEndAnim);
    clock.advance(499);
    EXPECT_TRUE(alert->Showing());
    clock.advance(1);
    EXPECT_FALSE(alert->Showing());
}

TEST_F(DesktopAlert, PointerOnAFadingAlertRestoresFullOpacity)
{
    show();
    clock.advance(2900);  // two fade-out steps done
    EXPECT_EQ(alpha(), 204);
    pointerEnters();
    EXPECT_EQ(alpha(), 255);
    EXPECT_EQ(status(), Status::hsEndAnim);  // stays until the next fade-out begins
    clock.advance(5000);
    EXPECT_TRUE(alert->Showing());
    EXPECT_EQ(alpha(), 255);
    // A pointer that leaves without a leave event is noticed by the next check.
    pointer = Far;
    clock.advance(150);  // the check at 8000 starts the fade-out, the first step follows at 8050
    EXPECT_EQ(status(), Status::hsEndAnim);
    EXPECT_EQ(alpha(), 230);
    clock.advance(1000);
    EXPECT_FALSE(alert->Showing());
}

TEST_F(DesktopAlert, ClickOnTheMessageRaisesOnMessageClickOnce)
{
    show();
    clock.advance(500);
    pointerEnters();
    click(window()->lblText(), QPoint(5, 5));
    EXPECT_EQ(messageClicks, 1);
    EXPECT_EQ(alert->StyleOptions().EndInterval(), 50);
    // The pointer is on it: it stays.
    clock.advance(5000);
    EXPECT_TRUE(alert->Showing());

    // Clicked and left at once (the pointer no longer over it): the fade-out starts.
    pointer = Far;
    click(window()->lblText(), QPoint(5, 5));
    EXPECT_EQ(messageClicks, 2);
    EXPECT_EQ(status(), Status::hsEndAnim);
    clock.advance(500);
    EXPECT_FALSE(alert->Showing());
}

TEST_F(DesktopAlert, ClicksElsewhereOrWithoutHandlerDoNothing)
{
    show();
    click(window()->imIcon(), QPoint(5, 5));
    click(window()->lblHeader(), QPoint(2, 2));
    click(window(), QPoint(200, 65));
    EXPECT_EQ(messageClicks, 0);
    EXPECT_EQ(status(), Status::hsStartAnim);

    alert->setOptions(alert->Options() & ~TJvDesktopAlertOptions(daoCanClick));
    show();
    click(window()->lblText(), QPoint(5, 5));
    EXPECT_EQ(messageClicks, 0);
    EXPECT_EQ(window()->lblText()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(DesktopAlert, CloseButtonClosesAtOnceWithoutAMessageClick)
{
    show();
    clock.advance(100);
    EXPECT_TRUE(window()->tbClose()->isVisible());
    window()->tbClose()->click();
    EXPECT_FALSE(alert->Showing());
    EXPECT_EQ(messageClicks, 0);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(clock.activeTimers(), 0);
    clock.advance(5000);
    EXPECT_EQ(closes, 1);
}

TEST_F(DesktopAlert, SecondExecuteReplacesTheFirstAtOnceAndFadesInAgain)
{
    show(QStringLiteral("first"));
    clock.advance(1000);
    const QPoint where = window()->pos();
    show(QStringLiteral("second"));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(visibleAlertWindows(), 1);
    EXPECT_EQ(window()->lblText()->text(), QStringLiteral("second"));
    EXPECT_EQ(window()->pos(), where);
    EXPECT_EQ(status(), Status::hsStartAnim);
    EXPECT_EQ(alpha(), 0);
    EXPECT_EQ(TJvDesktopAlertStack::shared().GetCount(), 1);
    // The whole cycle starts again from the second Execute.
    clock.advance(250);
    EXPECT_EQ(status(), Status::hsDisplay);
    clock.advance(2400 + 200 + 500);
    EXPECT_FALSE(alert->Showing());
    // And a second one during the fade-out.
    show(QStringLiteral("third"));
    clock.advance(2800);
    EXPECT_EQ(status(), Status::hsEndAnim);
    show(QStringLiteral("fourth"));
    EXPECT_EQ(alpha(), 0);
    EXPECT_EQ(status(), Status::hsStartAnim);
    EXPECT_EQ(visibleAlertWindows(), 1);
}

TEST_F(DesktopAlert, WindowSizeChildrenAndPlaceInTheWorkArea)
{
    show();
    const QRect area = TJvDesktopAlertStack::workArea();
    ASSERT_FALSE(area.isEmpty());
    EXPECT_EQ(window()->size(), QSize(329, 76));
    EXPECT_EQ(window()->frameGeometry().bottomRight(), area.bottomRight());
    EXPECT_EQ(window()->imIcon()->geometry(), QRect(8, 13, 48, 48));
    EXPECT_EQ(window()->lblHeader()->pos(), QPoint(61, 13));
    EXPECT_EQ(window()->lblHeader()->text(), QStringLiteral("Vesmor 2.5"));
    EXPECT_GE(window()->lblHeader()->width(), window()->lblHeader()->sizeHint().width());
    const QRect text = window()->lblText()->geometry();
    EXPECT_EQ(text.left(), 69);
    EXPECT_EQ(text.width(), 227);
    EXPECT_EQ(text.top(), 13 + window()->lblHeader()->height());
    EXPECT_EQ(window()->tbClose()->geometry(), QRect(312, 10, 15, 15));
    EXPECT_EQ(window()->tbDropDown()->geometry(), QRect(296, 10, 15, 15));
    EXPECT_FALSE(window()->tbDropDown()->isVisible());

    const Qt::WindowFlags flags = window()->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::Tool));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(window()->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(window()->parentWidget(), nullptr);
}

TEST_F(DesktopAlert, LongMessageWrapsWithinItsWidthAndIsCutAtTheBottom)
{
    show(QString(QStringLiteral("word ")).repeated(80));
    const QRect text = window()->lblText()->geometry();
    EXPECT_EQ(text.width(), 227);
    EXPECT_GT(text.height(), 3 * window()->lblText()->fontMetrics().height());
    EXPECT_EQ(window()->height(), 76);
}

TEST_F(DesktopAlert, SettingTheMessageUpdatesAShownAlert)
{
    show(QStringLiteral("one"));
    alert->setMessageText(QStringLiteral("two"));
    EXPECT_EQ(window()->lblText()->text(), QStringLiteral("two"));
    EXPECT_EQ(alert->MessageText(), QStringLiteral("two"));
}

TEST_F(DesktopAlert, MessageHotTracksWhenClickable)
{
    show();
    THotTrackLabel* label = window()->lblText();
    EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);
    const QPoint local(3, 3);
    QEnterEvent enter(local, local, label->mapToGlobal(local));
    QApplication::sendEvent(label, &enter);
    EXPECT_TRUE(label->font().underline());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    EXPECT_FALSE(label->font().underline());
    EXPECT_NE(label->palette().color(QPalette::WindowText), QColor(0, 0, 128));
}

TEST_F(DesktopAlert, AmpersandInAPathIsShown)
{
    show(QStringLiteral("/home/u/R&D/a.txt"));
    QLabel* label = window()->lblText();
    EXPECT_EQ(label->text(), QStringLiteral("/home/u/R&D/a.txt"));
    QLabel plain;
    plain.setFont(label->font());
    plain.setText(QStringLiteral("/home/u/RD/a.txt"));
    QLabel amp;
    amp.setFont(label->font());
    amp.setTextFormat(Qt::PlainText);
    amp.setText(label->text());
    EXPECT_GT(amp.sizeHint().width(), plain.sizeHint().width());
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(DesktopAlert, DragByTheStripOrTheBackgroundNotByTheLabels)
{
    show();
    const QPoint corner = window()->pos();
    clock.advance(2900);
    ASSERT_EQ(alpha(), 204);
    // Top strip: drags, and the fade-out stops.
    mouse(window(), QEvent::MouseButtonPress, QPoint(100, 4));
    EXPECT_EQ(alpha(), 255);
    mouse(window(), QEvent::MouseMove, QPoint(50, -26));
    mouse(window(), QEvent::MouseButtonRelease, QPoint(50, -26), Qt::NoButton);
    EXPECT_EQ(window()->pos(), corner + QPoint(-50, -30));
    // Background of the body: drags too.
    mouse(window(), QEvent::MouseButtonPress, QPoint(300, 65));
    mouse(window(), QEvent::MouseMove, QPoint(290, 65));
    mouse(window(), QEvent::MouseButtonRelease, QPoint(290, 65), Qt::NoButton);
    EXPECT_EQ(window()->pos(), corner + QPoint(-60, -30));
    // Not over a child control, nor the body when only the strip may be used.
    EXPECT_FALSE(window()->isCaptionHit(window()->lblHeader()->geometry().center()));
    EXPECT_FALSE(window()->isCaptionHit(window()->imIcon()->geometry().center()));
    EXPECT_TRUE(window()->isCaptionHit(QPoint(20, 70)));
    alert->setOptions(daoCanClick | daoCanMove | daoCanClose);
    show();
    EXPECT_FALSE(window()->isCaptionHit(QPoint(20, 70)));
    EXPECT_TRUE(window()->isCaptionHit(QPoint(20, 8)));
    // The next alert is in the corner again.
    EXPECT_EQ(window()->pos(), corner);
}

TEST_F(DesktopAlert, NeverTakesTheKeyboardFocus)
{
    QWidget main;
    auto* layout = new QVBoxLayout(&main);
    auto* edit = new QLineEdit(&main);
    layout->addWidget(edit);
    main.show();
    main.activateWindow();
    edit->setFocus();
    ASSERT_TRUE(QTest_waitFor([&] { return QApplication::focusWidget() == edit; }));
    show();
    QApplication::processEvents();
    // Whatever the platform does on showing, the focus ends where it was.
    EXPECT_TRUE(QTest_waitFor([&] { return QApplication::focusWidget() == edit; }));
    EXPECT_EQ(QApplication::activeWindow(), &main);
    EXPECT_EQ(window()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(window()->tbClose()->focusPolicy(), Qt::NoFocus);
}

TEST_F(DesktopAlert, NoDisplayTimeStaysUntilClosed)
{
    alert->StyleOptions().SetDisplayDuration(0);
    show();
    clock.advance(60000);
    EXPECT_TRUE(alert->Showing());
    EXPECT_EQ(alpha(), 255);
}

// The background: top strip, button-face row, body, frame and grip, all per the gradient rule.
TEST_F(DesktopAlert, BackgroundBandsGripAndFrame)
{
    struct Case { TJvDesktopAlertOptions options; bool grip; };
    const Case cases[] = {
        {daoCanClick | daoCanMove | daoCanMoveAnywhere | daoCanClose, true},
        {daoCanClick | daoCanClose, false},
    };
    for (const auto& c : cases) {
        alert->setOptions(c.options);
        show();
        TJvFormDesktopAlert* w = window();
        QImage img(w->size(), QImage::Format_RGB32);
        img.fill(Qt::magenta);
        w->render(&img);
        const TJvDesktopAlertColors colors;
        const QColor grey(128, 128, 128);
        const int x = 5;  // a column no child covers
        for (int y = 1; y < 8; ++y)
            EXPECT_EQ(QColor(img.pixel(x, y)).rgb(), GradientBands::bandColour(colors.CaptionFrom, colors.CaptionTo, y, 8).rgb()) << "strip row " << y;
        EXPECT_EQ(QColor(img.pixel(x, 8)).rgb(), w->palette().color(QPalette::Button).rgb());
        for (int y = 9; y < 75; ++y)
            EXPECT_EQ(QColor(img.pixel(x, y)).rgb(), GradientBands::bandColour(colors.WindowFrom, colors.WindowTo, y - 9, 66).rgb()) << "body row " << y;
        EXPECT_EQ(QColor(img.pixel(x, 9)).rgb(), colors.WindowFrom.rgb());
        EXPECT_EQ(QColor(img.pixel(x, 74)).rgb(), colors.WindowTo.rgb());
        for (const QPoint& p : {QPoint(0, 0), QPoint(0, 40), QPoint(328, 40), QPoint(164, 75), QPoint(164, 0), QPoint(328, 75)})
            EXPECT_EQ(QColor(img.pixel(p)).rgb(), grey.rgb()) << p.x() << "," << p.y();
        for (int i = 0; i < 10; ++i) {
            const int gx = 144 + 4 * i;
            if (c.grip) {
                EXPECT_EQ(QColor(img.pixel(gx, 3)).rgb(), grey.rgb());
                EXPECT_EQ(QColor(img.pixel(gx + 1, 3)).rgb(), grey.rgb());
                EXPECT_EQ(QColor(img.pixel(gx, 4)).rgb(), grey.rgb());
                EXPECT_EQ(QColor(img.pixel(gx + 1, 4)).rgb(), QColor(184, 188, 184).rgb());
                EXPECT_EQ(QColor(img.pixel(gx + 2, 4)).rgb(), QColor(248, 252, 248).rgb());
                EXPECT_EQ(QColor(img.pixel(gx + 2, 5)).rgb(), QColor(248, 252, 248).rgb());
                EXPECT_EQ(QColor(img.pixel(gx + 3, 3)).rgb(), GradientBands::bandColour(colors.CaptionFrom, colors.CaptionTo, 3, 8).rgb());
            } else {
                EXPECT_EQ(QColor(img.pixel(gx, 3)).rgb(), GradientBands::bandColour(colors.CaptionFrom, colors.CaptionTo, 3, 8).rgb());
            }
        }
    }
}

TEST(DesktopAlertButton, HotAndPressedLooks)
{
    TJvDesktopAlertButton b(TJvDesktopAlertButton::abtClose);
    b.resize(15, 15);
    auto paint = [&] {
        QImage img(15, 15, QImage::Format_RGB32);
        img.fill(Qt::white);
        b.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        return img;
    };
    QImage idle = paint();
    EXPECT_EQ(QColor(idle.pixel(1, 1)).rgb(), QColor(Qt::white).rgb());  // transparent
    EXPECT_NE(QColor(idle.pixel(7, 7)).rgb(), QColor(Qt::white).rgb());  // the cross
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
    QApplication::sendEvent(&b, &enter);
    QImage hot = paint();
    EXPECT_EQ(QColor(hot.pixel(0, 0)).rgb(), TJvDesktopAlertButton::HotFrame.rgb());
    EXPECT_EQ(QColor(hot.pixel(1, 1)).rgb(), TJvDesktopAlertButton::HotFill.rgb());
    b.setDown(true);
    QImage down = paint();
    EXPECT_EQ(QColor(down.pixel(1, 1)).rgb(), TJvDesktopAlertButton::DownFill.rgb());
}

}  // namespace
