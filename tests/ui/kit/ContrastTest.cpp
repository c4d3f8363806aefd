#include "ui/kit/Contrast.h"

#include <gtest/gtest.h>

namespace {

TEST(Contrast, RatiosOfKnownPairs)
{
    const struct {
        QColor a, b;
        double ratio;
    } cases[] = {
        {Qt::black, Qt::white, 21.0},
        {Qt::white, Qt::black, 21.0},
        {QColor(255, 0, 0), Qt::white, 4.0},  // pure red on a white page falls short of 4.5
        {QColor(0, 0, 255), Qt::white, 8.59},
        {QColor(0, 128, 0), Qt::white, 5.14},
        {QColor(128, 128, 128), QColor(128, 128, 128), 1.0},
    };
    for (const auto& c : cases) EXPECT_NEAR(Contrast::ratio(c.a, c.b), c.ratio, 0.01) << c.a.name().toStdString();
}

// A colour that reads is left alone; one that does not keeps its hue and moves away from the
// ground only as far as it must.
TEST(Contrast, ReadableKeepsTheHueAndTakesTheSmallestStep)
{
    const struct {
        QColor ink, ground;
        bool unchanged;
    } cases[] = {
        {QColor(0, 0, 255), Qt::white, true},
        {QColor(255, 0, 0), Qt::white, false},
        {QColor(0, 128, 0), QColor(166, 202, 240), false},
        {QColor(0, 0, 0), QColor(53, 53, 53), false},  // black on a dark ground turns grey
        {QColor(0, 0, 255), QColor(30, 30, 30), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ink.name().toStdString() + " on " + c.ground.name().toStdString());
        const QColor got = Contrast::readable(c.ink, c.ground);
        EXPECT_GE(Contrast::ratio(got, c.ground), Contrast::Readable);
        if (c.unchanged) {
            EXPECT_EQ(got, c.ink);
            continue;
        }
        EXPECT_NE(got, c.ink);
        // Red stays red: the channels keep their order.
        if (c.ink == QColor(255, 0, 0)) {
            EXPECT_GT(got.red(), 150);
            EXPECT_EQ(got.green(), got.blue());
        }
        // One step less would not read: nothing was darkened (or lightened) for nothing.
        const bool darker = Contrast::luminance(got) < Contrast::luminance(c.ink);
        const QColor lessFar = darker ? QColor(std::min(255, got.red() + 5), std::min(255, got.green() + 5), std::min(255, got.blue() + 5))
                                      : QColor(std::max(0, got.red() - 5), std::max(0, got.green() - 5), std::max(0, got.blue() - 5));
        EXPECT_LT(Contrast::ratio(lessFar, c.ground), Contrast::Readable + 0.6);
    }
}

}  // namespace
