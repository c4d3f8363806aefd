#include "actions/AlertTrigger.h"

#include "actions/DesktopAlertSink.h"
#include "core/WatchWindow.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/text/LocaleText.h"
#include "platform/boxes/ModalBoxes.h"

namespace AlertTrigger {

void TriggerPopUp(WatchWindow& window, Twatcher watch, const QString& message)
{
    if (!watch.PopUpMessage) return;
    ModalBoxes::information(message);
    // Taken now: the user may have left the box open for a long time.
    const QString stamp = DateTimeStamp::now();
    window.WriteToLiveLog(LiveLogColour::Blue,
                          LocaleText::oneLine(stamp + QStringLiteral(": ") + watch.Name +
                                              QStringLiteral(": executed a popup message with message: ") +
                                              message));
}

void TriggerDesktopAlert(WatchWindow& window, DesktopAlertSink& alert, Twatcher watch,
                         const QString& message)
{
    if (!watch.ShowDesktopAlert) return;
    alert.setMessageText(message);
    alert.Execute();
    window.WriteToLiveLog(LiveLogColour::Blue,
                          LocaleText::oneLine(DateTimeStamp::now() + QStringLiteral(": ") + watch.Name +
                                              QStringLiteral(": executed a desktop alert with message: ") +
                                              message));
}

}  // namespace AlertTrigger
