#pragma once
#include "actions/DesktopAlertSink.h"

#include <QStringList>

// A desktop alert for tests: keeps the message of every Execute.
class RecordingAlert : public DesktopAlertSink {
public:
    void setMessageText(const QString& text) override { message = text; }
    bool Execute() override
    {
        shown << message;
        return true;
    }
    QString message;
    QStringList shown;
};
