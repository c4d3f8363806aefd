#include "actions/EventHandlerFamily.h"

#include "actions/AlertHooks.h"
#include "actions/EventLog.h"
#include "actions/ExecuteCommand.h"
#include "core/WatchWindow.h"
#include "platform/text/DateTimeStamp.h"

void HandleShellEvent(WatchWindow& window, AlertHooks& hooks, const Twatcher& slot, TRzLauncher& launcher,
                      EventKind kind, const EventItem& first, const EventItem& second)
{
    const EventKindInfo& info = eventKindInfo(kind);
    const QString attributes = info.attributeWords ? AttributeWords(first.path) : QString();
    const QString text = EventText(kind, DateTimeStamp::now(), slot.Name, slot.Path, first, second, attributes);
    const QString argument =
        slot.UseArguments ? ArgumentFor(kind, slot.ArgumentIndex, slot.Path, first, second) : QString();

    if (info.liveLogFirst) {
        window.WriteToLiveLog(LiveLogColour::Red, text);
        hooks.TriggerDesktopAlert(slot, text);
    } else {
        hooks.TriggerDesktopAlert(slot, text);
        window.WriteToLiveLog(LiveLogColour::Red, text);
    }
    // The line must be in the file before the program starts or the pop-up shows; otherwise it
    // goes in with the turn's other lines.
    WriteToLog(slot, text, slot.RunProgram || slot.PopUpMessage ? LogLineDue::Now : LogLineDue::ByTurnEnd);
    ExecuteCommand(window, slot, launcher, argument);
    hooks.TriggerPopUp(slot, text);
}
