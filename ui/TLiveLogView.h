#pragma once
#include "ui/TLiveLogViewStore.h"

#include <QAbstractScrollArea>
#include <QCache>
#include <QColor>
#include <QElapsedTimer>
#include <QStringList>

class QTextLayout;

// The live log: read-only, wrapping, one colour per line; the user can select and copy text.
// Adding a line costs the same at the 100,000th line as at the first, and a line takes a few
// bytes: the lines are kept compactly and only the lines on screen are laid out. The view
// scrolls by whole lines, follows the end while it is at the end, and stays where it is while
// the user reads back. New lines are put on screen at most 25 times a second.
class TLiveLogView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TLiveLogView(QWidget* parent = nullptr);
    ~TLiveLogView() override;

    void appendLine(const QColor& colour, const QString& line);
    // The lines as shown, in order.
    QStringList lines() const;
    qsizetype lineCount() const { return store_.size(); }
    // The bytes the lines take (for figures).
    qsizetype storedBytes() const { return store_.bytes(); }
    QColor lineColour(qsizetype line) const;
    void clearLines();
    // Puts the lines added so far on screen now (the scroll range, following the end).
    void flush();

    bool isReadOnly() const { return true; }
    QString selectedText() const;
    void selectAll();
    void copy() const;
    // The first line on screen, and whether the view shows the end.
    qsizetype topLine() const;
    bool atEnd() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Position {
        qsizetype line = -1;
        int column = 0;
        bool operator<(const Position& o) const { return line != o.line ? line < o.line : column < o.column; }
        bool operator==(const Position& o) const = default;
    };

    TLiveLogViewStore store_;
    bool flushQueued_ = false;
    bool rangeStale_ = false;  // lines came while the view was out of sight
    QElapsedTimer shownAt_;
    mutable QCache<qsizetype, QTextLayout> layouts_;
    Position anchor_;
    Position cursor_;
    bool selecting_ = false;

    int textWidth() const;
    QTextLayout* layoutOf(qsizetype line) const;
    void forgetLayouts();
    void updateRange(bool followEnd);
    Position positionAt(const QPoint& point) const;
    bool hasSelection() const { return anchor_.line >= 0 && !(anchor_ == cursor_); }
};
