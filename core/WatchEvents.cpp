#include "core/WatchEvents.h"

TStNotifyEventsSet NotifyEventsOf(const Twatcher& w)
{
    TStNotifyEventsSet set;
    for (const WatchEvent& e : WatchEvents)
        if (w.*e.member) set << e.notifyEvent;
    return set;
}
