#pragma once
#include "actions/AlertHooks.h"

class DesktopAlertSink;
class WatchWindow;

// The alert actions the handler family calls, carried out by AlertTrigger with the main
// window's live log and desktop alert.
class AlertTriggerHooks : public AlertHooks {
public:
    AlertTriggerHooks(WatchWindow& window, DesktopAlertSink& alert) : window_(window), alert_(alert) {}
    void TriggerDesktopAlert(Twatcher watch, const QString& text) override;
    void TriggerPopUp(Twatcher watch, const QString& text) override;

private:
    WatchWindow& window_;
    DesktopAlertSink& alert_;
};
