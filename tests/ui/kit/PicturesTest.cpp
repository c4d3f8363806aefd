#include "ui/kit/Pictures.h"
#include "ui/kit/TImageList.h"

#include <QImage>
#include <gtest/gtest.h>

#include <functional>

namespace {

using Pixel = std::function<bool(const QColor&)>;

bool green(const QColor& c) { return c.green() > 110 && c.green() > c.red() + 50 && c.green() > c.blue() + 50; }
bool red(const QColor& c) { return c.red() > 150 && c.red() > c.green() + 80 && c.red() > c.blue() + 80; }
bool blue(const QColor& c) { return c.blue() > 90 && c.blue() > c.red() + 40 && c.blue() > c.green() + 20; }
bool yellow(const QColor& c) { return c.red() > 200 && c.green() > 150 && c.blue() < 100; }
bool white(const QColor& c) { return c.red() > 235 && c.green() > 235 && c.blue() > 235; }
bool dark(const QColor& c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; }
bool darkBrown(const QColor& c) { return c.red() < 110 && c.green() < 90 && c.blue() < 70; }

int count(const QImage& img, const Pixel& test)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() > 200 && test(c)) ++n;
        }
    return n;
}

// Each glyph of the button list is 16 x 16 with a transparent surround and shows its subject's
// colours.
TEST(Pictures, ButtonGlyphsShowTheirSubjects)
{
    struct Case { int index; QList<Pixel> colours; Pixel absent; };
    const Case cases[] = {
        {0, {green, white, dark}, red},   // eye, green iris
        {1, {red, white, dark}, green},   // eye, red iris
        {2, {green}, red},                // triangle down
        {3, {red, blue}, green},          // arrow entering a door
        {4, {white}, blue},               // blank page
        {5, {white, blue}, red},          // page with a list
        {6, {blue, white}, red},          // floppy
        {7, {green}, red},                // check
        {8, {red}, green},                // cross
        {9, {yellow}, blue},              // pencil
    };
    const TImageList il1 = Pictures::buttonGlyphs();
    ASSERT_EQ(il1.Count(), Pictures::GlyphCount);
    for (const auto& c : cases) {
        const QImage img = il1.pixmap(c.index).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(img.size(), QSize(16, 16)) << c.index;
        EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0) << c.index;
        EXPECT_EQ(img.pixelColor(15, 0).alpha(), 0) << c.index;
        for (const auto& colour : c.colours) EXPECT_GE(count(img, colour), 3) << "glyph " << c.index;
        EXPECT_EQ(count(img, c.absent), 0) << "glyph " << c.index;
        EXPECT_FALSE(il1.icon(c.index).isNull());
    }
    // The triangle points down: wider at the top than at the bottom.
    const QImage tri = il1.pixmap(2).toImage();
    auto rowWidth = [&](int y) {
        int n = 0;
        for (int x = 0; x < 16; ++x) n += tri.pixelColor(x, y).alpha() > 128;
        return n;
    };
    EXPECT_GT(rowWidth(5), rowWidth(10));
}

TEST(Pictures, EmblemIsAnAmberDiscBearingADarkFolder)
{
    for (int size : {128, 48}) {
        const QImage img = Pictures::emblem(size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(img.size(), QSize(size, size));
        EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(img.pixelColor(size - 1, size - 1).alpha(), 0);
        // Amber between rim and folder, dark in the middle.
        const QColor amber = img.pixelColor(size / 2, size * 14 / 128);
        EXPECT_TRUE(amber.red() > 200 && amber.green() > 120 && amber.blue() < 120) << amber.name().toStdString();
        EXPECT_TRUE(darkBrown(img.pixelColor(size * 40 / 128, size * 88 / 128)));
        EXPECT_TRUE(darkBrown(img.pixelColor(size * 90 / 128, size * 96 / 128)));
        EXPECT_GT(count(img, darkBrown), size * size / 5);
    }
}

TEST(Pictures, ApplyGlyphHasAGreyedDisabledState)
{
    const QIcon icon = Pictures::applyGlyph();
    const QImage on = icon.pixmap(QSize(18, 18), QIcon::Normal).toImage();
    const QImage off = icon.pixmap(QSize(18, 18), QIcon::Disabled).toImage();
    ASSERT_EQ(on.size(), QSize(18, 18));
    EXPECT_GT(count(on, green), 10);
    EXPECT_EQ(count(off, green), 0);
    int grey = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x) {
            const QColor c = off.pixelColor(x, y);
            if (c.alpha() > 200 && std::abs(c.red() - c.green()) < 6 && std::abs(c.green() - c.blue()) < 6) ++grey;
        }
    EXPECT_GT(grey, 10);
}

TEST(Pictures, ProgramIconAndBadInput)
{
    const QIcon icon = Pictures::programIcon();
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(QSize(32, 32)).size(), QSize(32, 32));

    TImageList list;
    EXPECT_EQ(list.AddSvg(QStringLiteral(":/vesmor/no-such.svg")), -1);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.pixmap(0).isNull());
    EXPECT_TRUE(list.icon(-1).isNull());
    EXPECT_TRUE(Pictures::glyphPath(10).isEmpty());
}

}  // namespace
