#include "core/WatchEvents.h"

TStNotifyEventsSet NotifyEventsOf(const Twatcher& w)
{
    TStNotifyEventsSet set;
    for (const EventKindInfo& e : WatchEvents)
        if (w.*e.member) set << e.notifyEvent;
    return set;
}
