#pragma once
#include "core/Twatcher.h"

#include <QString>

// The two actions that show the event to the user; the main window provides them. Each takes
// a copy of the watch record and tests its own switch (ShowDesktopAlert, PopUpMessage).
class AlertHooks {
public:
    virtual ~AlertHooks() = default;
    virtual void TriggerDesktopAlert(Twatcher watch, const QString& text) = 0;
    virtual void TriggerPopUp(Twatcher watch, const QString& text) = 0;
};
