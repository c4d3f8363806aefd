#pragma once
#include <QString>

// What the alert action needs of the desktop alert: the message and Execute. The main
// window's alert component provides it, so that actions never depend on the user interface.
class DesktopAlertSink {
public:
    virtual ~DesktopAlertSink() = default;
    virtual void setMessageText(const QString& text) = 0;
    // Shows the alert with the current message; returns as soon as it is shown.
    virtual bool Execute() = 0;
};
