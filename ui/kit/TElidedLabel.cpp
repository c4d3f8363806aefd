#include "ui/kit/TElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

TElidedLabel::TElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

QRect TElidedLabel::textRect() const
{
    // The label's indent, on the side the text is aligned to.
    const int indent = std::max(0, this->indent());
    QRect r = contentsRect();
    if (alignment() & Qt::AlignLeft) r.setLeft(r.left() + indent);
    if (alignment() & Qt::AlignRight) r.setRight(r.right() - indent);
    return r;
}

QString TElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect().width());
}

QSize TElidedLabel::minimumSizeHint() const
{
    // Any width will do: the text gives way in the middle.
    return {0, QLabel::minimumSizeHint().height()};
}

bool TElidedLabel::event(QEvent* event)
{
    // The tool tip is the whole text, and only when some of it is hidden.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (isElided())
            QToolTip::showText(help->globalPos(), text(), this, rect());
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

void TElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawFrame(&p);
    // Drawn without mnemonics: an ampersand in a path shows as it is.
    style()->drawItemText(&p, textRect(), int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          shownText(), foregroundRole());
}
