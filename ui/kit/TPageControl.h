#pragma once
#include <QTabWidget>

class TFlatButtonTabBar;

// A page control in the flat-buttons style: its tabs are TFlatButtonTabBar buttons and its
// pages carry no frame of their own.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr);

    TFlatButtonTabBar* flatTabBar() const { return bar_; }

private:
    TFlatButtonTabBar* bar_;
};
