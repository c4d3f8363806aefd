#pragma once
#include "ui/kit/TCyDegrade.h"

#include <QWidget>

// A panel with a raised bevelled edge whose background is a vertical two-colour gradient
// (its Degrade). Children are placed on it like on any widget.
class TCyPanel : public QWidget {
    Q_OBJECT
public:
    explicit TCyPanel(QWidget* parent = nullptr);

    TCyDegrade& Degrade() { return degrade_; }
    const TCyDegrade& Degrade() const { return degrade_; }

    // Width of the bevel in pixels (0 draws none).
    int BevelWidth() const { return bevelWidth_; }
    void setBevelWidth(int w);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TCyDegrade degrade_;
    int bevelWidth_ = 1;
};
