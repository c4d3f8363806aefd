#include "core/Banner.h"

#include "platform/system/SystemInfo.h"

QString BannerLine1()
{
    return QStringLiteral("Vesmor 2.5 running on computer ") + SystemInfo::computerName() + QStringLiteral(" by user ") +
           SystemInfo::userName();
}

QString BannerLine2() { return QStringLiteral("Windows Platform: ") + SystemInfo::productName(); }
