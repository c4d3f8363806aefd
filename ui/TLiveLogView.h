#pragma once
#include <QColor>
#include <QList>
#include <QPlainTextEdit>

// The live log: read-only, wrapping, one colour per line. Lines are queued and inserted once per
// event-loop turn, in order, in one edit: a burst of events lays out the view once, not once per
// line, however long the log is.
class TLiveLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLiveLogView(QWidget* parent = nullptr);

    void appendLine(const QColor& colour, const QString& line);
    // The lines as shown (queued lines included), in order.
    QStringList lines();
    void clearLines();
    // Inserts the queued lines now.
    void flush();

private:
    struct Pending {
        QColor colour;
        QString text;
    };
    QList<Pending> pending_;
    bool flushQueued_ = false;
};
