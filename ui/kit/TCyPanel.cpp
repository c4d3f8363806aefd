#include "ui/kit/TCyPanel.h"

#include "ui/kit/GradientBands.h"

#include <QPainter>

namespace {
const QColor BevelLight{255, 255, 255};
const QColor BevelShadow{128, 128, 128};
}  // namespace

TCyPanel::TCyPanel(QWidget* parent)
    : QWidget(parent), degrade_(QColor(166, 202, 240), QColor(255, 255, 255))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    degrade_.setOnChange([this] { update(); });
}

void TCyPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    // One band per row: a smooth gradient whatever the panel's height.
    GradientBands::paint(p, r, degrade_.FromColor(), degrade_.ToColor(), r.height());
    for (int i = 0; i < bevelWidth_; ++i) {
        const QRect b = r.adjusted(i, i, -i, -i);
        if (b.width() < 2 || b.height() < 2) break;
        p.fillRect(QRect(b.left(), b.top(), b.width(), 1), BevelLight);
        p.fillRect(QRect(b.left(), b.top(), 1, b.height()), BevelLight);
        p.fillRect(QRect(b.left(), b.bottom(), b.width(), 1), BevelShadow);
        p.fillRect(QRect(b.right(), b.top(), 1, b.height()), BevelShadow);
    }
}
