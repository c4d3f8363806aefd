#pragma once
#include <QTabBar>

// A tab bar whose tabs are flat buttons: no frame around the pages, the chosen tab drawn as a
// pressed button, the others flat with an etched line between them, raised while the pointer
// is over them. Each tab is as wide as its caption needs in the bar's own font.
class TFlatButtonTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TFlatButtonTabBar(QWidget* parent = nullptr);

    // The button drawn for tab `index`: its tab rectangle less the gap to its neighbours.
    QRect buttonRect(int index) const;
    // The tab under the pointer, or -1.
    int hoveredTab() const { return hovered_; }

    static constexpr int Gap = 3;             // between buttons and around the row
    static constexpr int TextPadding = 10;    // left and right of a caption
    static constexpr int VerticalPadding = 6; // above and below a caption

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHovered(int index);

    int hovered_ = -1;
};
