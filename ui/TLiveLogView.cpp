#include "ui/TLiveLogView.h"

#include "ui/kit/Contrast.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTimer>

#include <limits>

namespace {

constexpr int kMargin = 4;
constexpr int kCachedLayouts = 96;  // the lines of a screen or two: a laid-out line is heavy
constexpr qint64 kShowEveryMs = 40;  // new lines reach the screen at most this often
const QColor PageColour(255, 255, 255);

}  // namespace

TLiveLogView::TLiveLogView(QWidget* parent) : QAbstractScrollArea(parent), layouts_(kCachedLayouts)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    // The lines carry colours of their own (red events, blue actions, green starts) chosen for
    // a light page: the page stays light whatever the desktop's theme.
    QPalette page = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        page.setColor(group, QPalette::Base, PageColour);
        page.setColor(group, QPalette::Text, QColor(0, 0, 0));
    }
    setPalette(page);
    verticalScrollBar()->setSingleStep(1);
    updateRange(false);
}

TLiveLogView::~TLiveLogView() = default;

void TLiveLogView::appendLine(const QColor& colour, const QString& line)
{
    store_.append(colour.rgb(), line);
    if (!flushQueued_) {
        flushQueued_ = true;
        // A burst shows as it goes, without laying out and painting the view for every turn.
        const qint64 since = shownAt_.isValid() ? shownAt_.elapsed() : kShowEveryMs;
        QTimer::singleShot(int(qMax<qint64>(0, kShowEveryMs - since)), this, &TLiveLogView::flush);
    }
}

void TLiveLogView::flush()
{
    if (!flushQueued_) return;
    flushQueued_ = false;
    shownAt_.start();
    // Out of sight (another tab is in front) nothing is laid out until the view shows again.
    if (!isVisible()) {
        rangeStale_ = true;
        return;
    }
    updateRange(true);
    viewport()->update();
}

void TLiveLogView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    if (rangeStale_) updateRange(true);
}

QStringList TLiveLogView::lines() const
{
    QStringList out;
    out.reserve(store_.size());
    for (qsizetype i = 0; i < store_.size(); ++i) out << store_.text(i);
    return out;
}

QColor TLiveLogView::lineColour(qsizetype line) const { return QColor::fromRgb(store_.colour(line)); }

void TLiveLogView::clearLines()
{
    store_.clear();
    forgetLayouts();
    anchor_ = cursor_ = Position();
    selecting_ = false;
    updateRange(false);
    viewport()->update();
}

qsizetype TLiveLogView::topLine() const { return verticalScrollBar()->value(); }

bool TLiveLogView::atEnd() const { return verticalScrollBar()->value() == verticalScrollBar()->maximum(); }

int TLiveLogView::textWidth() const { return qMax(1, viewport()->width() - 2 * kMargin); }

QTextLayout* TLiveLogView::layoutOf(qsizetype line) const
{
    if (QTextLayout* cached = layouts_.object(line)) return cached;
    auto* layout = new QTextLayout(store_.text(line), font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const int width = textWidth();
    qreal height = 0;
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, height));
        height += row.height();
    }
    layout->endLayout();
    // An empty line still takes a row.
    if (layout->lineCount() == 0) {
        layout->beginLayout();
        QTextLine row = layout->createLine();
        row.setLineWidth(width);
        layout->endLayout();
    }
    layouts_.insert(line, layout);
    return layout;
}

void TLiveLogView::forgetLayouts() { layouts_.clear(); }

// The range runs over whole lines: the last value shows as many of the last lines as fit.
void TLiveLogView::updateRange(bool followEnd)
{
    rangeStale_ = false;
    QScrollBar* bar = verticalScrollBar();
    const bool wasAtEnd = bar->value() == bar->maximum();
    const qsizetype count = store_.size();
    const qreal room = viewport()->height() - 2 * kMargin;
    qsizetype fit = 0;
    qreal used = 0;
    for (qsizetype i = count - 1; i >= 0; --i) {
        used += layoutOf(i)->boundingRect().height();
        if (used > room && fit > 0) break;
        ++fit;
        if (used >= room) break;
    }
    const qsizetype maximum = qMax<qsizetype>(0, count - qMax<qsizetype>(1, fit));
    const int clamped = int(qMin<qsizetype>(maximum, std::numeric_limits<int>::max()));
    bar->setRange(0, clamped);
    bar->setPageStep(int(qMax<qsizetype>(1, fit)));
    // Follow the log while the user is at its end; leave the view alone while they read back.
    if (followEnd && wasAtEnd) bar->setValue(bar->maximum());
}

void TLiveLogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette pal = palette();
    const qsizetype count = store_.size();
    Position from = anchor_, to = cursor_;
    if (to < from) std::swap(from, to);
    const bool selection = hasSelection();
    qreal y = kMargin;
    for (qsizetype i = topLine(); i < count && y < viewport()->height(); ++i) {
        QTextLayout* layout = layoutOf(i);
        QList<QTextLayout::FormatRange> ranges;
        if (selection && i >= from.line && i <= to.line) {
            const int start = i == from.line ? from.column : 0;
            const int end = i == to.line ? to.column : int(layout->text().size());
            if (end > start) {
                QTextLayout::FormatRange r;
                r.start = start;
                r.length = end - start;
                r.format.setBackground(pal.brush(QPalette::Highlight));
                r.format.setForeground(pal.brush(QPalette::HighlightedText));
                ranges << r;
            }
        }
        // A colour too light for the page (the pure red of events) is drawn a shade darker,
        // aiming a little above the least: the thin strokes of small text never reach their
        // full colour.
        painter.setPen(Contrast::readable(QColor::fromRgb(store_.colour(i)), PageColour, Contrast::Readable + 0.5));
        layout->draw(&painter, QPointF(kMargin, y), ranges);
        y += layout->boundingRect().height();
    }
}

void TLiveLogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    forgetLayouts();
    updateRange(true);
}

void TLiveLogView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        forgetLayouts();
        updateRange(true);
        viewport()->update();
    }
}

void TLiveLogView::scrollContentsBy(int, int) { viewport()->update(); }

TLiveLogView::Position TLiveLogView::positionAt(const QPoint& point) const
{
    const qsizetype count = store_.size();
    if (count == 0) return {};
    if (point.y() < kMargin) return {topLine(), 0};
    qreal y = kMargin;
    for (qsizetype i = topLine(); i < count; ++i) {
        QTextLayout* layout = layoutOf(i);
        const qreal h = layout->boundingRect().height();
        if (point.y() < y + h || i == count - 1) {
            const qreal inside = qMin(point.y() - y, h - 1);
            for (int r = 0; r < layout->lineCount(); ++r) {
                const QTextLine row = layout->lineAt(r);
                if (inside < row.y() + row.height() || r == layout->lineCount() - 1)
                    return {i, row.xToCursor(point.x() - kMargin)};
            }
        }
        y += h;
        if (y > viewport()->height()) return {i, int(layout->text().size())};
    }
    return {count - 1, int(store_.text(count - 1).size())};
}

void TLiveLogView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    const Position at = positionAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier) || anchor_.line < 0) anchor_ = at;
    cursor_ = at;
    selecting_ = true;
    viewport()->update();
}

void TLiveLogView::mouseMoveEvent(QMouseEvent* event)
{
    if (!selecting_) return;
    const QPoint p = event->position().toPoint();
    // Dragging past an edge reads on.
    if (p.y() < 0) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    if (p.y() > viewport()->height()) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    cursor_ = positionAt(p);
    viewport()->update();
}

void TLiveLogView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !selecting_) return QAbstractScrollArea::mouseReleaseEvent(event);
    cursor_ = positionAt(event->position().toPoint());
    selecting_ = false;
    viewport()->update();
    QClipboard* clipboard = QApplication::clipboard();
    if (hasSelection() && clipboard->supportsSelection()) clipboard->setText(selectedText(), QClipboard::Selection);
}

void TLiveLogView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const Position at = positionAt(event->position().toPoint());
    if (at.line < 0) return;
    const QString text = store_.text(at.line);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(at.column);
    qsizetype start = at.column;
    if (!(words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) start = qMax<qsizetype>(0, words.toPreviousBoundary());
    words.setPosition(start);
    qsizetype end = words.toNextBoundary();
    if (end < 0) end = text.size();
    anchor_ = {at.line, int(start)};
    cursor_ = {at.line, int(end)};
    selecting_ = false;
    viewport()->update();
}

void TLiveLogView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* bar = verticalScrollBar();
    if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        bar->setValue(0);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        bar->setValue(bar->maximum());
    } else if (event->key() == Qt::Key_Up) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (event->key() == Qt::Key_Down) {
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (event->key() == Qt::Key_PageUp) {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    } else if (event->key() == Qt::Key_PageDown) {
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    } else {
        // Nothing typed changes the log.
        event->ignore();
    }
}

void TLiveLogView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("&Copy"), this, &TLiveLogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    menu.addSeparator();
    QAction* all = menu.addAction(tr("Select All"), this, &TLiveLogView::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(store_.size() > 0);
    menu.exec(event->globalPos());
}

QString TLiveLogView::selectedText() const
{
    if (!hasSelection()) return {};
    Position from = anchor_, to = cursor_;
    if (to < from) std::swap(from, to);
    QString out;
    for (qsizetype i = from.line; i <= to.line && i < store_.size(); ++i) {
        const QString text = store_.text(i);
        const int start = i == from.line ? from.column : 0;
        const int end = i == to.line ? to.column : int(text.size());
        if (i > from.line) out += u'\n';
        out += text.mid(start, end - start);
    }
    return out;
}

void TLiveLogView::selectAll()
{
    if (store_.size() == 0) return;
    anchor_ = {0, 0};
    cursor_ = {store_.size() - 1, int(store_.text(store_.size() - 1).size())};
    viewport()->update();
}

void TLiveLogView::copy() const
{
    if (hasSelection()) QApplication::clipboard()->setText(selectedText());
}
