#include "ui/TLiveLogView.h"

#include <QTextBlock>
#include <QTextCursor>

TLiveLogView::TLiveLogView(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
}

void TLiveLogView::appendLine(const QColor& colour, const QString& line)
{
    QTextCharFormat format;
    format.setForeground(colour);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // The document always holds one (empty) last block: text goes into it, then a new block
    // starts, so every line is followed by its break as in the original view.
    cursor.insertText(line, format);
    cursor.insertBlock();
}

QStringList TLiveLogView::lines() const
{
    QStringList out;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) out << b.text();
    if (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
    return out;
}

void TLiveLogView::clearLines() { clear(); }
