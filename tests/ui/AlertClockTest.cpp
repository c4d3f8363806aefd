#include "ui/AlertClock.h"
#include "ui/TJvDesktopAlert.h"
#include "ui/TJvFormDesktopAlert.h"
#include "support/Waiting.h"

#include <QApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

TEST(AlertClock, EventLoopTimersFireOnceOrRepeatedly)
{
    auto once = AlertClock::system().createTimer();
    auto again = AlertClock::system().createTimer();
    int onceFired = 0, againFired = 0;
    once->setCallback([&] { ++onceFired; });
    again->setCallback([&] { ++againFired; });
    once->start(5, true);
    again->start(5, false);
    EXPECT_TRUE(once->isActive());
    ASSERT_TRUE(waitFor([&] { return againFired >= 3; }));
    EXPECT_EQ(onceFired, 1);
    EXPECT_FALSE(once->isActive());
    again->stop();
    EXPECT_FALSE(again->isActive());
}

// In the program the alert runs on the event loop's timers: it fades in, and with the pointer
// elsewhere it goes away by itself.
TEST(AlertClock, AlertOnTheEventLoopClosesByItself)
{
    TJvDesktopAlert alert;
    alert.StyleOptions().SetDisplayDuration(20);
    alert.Window()->setPointerSource([] { return QPoint(-9999, -9999); });
    alert.setMessageText(QStringLiteral("real timers"));
    alert.Execute();
    ASSERT_TRUE(alert.Showing());
    ASSERT_TRUE(waitFor([&] { return alert.Window()->AlphaBlendValue() == 255; }));
    EXPECT_TRUE(waitFor([&] { return !alert.Showing(); }));
}

}  // namespace
