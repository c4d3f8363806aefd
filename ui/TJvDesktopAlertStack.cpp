#include "ui/TJvDesktopAlertStack.h"

#include "ui/TJvFormDesktopAlert.h"

#include <QGuiApplication>
#include <QScreen>

TJvDesktopAlertStack::TJvDesktopAlertStack(TJvDesktopAlertPosition position) : position_(position) {}

TJvDesktopAlertStack& TJvDesktopAlertStack::shared()
{
    static TJvDesktopAlertStack stack(dapBottomRight);
    return stack;
}

QRect TJvDesktopAlertStack::workArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect available = screen->availableGeometry();
    if (available.isValid() && !available.isEmpty()) return available;
    return QRect(QPoint(0, 0), screen->geometry().size());
}

void TJvDesktopAlertStack::Add(TJvFormDesktopAlert* window)
{
    if (!window) return;
    items_.removeAll(window);
    items_ << window;
    UpdatePositions();
}

void TJvDesktopAlertStack::Remove(TJvFormDesktopAlert* window)
{
    const qsizetype at = items_.indexOf(window);
    if (at < 0) return;
    items_[at] = nullptr;
    // Later windows move down into the nearest cleared entry before them, unless the pointer
    // rests on them.
    for (qsizetype i = at + 1; i < items_.size(); ++i) {
        TJvFormDesktopAlert* w = items_[i];
        if (!w || w->pointerInside()) continue;
        qsizetype j = i - 1;
        while (j >= 0 && items_[j]) --j;
        if (j < 0) continue;
        items_[j] = w;
        items_[i] = nullptr;
    }
    while (!items_.isEmpty() && !items_.constLast()) items_.removeLast();
    UpdatePositions();
}

void TJvDesktopAlertStack::UpdatePositions()
{
    const QRect area = workArea();
    const int right = area.x() + area.width();
    const int bottom = area.y() + area.height();
    int edge = -1;  // the previous window's free edge: its top (growing up) or bottom (down)
    for (TJvFormDesktopAlert* w : items_) {
        if (!w || !w->isVisible()) continue;
        const QSize size = w->frameGeometry().size();
        QPoint at;
        switch (position_) {
        case dapBottomRight:
        case dapCustom:
            if (edge < 0) edge = bottom;
            at = QPoint(right - size.width(), edge - size.height());
            edge = at.y();
            break;
        case dapBottomLeft:
            if (edge < 0) edge = bottom;
            at = QPoint(area.x(), edge - size.height());
            edge = at.y();
            break;
        case dapTopRight:
            if (edge < 0) edge = area.y();
            at = QPoint(right - size.width(), edge);
            edge = at.y() + size.height();
            break;
        case dapTopLeft:
            if (edge < 0) edge = area.y();
            at = QPoint(area.x(), edge);
            edge = at.y() + size.height();
            break;
        }
        if (w->pos() != at && !w->pointerInside()) w->move(at);
    }
}
