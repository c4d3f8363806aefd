#pragma once
#include <QPlainTextEdit>

// The live log: read-only, wrapping, one colour per line. Appending goes through a cursor at
// the end, so a new line lays out only itself however long the log is.
class TLiveLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TLiveLogView(QWidget* parent = nullptr);

    void appendLine(const QColor& colour, const QString& line);
    // The lines as shown, in order.
    QStringList lines() const;
    void clearLines();
};
