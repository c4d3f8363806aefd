#include "ui/kit/Contrast.h"

#include <algorithm>
#include <cmath>

namespace Contrast {

double luminance(const QColor& c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double ratio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readable(const QColor& ink, const QColor& background, double minimum)
{
    if (ratio(ink, background) >= minimum) return ink;
    // Toward black on a light background, toward white on a dark one: the hue stays, the
    // smallest step that reads is taken.
    const bool darken = luminance(background) >= 0.18;
    const QColor goal = darken ? QColor(0, 0, 0) : QColor(255, 255, 255);
    QColor best = goal;
    for (int step = 1; step <= 64; ++step) {
        const double t = step / 64.0;
        const QColor c(int(std::lround(ink.red() + (goal.red() - ink.red()) * t)),
                       int(std::lround(ink.green() + (goal.green() - ink.green()) * t)),
                       int(std::lround(ink.blue() + (goal.blue() - ink.blue()) * t)));
        if (ratio(c, background) >= minimum) {
            best = c;
            break;
        }
    }
    return best;
}

}  // namespace Contrast
