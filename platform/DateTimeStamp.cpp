#include "platform/DateTimeStamp.h"

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
    QString text = strftimeOf(nl_langinfo(D_FMT), tm);
    if (t != QTime(0, 0, 0, 0)) text += u' ' + strftimeOf(nl_langinfo(T_FMT), tm);
    return text;
}

QString now() { return format(QDateTime::currentDateTime()); }

}  // namespace DateTimeStamp
