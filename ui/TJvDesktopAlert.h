#pragma once
#include "actions/DesktopAlertSink.h"
#include "ui/TJvDesktopAlertTypes.h"

#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QString>

#include <functional>
#include <memory>

class AlertClock;
class TJvFadeAlertStyleHandler;
class TJvFormDesktopAlert;
class TJvDesktopAlertStack;

// The desktop alert component: a small window at the bottom right of the work area that
// fades in, stays for its display time while the pointer is elsewhere, fades out and closes.
// Its window is created once and shown again by every Execute; there is never more than one.
class TJvDesktopAlert : public QObject, public DesktopAlertSink {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    // clock: the source of the alert's timers; nullptr uses the event loop's.
    explicit TJvDesktopAlert(QObject* owner = nullptr, AlertClock* clock = nullptr);
    ~TJvDesktopAlert() override;

    QString HeaderText() const { return headerText_; }
    void setHeaderText(const QString& text);
    QString MessageText() const { return messageText_; }
    void setMessageText(const QString& text) override;  // updates a shown message at once
    void setHeaderFont(const QFont& f) { headerFont_ = f; }
    void setFont(const QFont& f) { font_ = f; }
    QPixmap Image() const { return image_; }
    void setImage(const QPixmap& p) { image_ = p; }

    TJvDesktopAlertOptions Options() const { return options_; }
    void setOptions(TJvDesktopAlertOptions o) { options_ = o; }
    TJvDesktopAlertLocation& Location() { return location_; }
    // The style options: intervals, steps, DisplayDuration, opacities.
    TJvFadeAlertStyleHandler& StyleOptions();

    // Shows the alert with the current settings and MessageText; a shown alert first closes
    // at once. Always true.
    bool Execute() override;
    // The alert window is visible.
    bool Showing() const;

    TJvFormDesktopAlert* Window() const { return window_.get(); }

    // Events, called only when assigned, with this component as Sender.
    TNotifyEvent OnMessageClick;
    TNotifyEvent OnCloseButtonClick;
    TNotifyEvent OnShowing, OnShow, OnShown, OnClose, OnMouseEnter, OnMouseLeave;

private:
    void messageClick();
    void closed();
    void fire(const TNotifyEvent& e)
    {
        if (e) e(this);
    }

    QString headerText_;
    QString messageText_;
    QFont headerFont_;
    QFont font_;
    QPixmap image_;
    TJvDesktopAlertOptions options_ = daoCanClick | daoCanMove | daoCanMoveAnywhere | daoCanClose;
    TJvDesktopAlertColors colors_;
    TJvDesktopAlertLocation location_;
    TJvDesktopAlertStack& stack_;
    std::unique_ptr<TJvFormDesktopAlert> window_;
    unsigned shown_ = 0;  // counts Execute calls
};
