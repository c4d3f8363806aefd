#include "ui/kit/THotTrackLabel.h"

#include <QEvent>
#include <QMouseEvent>

THotTrackLabel::THotTrackLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    plainFont_ = font();
    plainPalette_ = palette();
}

void THotTrackLabel::setHotTrack(bool on)
{
    hotTrack_ = on;
    if (!on && hot_) {
        hot_ = false;
        applyLook();
    }
}

void THotTrackLabel::setHotTrackColor(const QColor& c)
{
    hotColor_ = c;
    if (hot_) applyLook();
}

void THotTrackLabel::applyLook()
{
    applying_ = true;
    if (hot_) {
        QFont f = plainFont_;
        f.setUnderline(true);
        setFont(f);
        QPalette p = plainPalette_;
        p.setColor(QPalette::WindowText, hotColor_);
        setPalette(p);
    } else {
        setFont(plainFont_);
        setPalette(plainPalette_);
    }
    applying_ = false;
}

void THotTrackLabel::changeEvent(QEvent* event)
{
    // A font or palette given from outside becomes the plain look.
    if (!applying_ && !hot_) {
        if (event->type() == QEvent::FontChange) plainFont_ = font();
        if (event->type() == QEvent::PaletteChange) plainPalette_ = palette();
    }
    QLabel::changeEvent(event);
}

void THotTrackLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    if (hotTrack_ && !hot_) {
        hot_ = true;
        applyLook();
    }
}

void THotTrackLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    if (hot_) {
        hot_ = false;
        applyLook();
    }
}

void THotTrackLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void THotTrackLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}
