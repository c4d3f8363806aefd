#include "ui/TLiveLogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

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
    pending_.append({colour, line});
    if (!flushQueued_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, &TLiveLogView::flush);
    }
}

void TLiveLogView::flush()
{
    flushQueued_ = false;
    if (pending_.isEmpty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    for (const Pending& p : std::as_const(pending_)) {
        QTextCharFormat format;
        format.setForeground(p.colour);
        // The document always ends in an empty block: the line goes into it and a new one
        // follows, so every line ends with its break.
        cursor.insertText(p.text, format);
        cursor.insertBlock();
    }
    cursor.endEditBlock();
    pending_.clear();
    // Follow the log while the user is at its end; leave the view alone while they read back.
    if (atEnd) bar->setValue(bar->maximum());
}

QStringList TLiveLogView::lines()
{
    flush();
    QStringList out;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) out << b.text();
    if (!out.isEmpty() && out.last().isEmpty()) out.removeLast();
    return out;
}

void TLiveLogView::clearLines()
{
    pending_.clear();
    clear();
}
