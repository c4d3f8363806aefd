#include "ui/kit/TFlatButtonTabBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace {

// A one-pixel bevel: `topLeft` on the upper and left edges, `bottomRight` on the others.
void bevel(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

}  // namespace

TFlatButtonTabBar::TFlatButtonTabBar(QWidget* parent) : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(false);
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(false);
    setMouseTracking(true);
}

QSize TFlatButtonTabBar::tabSizeHint(int index) const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(tabText(index)) + 2 * TextPadding + Gap,
            fm.height() + 2 * VerticalPadding + 2 * Gap};
}

QRect TFlatButtonTabBar::buttonRect(int index) const
{
    // The row starts one gap in from the left edge; each tab keeps one gap on its right.
    return tabRect(index).adjusted(Gap, Gap, 0, -Gap);
}

void TFlatButtonTabBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Button));
    for (int i = 0; i < count(); ++i) {
        const QRect r = buttonRect(i);
        const bool chosen = i == currentIndex();
        if (chosen) {
            // Pressed in: a lighter face inside a sunken edge, the caption shifted down-right.
            p.fillRect(r, pal.color(QPalette::Midlight));
            bevel(p, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
        } else if (i == hovered_ && isTabEnabled(i)) {
            bevel(p, r, pal.color(QPalette::Light), pal.color(QPalette::Dark));
        }
        // An etched line between two buttons that are both flat.
        const int next = i + 1;
        if (next < count() && !chosen && next != currentIndex() && i != hovered_ && next != hovered_) {
            const int x = r.right() + Gap / 2 + 1;
            p.fillRect(QRect(x - 1, r.top() + 2, 1, r.height() - 4), pal.color(QPalette::Dark));
            p.fillRect(QRect(x, r.top() + 2, 1, r.height() - 4), pal.color(QPalette::Light));
        }
        p.setPen(pal.color(isTabEnabled(i) ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        p.setFont(font());
        p.drawText(chosen ? r.translated(1, 1) : r, Qt::AlignCenter | Qt::TextSingleLine,
                   tabText(i));
        if (chosen && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = r.adjusted(3, 3, -3, -3);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
    }
}

void TFlatButtonTabBar::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(tabAt(event->position().toPoint()));
    QTabBar::mouseMoveEvent(event);
}

void TFlatButtonTabBar::leaveEvent(QEvent* event)
{
    setHovered(-1);
    QTabBar::leaveEvent(event);
}

void TFlatButtonTabBar::setHovered(int index)
{
    if (index == hovered_) return;
    hovered_ = index;
    update();
}
