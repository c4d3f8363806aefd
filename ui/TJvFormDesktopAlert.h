#pragma once
#include "ui/TJvDesktopAlertTypes.h"
#include "ui/TJvFadeAlertStyleHandler.h"

#include <QCursor>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class THotTrackLabel;
class TJvDesktopAlertButton;
class AlertClock;

// The desktop alert's window: borderless, top-most, without a taskbar entry, never taking the
// keyboard focus. Paints its top strip and body as banded gradients, fades through its
// opacity, watches the pointer and can be dragged.
class TJvFormDesktopAlert : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultWidth = 329;
    static constexpr int DefaultHeight = 76;
    static constexpr int MouseTimerInterval = 200;

    explicit TJvFormDesktopAlert(AlertClock& clock);
    ~TJvFormDesktopAlert() override;

    // Children.
    QLabel* imIcon() const { return imIcon_; }
    QLabel* lblHeader() const { return lblHeader_; }
    THotTrackLabel* lblText() const { return lblText_; }
    TJvDesktopAlertButton* tbDropDown() const { return tbDropDown_; }
    TJvDesktopAlertButton* tbClose() const { return tbClose_; }

    TJvFadeAlertStyleHandler& StyleHandler() { return *handler_; }

    TJvDesktopAlertOptions Options() const { return options_; }
    void setOptions(TJvDesktopAlertOptions o);
    void setColors(const TJvDesktopAlertColors& c);

    // Window opacity, 0 (clear) to 255 (opaque).
    int AlphaBlendValue() const { return alpha_; }
    void SetAlphaBlendValue(int alpha);

    // Places the children as the current texts and options require.
    virtual void LayoutControls();

    void showWithoutActivating();
    // The window that had the activation before the alert showed; should the platform
    // activate the alert all the same, the activation goes back to it.
    void setReturnActivationTo(QWidget* window) { returnTo_ = window; }
    // Hides the window at once, stops its timers and tells the owner (OnClose).
    void CloseAlert();

    // True when the pointer lies inside the window's rectangle.
    bool pointerInside() const;
    bool MouseInWindow() const { return mouseInWindow_; }
    // Where the pointer is; the real cursor unless a test supplies its own.
    void setPointerSource(std::function<QPoint()> source) { pointer_ = std::move(source); }
    QPoint pointerPos() const { return pointer_ ? pointer_() : QCursor::pos(); }

    // True where a press would drag the window (the platform's "caption" answer).
    bool isCaptionHit(const QPoint& local) const;

    // Hooks for the owning component.
    std::function<void()> OnShowing, OnShow, OnShown, OnClose, OnMouseEnter, OnMouseLeave;
    std::function<void()> OnMessageClick;      // the message label was clicked
    std::function<void()> OnCloseButtonClick;  // the close button was clicked

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void mouseTimerTick();
    QWidget* visibleChildAt(const QPoint& local) const;

    QLabel* imIcon_;
    QLabel* lblHeader_;
    THotTrackLabel* lblText_;
    TJvDesktopAlertButton* tbDropDown_;
    TJvDesktopAlertButton* tbClose_;
    std::unique_ptr<TJvFadeAlertStyleHandler> handler_;
    std::unique_ptr<AlertTimer> mouseTimer_;
    std::function<QPoint()> pointer_;
    TJvDesktopAlertOptions options_ = daoCanClick | daoCanMove | daoCanMoveAnywhere | daoCanClose;
    TJvDesktopAlertColors colors_;
    int alpha_ = 255;
    bool mouseInWindow_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
    QPointer<QWidget> returnTo_;
    bool closing_ = false;
};
