#include "core/WatchRemoval.h"

#include "core/SettingsPaths.h"
#include "core/Twatcher.h"
#include "core/WatchWindow.h"
#include "notify/TStShellNotification.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/settings/ProfileFile.h"

void RemoveWatch(WatchWindow& window, const Twatcher& w)
{
    if (w.Name.isEmpty()) return;
    if (w.Monitor) w.Monitor->SetActive(false);
    ProfileFile::eraseSection(SettingsFile(), w.Name);
    window.WriteToLiveLog(LiveLogColour::Blue,
                          DateTimeStamp::now() + QStringLiteral(": Watch ") + w.Name + QStringLiteral(" Deleted from watch list"));
}
