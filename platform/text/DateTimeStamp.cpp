#include "platform/text/DateTimeStamp.h"

#include <clocale>
#include <ctime>
#include <langinfo.h>

namespace DateTimeStamp {
namespace {

QString strftimeOf(const char* fmt, const struct tm& tm)
{
    char buf[256];
    const size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return QString::fromLocal8Bit(buf, qsizetype(n));
}

QString formatTm(const struct tm& tm, bool withTime)
{
    QString text = strftimeOf(nl_langinfo(D_FMT), tm);
    if (withTime) text += u' ' + strftimeOf(nl_langinfo(T_FMT), tm);
    return text;
}

// The stamp of the current second. Working out the local time and formatting it costs more than
// the rest of an event's line, and a burst brings thousands of events a second.
struct SecondCache {
    time_t second = -1;
    bool midnight = false;  // the second starts the day: at its very first millisecond the time is left out
    QString text;
    QString dateOnly;
};

}  // namespace

QString format(const QDateTime& local)
{
    const QDate d = local.date();
    const QTime t = local.time();
    struct tm tm {};
    tm.tm_year = d.year() - 1900;
    tm.tm_mon = d.month() - 1;
    tm.tm_mday = d.day();
    tm.tm_wday = d.dayOfWeek() % 7;
    tm.tm_yday = d.dayOfYear() - 1;
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    tm.tm_isdst = -1;
    return formatTm(tm, t != QTime(0, 0, 0, 0));
}

QString now()
{
    thread_local SecondCache cache;
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    if (ts.tv_sec != cache.second) {
        ::tzset();  // a change of the time zone shows from the next second on
        struct tm tm {};
        ::localtime_r(&ts.tv_sec, &tm);
        cache.second = ts.tv_sec;
        cache.midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
        cache.text = formatTm(tm, true);
        cache.dateOnly = cache.midnight ? formatTm(tm, false) : QString();
    }
    return cache.midnight && ts.tv_nsec < 1000000 ? cache.dateOnly : cache.text;
}

}  // namespace DateTimeStamp
