#include "ui/kit/TShadowLabel.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

struct Boxes {
    QRect navy, grey;
};

// Bounding boxes of the clearly navy and the clearly grey pixels on a white background.
Boxes colourBoxes(TShadowLabel& label)
{
    QImage img(label.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    label.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    Boxes b;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QColor c(img.pixel(x, y));
            if (c.red() < 40 && c.green() < 40 && c.blue() > 100 && c.blue() < 160)
                b.navy |= QRect(x, y, 1, 1);
            else if (std::abs(c.red() - 128) < 12 && c.red() == c.green() && c.green() == c.blue())
                b.grey |= QRect(x, y, 1, 1);
        }
    }
    return b;
}

TShadowLabel* makeLabel(const QString& text)
{
    auto* l = new TShadowLabel(text);
    QFont f = l->font();
    f.setPixelSize(40);
    f.setBold(true);
    l->setFont(f);
    l->resize(l->sizeHint() + QSize(20, 0));
    return l;
}

TEST(TShadowLabel, NavyTextOverAGreyShadowTwoPixelsDownRight)
{
    std::unique_ptr<TShadowLabel> label(makeLabel(QStringLiteral("Vesmor")));
    const Boxes b = colourBoxes(*label);
    ASSERT_FALSE(b.navy.isEmpty());
    ASSERT_FALSE(b.grey.isEmpty());
    EXPECT_EQ(b.grey.right() - b.navy.right(), 2);
    EXPECT_EQ(b.grey.bottom() - b.navy.bottom(), 2);
    // Centred across its width.
    const int leftGap = b.navy.left(), rightGap = label->width() - 1 - b.grey.right();
    EXPECT_LE(std::abs(leftGap - rightGap), 3);
}

TEST(TShadowLabel, AnAmpersandIsDrawnAsItIs)
{
    std::unique_ptr<TShadowLabel> amp(makeLabel(QStringLiteral("&")));
    EXPECT_FALSE(colourBoxes(*amp).navy.isEmpty());
    std::unique_ptr<TShadowLabel> withAmp(makeLabel(QStringLiteral("A&B")));
    std::unique_ptr<TShadowLabel> without(makeLabel(QStringLiteral("AB")));
    EXPECT_GT(withAmp->sizeHint().width(), without->sizeHint().width());
    EXPECT_GT(colourBoxes(*withAmp).navy.width(), colourBoxes(*without).navy.width());
}

}  // namespace
