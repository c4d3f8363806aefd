#include "ManualAlertClock.h"
#include "actions/AlertTrigger.h"
#include "core/WatchWindow.h"
#include "support/RecordingWindow.h"
#include "ui/TJvDesktopAlert.h"
#include "ui/TJvFormDesktopAlert.h"
#include "ui/kit/THotTrackLabel.h"

#include <QIcon>
#include <gtest/gtest.h>

namespace {

// The alert action drives the real alert component: the event text is shown at once and the
// action returns while the alert stays on screen by itself.
TEST(AlertTriggerWithDesktopAlert, ShowsTheEventTextAndReturnsAtOnce)
{
    ManualAlertClock clock;
    TJvDesktopAlert jvdsktplrt1(nullptr, &clock);
    jvdsktplrt1.setHeaderText(QStringLiteral("Vesmor 2.5"));
    jvdsktplrt1.Window()->setPointerSource([] { return QPoint(-9999, -9999); });
    RecordingWindow window;
    Twatcher w;
    w.Name = QStringLiteral("Docs");
    w.ShowDesktopAlert = true;
    const QString event = QStringLiteral("now: Docs: File delete event, file name: /d/x");
    AlertTrigger::TriggerDesktopAlert(window, jvdsktplrt1, w, event);
    EXPECT_TRUE(jvdsktplrt1.Showing());
    EXPECT_EQ(jvdsktplrt1.MessageText(), event);
    EXPECT_EQ(jvdsktplrt1.Window()->lblText()->text(), event);
    ASSERT_EQ(window.lines.size(), 1);
    EXPECT_TRUE(window.lines[0].text.endsWith(QStringLiteral(": Docs: executed a desktop alert with message: ") + event));
    clock.advance(250 + 1400 + 200 + 500);  // the component's own display time
    EXPECT_FALSE(jvdsktplrt1.Showing());
}

}  // namespace
