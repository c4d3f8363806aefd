#pragma once
#include <QString>

// The two lines that start the live log and head a new log file; read afresh each time.
QString BannerLine1();
QString BannerLine2();
