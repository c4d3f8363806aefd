#pragma once
#include "core/Twatcher.h"
#include "core/WatchWindow.h"

#include <QColor>

// The colours of a slot's list panel, named once.
namespace PanelColour {
inline const QColor Blue{0, 0, 255};
inline const QColor Aqua{0, 255, 255};
inline const QColor Navy{0, 0, 128};
inline const QColor White{255, 255, 255};
inline const QColor SkyBlue{166, 202, 240};
// The name of an empty slot: a grey dark enough to read on the sky blue it lies on.
inline const QColor Grey{72, 72, 72};
}  // namespace PanelColour

// Paints a slot's panel gradient and its name label's colour through the record's references.
void SetPanelLook(const Twatcher& w, const QColor& from, const QColor& to, const QColor& nameColour);
void SetLabelColour(TLabel* label, const QColor& colour);
// A running watch: navy to sky blue, name in aqua; a stopped one: white to sky blue, name in
// blue; an empty slot: sky blue to white, name in grey.
void SetPanelLook(const Twatcher& w, PanelLook look);
void SetEmptyPanelLook(const Twatcher& w);
