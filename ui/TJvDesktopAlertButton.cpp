#include "ui/TJvDesktopAlertButton.h"

#include <QPainter>

const QColor TJvDesktopAlertButton::HotFrame{0, 51, 102};
const QColor TJvDesktopAlertButton::HotFill{181, 190, 214};
const QColor TJvDesktopAlertButton::DownFill{153, 153, 204};

TJvDesktopAlertButton::TJvDesktopAlertButton(ToolType type, QWidget* parent)
    : QAbstractButton(parent), type_(type)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    resize(15, 15);
}

void TJvDesktopAlertButton::enterEvent(QEnterEvent* event)
{
    hot_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TJvDesktopAlertButton::leaveEvent(QEvent* event)
{
    hot_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TJvDesktopAlertButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    if (isDown() || hot_) {
        p.fillRect(r, isDown() ? DownFill : HotFill);
        p.setPen(HotFrame);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    const QColor ink = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText);
    const int cx = r.width() / 2, cy = r.height() / 2;
    if (type_ == abtClose) {
        // A cross of two-pixel strokes, about seven pixels across.
        for (int i = -3; i <= 3; ++i) {
            p.fillRect(cx + i - 1, cy + i, 2, 1, ink);
            p.fillRect(cx - i - 1, cy + i, 2, 1, ink);
        }
    } else {
        for (int i = 0; i < 3; ++i) p.fillRect(cx - 3 + i, cy - 1 + i, 7 - 2 * i, 1, ink);
    }
}
