#include "core/PanelLook.h"

#include "ui/kit/TCyPanel.h"

#include <QLabel>

void SetLabelColour(TLabel* label, const QColor& colour)
{
    if (!label) return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
}

void SetPanelLook(const Twatcher& w, const QColor& from, const QColor& to, const QColor& nameColour)
{
    if (w.Panel) {
        w.Panel->Degrade().setFromColor(from);
        w.Panel->Degrade().setToColor(to);
    }
    SetLabelColour(w.WatchNameLbl, nameColour);
}
