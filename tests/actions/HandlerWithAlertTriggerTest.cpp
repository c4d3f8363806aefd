#include "support/RecordingWindow.h"
#include "actions/AlertTriggerHooks.h"
#include "actions/DesktopAlertSink.h"
#include "actions/EventHandlerFamily.h"
#include "actions/TRzLauncher.h"
#include "support/BoxRecorder.h"
#include "support/RecordingAlert.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// With the real alert actions, one event's live-log lines come in the documented order.
TEST(HandlerWithAlertTriggerTest, OneEventGivesItsLinesInOrder)
{
    BoxRecorder boxes;
    RecordingWindow window;
    RecordingAlert alert;
    AlertTriggerHooks hooks(window, alert);
    TRzLauncher launcher;
    Twatcher slot;
    slot.Name = QStringLiteral("Docs");
    slot.Path = QStringLiteral("/w");
    slot.ShowDesktopAlert = slot.PopUpMessage = true;

    HandleShellEvent(window, hooks, slot, launcher, EventKind::FileCreate, {QStringLiteral("/w/a.txt"), {}});
    ASSERT_EQ(window.lines.size(), 3);
    const QString event = window.lines[1].text;
    EXPECT_TRUE(event.endsWith(QStringLiteral(": Docs: File create event, file name: /w/a.txt")));
    EXPECT_EQ(window.journal, (QStringList{"blue", "red", "blue"}));
    EXPECT_TRUE(window.lines[0].text.endsWith(QStringLiteral(": Docs: executed a desktop alert with message: ") + event));
    EXPECT_TRUE(window.lines[2].text.endsWith(QStringLiteral(": Docs: executed a popup message with message: ") + event));
    EXPECT_EQ(alert.shown, QStringList{event});
    EXPECT_EQ(boxes.texts(), QStringList{event});

    window.lines.clear();
    window.journal.clear();
    HandleShellEvent(window, hooks, slot, launcher, EventKind::DriveSpaceChange);
    EXPECT_EQ(window.journal, (QStringList{"red", "blue", "blue"}));
    EXPECT_TRUE(window.lines[1].text.contains(QStringLiteral("executed a desktop alert")));
}

}  // namespace
