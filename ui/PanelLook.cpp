#include "ui/PanelLook.h"

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

void SetPanelLook(const Twatcher& w, PanelLook look)
{
    switch (look) {
    case PanelLook::Running:
        SetPanelLook(w, PanelColour::Navy, PanelColour::SkyBlue, PanelColour::Aqua);
        return;
    case PanelLook::Stopped:
        SetPanelLook(w, PanelColour::White, PanelColour::SkyBlue, PanelColour::Blue);
        return;
    }
}

void SetEmptyPanelLook(const Twatcher& w) { SetPanelLook(w, PanelColour::SkyBlue, PanelColour::White, PanelColour::Grey); }
