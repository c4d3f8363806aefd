#pragma once
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

#include "ui/kit/TImageList.h"

// The program's own pictures, compiled in from resources/ (all SVG drawings of ours).
namespace Pictures {

// Resource paths.
QString programIconPath();
QString emblemPath();
QString glyphPath(int index);  // 0 .. GlyphCount - 1, the order of the image list
inline constexpr int GlyphCount = 10;

// Renders an SVG drawing at the given size onto a transparent pixmap; null when unreadable.
QPixmap render(const QString& svgPath, const QSize& size);

// The main icon at the usual sizes.
QIcon programIcon();
// The round amber emblem: 128 x 128 on the Home tab, 48 x 48 in the desktop alert.
QPixmap emblem(int size = 128);
// The Apply button's 18 x 18 check mark with its greyed variant for the disabled state.
QIcon applyGlyph();
// The button glyphs (il1): eye green, eye red, tray, exit, blank page, list page, floppy,
// check, cross, pencil; 16 x 16.
TImageList buttonGlyphs();

}  // namespace Pictures
