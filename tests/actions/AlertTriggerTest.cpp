#include "actions/AlertTrigger.h"
#include "actions/DesktopAlertSink.h"
#include "core/WatchWindow.h"
#include "platform/text/DateTimeStamp.h"
#include "support/BoxRecorder.h"
#include "support/RecordingAlert.h"
#include "support/RecordingWindow.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QThread>
#include <gtest/gtest.h>

namespace {


Twatcher watch(bool popUp, bool alert)
{
    Twatcher w;
    w.Name = QStringLiteral("Docs");
    w.PopUpMessage = popUp;
    w.ShowDesktopAlert = alert;
    return w;
}

const QString Event = QStringLiteral("20.05.2025 10:00:00: Docs: File create event, file name: /home/u/Docs/a&b.txt");

TEST(AlertTrigger, EachActionFollowsItsOwnSwitch)
{
    struct Case { bool popUp, alert; };
    const Case cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& c : cases) {
        BoxRecorder boxes;
        RecordingWindow window;
        RecordingAlert alert;
        AlertTrigger::TriggerDesktopAlert(window, alert, watch(c.popUp, c.alert), Event);
        AlertTrigger::TriggerPopUp(window, watch(c.popUp, c.alert), Event);

        EXPECT_EQ(alert.shown, c.alert ? QStringList{Event} : QStringList{});
        ASSERT_EQ(boxes.boxes().size(), c.popUp ? 1 : 0);
        if (c.popUp) {
            EXPECT_EQ(boxes.boxes()[0].kind, ModalBoxes::Kind::Information);
            EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Information"));
            EXPECT_EQ(boxes.boxes()[0].text, Event);
        }
        QStringList expected;
        if (c.alert) expected << QStringLiteral(": Docs: executed a desktop alert with message: ") + Event;
        if (c.popUp) expected << QStringLiteral(": Docs: executed a popup message with message: ") + Event;
        ASSERT_EQ(window.lines.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(window.lines[i].colour, LiveLogColour::Blue);
            EXPECT_TRUE(window.lines[i].text.endsWith(expected[i])) << window.lines[i].text.toStdString();
            // The line starts with a time stamp of its own.
            const QString stamp = window.lines[i].text.left(window.lines[i].text.size() - expected[i].size());
            EXPECT_FALSE(stamp.isEmpty());
        }
    }
}

// The pop-up's line is written after the box closed, with the time of closing.
TEST(AlertTrigger, PopUpLineCarriesTheTimeTheBoxWasClosed)
{
    RecordingWindow window;
    QString openedAt;
    int linesWhileOpen = -1;
    auto previous = ModalBoxes::setResponder([&](const ModalBoxes::Request&) {
        linesWhileOpen = int(window.lines.size());
        openedAt = DateTimeStamp::now();
        // The user reads the box for a while: until the clock shows another time.
        QElapsedTimer t;
        t.start();
        while (DateTimeStamp::now() == openedAt && t.elapsed() < 2500) QThread::msleep(20);
        return ModalBoxes::Answer::Ok;
    });
    AlertTrigger::TriggerPopUp(window, watch(true, false), Event);
    ModalBoxes::setResponder(std::move(previous));

    EXPECT_EQ(linesWhileOpen, 0);
    ASSERT_EQ(window.lines.size(), 1);
    if (DateTimeStamp::now() != openedAt) {
        EXPECT_FALSE(window.lines[0].text.startsWith(openedAt + QStringLiteral(": ")));
    }
}

TEST(AlertTrigger, LineBreaksInANameDoNotSplitTheLogLine)
{
    RecordingWindow window;
    RecordingAlert alert;
    Twatcher w = watch(false, true);
    AlertTrigger::TriggerDesktopAlert(window, alert, w, QStringLiteral("x: a\nb.txt"));
    ASSERT_EQ(window.lines.size(), 1);
    EXPECT_FALSE(window.lines[0].text.contains(u'\n'));
    EXPECT_TRUE(window.lines[0].text.endsWith(QStringLiteral("x: a?b.txt")));
    EXPECT_EQ(alert.shown, QStringList{QStringLiteral("x: a\nb.txt")});
}

}  // namespace
