#pragma once
#include <QColor>
#include <QRect>

class QPainter;

// A vertical two-colour gradient drawn in flat bands: n = max(2, min(bands, height)) bands of
// height div n rows from the top, band i blended (end - start) * i / (n - 1) and rounded; the
// rows left over at the bottom take the end colour. Fewer than two bands requested, or equal
// colours, fill the rectangle with the start colour.
namespace GradientBands {

// Number of bands actually drawn for a rectangle of the given height.
int bandCount(int height, int requestedBands);

// Colour of band i out of n.
QColor bandColour(const QColor& from, const QColor& to, int band, int bands);

// Colour of row y (0 = top) of a rectangle of the given height.
QColor rowColour(const QColor& from, const QColor& to, int height, int requestedBands, int y);

void paint(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to,
           int requestedBands);

}  // namespace GradientBands
