#include "ui/kit/GradientBands.h"
#include "ui/kit/TCyPanel.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

QImage render(QWidget& w)
{
    QImage img(w.size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    w.render(&img);
    return img;
}

const QColor SkyBlue(166, 202, 240), White(255, 255, 255), Navy(0, 0, 128);

// The three looks of a watch panel and the Home tab's background.
TEST(TCyPanel, PaintsItsDegradeTopToBottomInsideABevel)
{
    struct Case { QColor from, to; QSize size; };
    const Case cases[] = {
        {SkyBlue, White, {500, 112}},
        {White, SkyBlue, {500, 112}},
        {Navy, SkyBlue, {500, 112}},
        {SkyBlue, Navy, {508, 497}},
    };
    for (const auto& c : cases) {
        TCyPanel panel;
        panel.resize(c.size);
        panel.Degrade().setFromColor(c.from);
        panel.Degrade().setToColor(c.to);
        EXPECT_EQ(panel.Degrade().FromColor(), c.from);
        EXPECT_EQ(panel.Degrade().ToColor(), c.to);
        const QImage img = render(panel);
        const int h = c.size.height();
        const int x = c.size.width() / 2;
        for (int y : {1, h / 3, h / 2, h - 2}) {
            const QColor want = GradientBands::rowColour(c.from, c.to, h, h, y);
            EXPECT_EQ(QColor(img.pixel(x, y)).rgb(), want.rgb()) << "row " << y;
        }
        // A smooth run: near the ends the colours are those of the Degrade.
        const QColor top(img.pixel(x, 1)), bottom(img.pixel(x, h - 2));
        EXPECT_LE(std::abs(top.blue() - c.from.blue()), 3);
        EXPECT_LE(std::abs(bottom.blue() - c.to.blue()), 3);
        // Raised bevel: light top-left, grey bottom-right.
        EXPECT_EQ(QColor(img.pixel(x, 0)).rgb(), White.rgb());
        EXPECT_EQ(QColor(img.pixel(0, h / 2)).rgb(), White.rgb());
        EXPECT_EQ(QColor(img.pixel(x, h - 1)).rgb(), QColor(128, 128, 128).rgb());
        EXPECT_EQ(QColor(img.pixel(c.size.width() - 1, h / 2)).rgb(), QColor(128, 128, 128).rgb());
    }
}

TEST(TCyPanel, ChangingAColourRepaints)
{
    TCyPanel panel;
    panel.resize(100, 40);
    panel.Degrade().setFromColor(White);
    panel.Degrade().setToColor(White);
    EXPECT_EQ(QColor(render(panel).pixel(50, 20)).rgb(), White.rgb());
    panel.Degrade().setFromColor(Navy);
    panel.Degrade().setToColor(Navy);
    EXPECT_EQ(QColor(render(panel).pixel(50, 20)).rgb(), Navy.rgb());
}

TEST(TCyPanel, DegradeReportsOnlyRealChanges)
{
    TCyDegrade d(SkyBlue, White);
    int changes = 0;
    d.setOnChange([&] { ++changes; });
    d.setFromColor(SkyBlue);
    d.setToColor(White);
    EXPECT_EQ(changes, 0);
    d.setFromColor(Navy);
    d.setToColor(SkyBlue);
    EXPECT_EQ(changes, 2);
}

}  // namespace
