#include "ui/kit/GradientBands.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QColor rgb(int r, int g, int b) { return QColor(r, g, b); }

TEST(GradientBands, BandCountFollowsHeightAndRequest)
{
    struct Case { int height, requested, expected; };
    const Case cases[] = {
        {8, 8, 8}, {66, 66, 66}, {300, 32, 32}, {10, 100, 10}, {1, 5, 2}, {0, 5, 2}, {50, 1, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GradientBands::bandCount(c.height, c.requested), c.expected)
            << c.height << " rows, " << c.requested << " bands";
}

// The alert's top strip and body, blended and rounded per channel.
TEST(GradientBands, BandColoursOfTheAlertStripAndBody)
{
    const QColor captionFrom = rgb(82, 134, 214), captionTo = rgb(16, 65, 148);
    const QColor windowFrom = rgb(206, 231, 255), windowTo = rgb(123, 166, 231);
    struct Case { QColor from, to; int band, bands; QColor expected; };
    const Case cases[] = {
        {captionFrom, captionTo, 0, 8, captionFrom},
        {captionFrom, captionTo, 1, 8, rgb(73, 124, 205)},  // 72.57, 124.14, 204.57
        {captionFrom, captionTo, 4, 8, rgb(44, 95, 176)},   // 44.29, 94.57, 176.29
        {captionFrom, captionTo, 7, 8, captionTo},
        {windowFrom, windowTo, 0, 66, windowFrom},
        {windowFrom, windowTo, 33, 66, rgb(164, 198, 243)},  // 163.86, 198, 242.82
        {windowFrom, windowTo, 65, 66, windowTo},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GradientBands::bandColour(c.from, c.to, c.band, c.bands).rgb(), c.expected.rgb())
            << "band " << c.band << " of " << c.bands;
}

TEST(GradientBands, LeftoverRowsTakeTheEndColourAndFlatCasesTheStart)
{
    const QColor from = rgb(0, 0, 0), to = rgb(90, 180, 30);
    // 10 rows in 3 bands of 3 rows: row 9 is left over.
    EXPECT_EQ(GradientBands::rowColour(from, to, 10, 3, 0).rgb(), from.rgb());
    EXPECT_EQ(GradientBands::rowColour(from, to, 10, 3, 2).rgb(), from.rgb());
    EXPECT_EQ(GradientBands::rowColour(from, to, 10, 3, 3).rgb(), rgb(45, 90, 15).rgb());
    EXPECT_EQ(GradientBands::rowColour(from, to, 10, 3, 8).rgb(), to.rgb());
    EXPECT_EQ(GradientBands::rowColour(from, to, 10, 3, 9).rgb(), to.rgb());
    // One band requested, or equal colours: the start colour everywhere.
    EXPECT_EQ(GradientBands::rowColour(from, to, 10, 1, 9).rgb(), from.rgb());
    EXPECT_EQ(GradientBands::rowColour(to, to, 10, 5, 0).rgb(), to.rgb());
}

// What is painted matches the rule row by row, inside the rectangle only.
TEST(GradientBands, PaintedRowsMatchTheRule)
{
    struct Case { int height, requested; };
    const Case cases[] = {{8, 8}, {66, 66}, {10, 3}, {300, 32}, {7, 1}, {1, 4}};
    const QColor from = rgb(206, 231, 255), to = rgb(123, 166, 231);
    const QColor outside = rgb(1, 2, 3);
    for (const auto& c : cases) {
        QImage img(12, c.height + 4, QImage::Format_RGB32);
        img.fill(outside);
        {
            QPainter p(&img);
            GradientBands::paint(p, QRect(1, 2, 10, c.height), from, to, c.requested);
        }
        for (int y = 0; y < c.height; ++y) {
            const QColor want = GradientBands::rowColour(from, to, c.height, c.requested, y);
            ASSERT_EQ(QColor(img.pixel(1, y + 2)).rgb(), want.rgb()) << c.height << "/" << c.requested << " row " << y;
            ASSERT_EQ(QColor(img.pixel(10, y + 2)).rgb(), want.rgb());
        }
        EXPECT_EQ(QColor(img.pixel(0, 2)).rgb(), outside.rgb());
        EXPECT_EQ(QColor(img.pixel(11, 2)).rgb(), outside.rgb());
        EXPECT_EQ(QColor(img.pixel(5, 1)).rgb(), outside.rgb());
        EXPECT_EQ(QColor(img.pixel(5, c.height + 2)).rgb(), outside.rgb());
    }
}

}  // namespace
