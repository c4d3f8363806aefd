#include "platform/text/DateTimeStamp.h"
#include "support/QtPrinters.h"

#include <QDeadlineTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// The stamp of this moment, however it is kept, is the stamp of the clock and zone of the moment:
// across a change of second and after the time zone changed.
TEST(DateTimeStampTest, NowIsTheFormattedClockAcrossSecondsAndZones)
{
    const QByteArray oldZone = qgetenv("TZ");
    const auto agrees = [] {
        for (int tries = 0; tries < 5; ++tries) {
            const QString before = DateTimeStamp::format(QDateTime::currentDateTime());
            const QString stamp = DateTimeStamp::now();
            const QString after = DateTimeStamp::format(QDateTime::currentDateTime());
            if (before == after) return stamp == before ? QString() : stamp + QStringLiteral(" is not ") + before;
        }
        return QStringLiteral("the clock never held still");
    };
    const auto nextSecond = [] {
        const QString start = DateTimeStamp::format(QDateTime::currentDateTime());
        const QDeadlineTimer deadline(2000);
        while (DateTimeStamp::format(QDateTime::currentDateTime()) == start && !deadline.hasExpired()) QThread::msleep(5);
    };
    qputenv("TZ", "UTC0");
    ::tzset();
    EXPECT_EQ(agrees(), QString());
    nextSecond();
    EXPECT_EQ(agrees(), QString()) << "the next second";
    // A zone a quarter of an hour off from every whole-hour zone.
    qputenv("TZ", "XYZ-5:45");
    ::tzset();
    nextSecond();
    EXPECT_EQ(agrees(), QString()) << "after the zone changed";
    if (oldZone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", oldZone);
    }
    ::tzset();
}

TEST(DateTimeStampTest, TheTimeIsLeftOutOnlyAtTheVeryStartOfTheDay)
{
    const QDate day(2026, 3, 9);
    const QString midnight = DateTimeStamp::format(QDateTime(day, QTime(0, 0, 0, 0)));
    EXPECT_FALSE(midnight.contains(u' ')) << midnight.toStdString();
    const QString aMillisecondLater = DateTimeStamp::format(QDateTime(day, QTime(0, 0, 0, 1)));
    EXPECT_TRUE(aMillisecondLater.startsWith(midnight + u' ')) << aMillisecondLater.toStdString();
    EXPECT_GT(aMillisecondLater.size(), midnight.size() + 1);
    EXPECT_EQ(DateTimeStamp::format(QDateTime(day, QTime(13, 5, 7))).section(u' ', 0, 0), midnight);
}

}  // namespace
