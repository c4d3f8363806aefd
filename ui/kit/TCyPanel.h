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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TCyDegrade degrade_;
    const int bevelWidth_ = 1;  // in pixels
};
