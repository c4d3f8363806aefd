#pragma once
#include <QColor>
#include <QLabel>

// A plain-text label that can be clicked. With hot tracking on, it is drawn underlined in the
// hot colour while the pointer is over it. Text is shown exactly as given ("&" included).
class THotTrackLabel : public QLabel {
    Q_OBJECT
public:
    explicit THotTrackLabel(QWidget* parent = nullptr);

    void setHotTrack(bool on);
    void setHotTrackColor(const QColor& c);

signals:
    // A left-button press and release, both on the label.
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyLook();

    bool hotTrack_ = false;
    bool hot_ = false;
    bool pressed_ = false;
    bool applying_ = false;
    QColor hotColor_{0, 0, 128};
    QFont plainFont_;
    QPalette plainPalette_;
};
