#pragma once
#include <QDateTime>
#include <QString>

// The live log's time stamp: the locale's short date, one blank, its long time; the time is
// left out at exactly 00:00:00.000.
namespace DateTimeStamp {

QString format(const QDateTime& local);
// The stamp of this moment; the text is worked out once a second.
QString now();

}  // namespace DateTimeStamp
