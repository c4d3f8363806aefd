#pragma once
#include "core/Twatcher.h"

#include <QString>

class DesktopAlertSink;
class WatchWindow;

// The two actions that tell the user about an event directly: a modal pop-up that waits for
// the user, and a desktop alert that goes away by itself. Each looks at its own switch in the
// watch record and writes a blue live-log line when it acts.
namespace AlertTrigger {

// Shows the event text in an information box and returns once the user closed it; the
// live-log line carries the time at which the box was closed.
void TriggerPopUp(WatchWindow& window, Twatcher watch, const QString& message);

// Shows the event text in the desktop alert and returns at once.
void TriggerDesktopAlert(WatchWindow& window, DesktopAlertSink& alert, Twatcher watch,
                         const QString& message);

}  // namespace AlertTrigger
