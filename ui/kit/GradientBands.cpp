#include "ui/kit/GradientBands.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace GradientBands {
namespace {

int blend(int from, int to, int band, int bands)
{
    const double v = from + double(to - from) * band / double(bands - 1);
    return std::clamp(int(std::lround(v)), 0, 255);
}

bool flat(const QColor& from, const QColor& to, int requestedBands)
{
    return requestedBands < 2 || from.rgb() == to.rgb();
}

}  // namespace

int bandCount(int height, int requestedBands)
{
    return std::max(2, std::min(requestedBands, height));
}

QColor bandColour(const QColor& from, const QColor& to, int band, int bands)
{
    if (bands < 2) return from;
    return QColor(blend(from.red(), to.red(), band, bands),
                  blend(from.green(), to.green(), band, bands),
                  blend(from.blue(), to.blue(), band, bands));
}

QColor rowColour(const QColor& from, const QColor& to, int height, int requestedBands, int y)
{
    if (flat(from, to, requestedBands)) return from;
    const int n = bandCount(height, requestedBands);
    const int rows = height / n;
    // A rectangle lower than two rows still has two bands of zero rows: all rows are left over.
    if (rows == 0 || y >= rows * n) return to;
    return bandColour(from, to, y / rows, n);
}

void paint(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to,
           int requestedBands)
{
    if (rect.isEmpty()) return;
    if (flat(from, to, requestedBands)) {
        painter.fillRect(rect, from);
        return;
    }
    const int h = rect.height();
    const int n = bandCount(h, requestedBands);
    const int rows = h / n;
    int y = rect.top();
    if (rows > 0) {
        for (int i = 0; i < n; ++i, y += rows)
            painter.fillRect(QRect(rect.left(), y, rect.width(), rows), bandColour(from, to, i, n));
    }
    if (y <= rect.bottom())
        painter.fillRect(QRect(rect.left(), y, rect.width(), rect.bottom() - y + 1), to);
}

}  // namespace GradientBands
