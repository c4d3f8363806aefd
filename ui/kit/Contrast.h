#pragma once
#include <QColor>

// Readability of text on its background, as WCAG measures it.
namespace Contrast {

// Relative luminance, 0 (black) to 1 (white).
double luminance(const QColor& c);
// From 1 (same luminance) to 21 (black on white), whichever colour is the lighter.
double ratio(const QColor& a, const QColor& b);

// The least contrast for body text.
inline constexpr double Readable = 4.5;

// `ink` itself when it reads on `background`; otherwise the same hue made darker on a light
// background (lighter on a dark one), just enough to reach `minimum` where that can be done.
QColor readable(const QColor& ink, const QColor& background, double minimum = Readable);

}  // namespace Contrast
