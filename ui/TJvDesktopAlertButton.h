#pragma once
#include <QAbstractButton>

// A small flat button of the alert window, drawn by its tool type: a cross for closing, a
// small triangle for the drop-down. Transparent until the pointer is over it.
class TJvDesktopAlertButton : public QAbstractButton {
    Q_OBJECT
public:
    enum ToolType { abtClose, abtDropDown };

    explicit TJvDesktopAlertButton(ToolType type, QWidget* parent = nullptr);

    static const QColor HotFrame;
    static const QColor HotFill;
    static const QColor DownFill;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ToolType type_;
    bool hot_ = false;
};
