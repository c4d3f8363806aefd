#include "actions/AlertTriggerHooks.h"

#include "actions/AlertTrigger.h"

void AlertTriggerHooks::TriggerDesktopAlert(Twatcher watch, const QString& text)
{
    AlertTrigger::TriggerDesktopAlert(window_, alert_, std::move(watch), text);
}

void AlertTriggerHooks::TriggerPopUp(Twatcher watch, const QString& text)
{
    AlertTrigger::TriggerPopUp(window_, std::move(watch), text);
}
