#include "ui/TJvDesktopAlert.h"

#include "ui/AlertClock.h"
#include "ui/TJvDesktopAlertStack.h"
#include "ui/TJvFormDesktopAlert.h"
#include "ui/kit/THotTrackLabel.h"

#include <QApplication>
#include <QLabel>

TJvDesktopAlert::TJvDesktopAlert(QObject* owner, AlertClock* clock)
    : QObject(owner),
      headerFont_(QApplication::font()),
      font_(QApplication::font()),
      stack_(TJvDesktopAlertStack::shared()),
      window_(std::make_unique<TJvFormDesktopAlert>(clock ? *clock : AlertClock::system()))
{
    headerFont_.setBold(true);
    window_->OnShowing = [this] { fire(OnShowing); };
    window_->OnShow = [this] { fire(OnShow); };
    window_->OnShown = [this] { fire(OnShown); };
    window_->OnMouseEnter = [this] { fire(OnMouseEnter); };
    window_->OnMouseLeave = [this] { fire(OnMouseLeave); };
    window_->OnClose = [this] { closed(); };
}

TJvDesktopAlert::~TJvDesktopAlert()
{
    stack_.Remove(window_.get());
    window_->OnClose = nullptr;
}

TJvFadeAlertStyleHandler& TJvDesktopAlert::StyleOptions() { return window_->StyleHandler(); }

void TJvDesktopAlert::setHeaderText(const QString& text) { headerText_ = text; }

void TJvDesktopAlert::setMessageText(const QString& text)
{
    messageText_ = text;
    window_->lblText()->setText(text);
    if (window_->isVisible()) window_->LayoutControls();
}

bool TJvDesktopAlert::Showing() const { return window_->isVisible(); }

bool TJvDesktopAlert::Execute()
{
    TJvFormDesktopAlert& w = *window_;
    ++shown_;
    if (w.isVisible()) w.CloseAlert();

    const QRect area = TJvDesktopAlertStack::workArea();
    const int width = location_.Width > 0 ? location_.Width : TJvFormDesktopAlert::DefaultWidth;
    const int height = location_.Height > 0 ? location_.Height : TJvFormDesktopAlert::DefaultHeight;
    w.setFixedSize(width, height);
    const int right = area.x() + area.width(), bottom = area.y() + area.height();
    switch (location_.Position) {
    case dapTopLeft: w.move(area.x(), area.y()); break;
    case dapTopRight: w.move(right - width, area.y()); break;
    case dapBottomLeft: w.move(area.x(), bottom - height); break;
    case dapBottomRight: w.move(right - width, bottom - height); break;
    case dapCustom: w.move(location_.Left, location_.Top); break;
    }

    w.setOptions(options_);
    w.setColors(colors_);
    w.OnMessageClick = [this] { messageClick(); };
    if (OnCloseButtonClick)
        w.OnCloseButtonClick = [this] { fire(OnCloseButtonClick); };
    else if (options_.testFlag(daoCanClose))
        w.OnCloseButtonClick = [&w] { w.CloseAlert(); };
    else
        w.OnCloseButtonClick = nullptr;

    w.imIcon()->setPixmap(image_);
    w.imIcon()->setVisible(!image_.isNull());
    w.lblText()->setFont(font_);
    w.lblHeader()->setFont(headerFont_);
    w.lblHeader()->setText(headerText_);
    w.lblText()->setText(messageText_);

    location_.Position = stack_.Position();

    // Shown without activation; should the focus move all the same, it goes back.
    QWidget* focus = QApplication::focusWidget();
    QWidget* active = QApplication::activeWindow();
    if (active != &w) w.setReturnActivationTo(active);
    w.showWithoutActivating();
    if (QApplication::focusWidget() != focus) {
        if (focus)
            focus->setFocus(Qt::OtherFocusReason);
        else if (active)
            active->activateWindow();
    }

    stack_.Add(&w);
    return true;
}

void TJvDesktopAlert::messageClick()
{
    if (!OnMessageClick || !options_.testFlag(daoCanClick)) return;
    TJvFadeAlertStyleHandler& handler = window_->StyleHandler();
    const int endInterval = handler.EndInterval();
    const unsigned shown = shown_;
    handler.SetEndInterval(0);
    OnMessageClick(this);
    handler.SetEndInterval(endInterval);
    // A handler that showed a new alert keeps it: only this alert fades.
    if (shown == shown_ && window_->isVisible() && !window_->pointerInside()) handler.DoEndAnimation();
}

void TJvDesktopAlert::closed()
{
    if (location_.Position == dapCustom) {
        location_.Top = window_->y();
        location_.Left = window_->x();
    }
    fire(OnClose);
    stack_.Remove(window_.get());
}
