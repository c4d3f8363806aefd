#include "ui/kit/TShadowLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

TShadowLabel::TShadowLabel(const QString& text, QWidget* parent) : QWidget(parent), caption_(text)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void TShadowLabel::setCaption(const QString& text)
{
    if (text == caption_) return;
    caption_ = text;
    updateGeometry();
    update();
}

void TShadowLabel::setAlignment(Qt::Alignment a)
{
    alignment_ = a;
    update();
}

QSize TShadowLabel::sizeHint() const
{
    const QFontMetrics fm(font());
    const QSize text = fm.size(Qt::TextSingleLine, caption_);
    return {text.width() + shadowOffset_, fm.height() + shadowOffset_};
}

void TShadowLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

void TShadowLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    // Without Qt::TextShowMnemonic an ampersand is drawn as it is.
    const int flags = int(alignment_) | Qt::TextSingleLine;
    const QRect area = rect().adjusted(0, 0, -shadowOffset_, -shadowOffset_);
    p.setPen(shadowColor_);
    p.drawText(area.translated(shadowOffset_, shadowOffset_), flags, caption_);
    p.setPen(textColor_);
    p.drawText(area, flags, caption_);
}
