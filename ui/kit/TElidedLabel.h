#pragma once
#include <QLabel>

// A one-line plain-text label that, when its text is wider than the label, shows it cut in the
// middle with "…" (both ends of a path stay readable) and gives the whole text as its tool tip.
// text() stays the whole text.
class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit TElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    // The text as drawn at the label's present width.
    QString shownText() const;
    bool isElided() const { return shownText() != text(); }

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textRect() const;
};
