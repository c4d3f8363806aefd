#include "actions/EventHandlerFamily.h"

#include "actions/AlertHooks.h"
#include "actions/EventLog.h"
#include "actions/ExecuteCommand.h"
#include "core/WatchWindow.h"
#include "platform/DateTimeStamp.h"

void HandleShellEvent(WatchWindow& window, AlertHooks& hooks, const Twatcher& slot, TRzLauncher& launcher,
                      EventKind kind, const EventItem& first, const EventItem& second)
{
    const QString attributes = kind == EventKind::FileChange ? AttributeWords(first.path) : QString();
    const QString text = EventText(kind, DateTimeStamp::now(), slot.Name, slot.Path, first, second, attributes);
    const QString argument =
        slot.UseArguments ? ArgumentFor(kind, slot.ArgumentIndex, slot.Path, first, second) : QString();

    if (eventKindInfo(kind).liveLogFirst) {
        window.WriteToLiveLog(LiveLogColour::Red, text);
        hooks.TriggerDesktopAlert(slot, text);
    } else {
        hooks.TriggerDesktopAlert(slot, text);
        window.WriteToLiveLog(LiveLogColour::Red, text);
    }
    WriteToLog(slot, text);
    ExecuteCommand(window, slot, launcher, argument);
    hooks.TriggerPopUp(slot, text);
}
