#pragma once
#include "actions/AlertHooks.h"
#include "support/RecordingWatchWindow.h"

#include <QList>

// The stand-in main window of core (RecordingWatchWindow) with the alert and pop-up triggers of
// actions, which go to the same journal.
class RecordingWindow : public RecordingWatchWindow, public AlertHooks {
public:
    QList<Twatcher> popUps, alerts;

    void TriggerDesktopAlert(Twatcher watch, const QString&) override
    {
        if (!watch.ShowDesktopAlert) return;
        alerts.append(watch);
        journal.append(QStringLiteral("alert"));
    }
    void TriggerPopUp(Twatcher watch, const QString&) override
    {
        if (!watch.PopUpMessage) return;
        popUps.append(watch);
        journal.append(QStringLiteral("popup"));
    }
};
