#include "ui/kit/TFlatButtonTabBar.h"
#include "ui/kit/TPageControl.h"

#include <QImage>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TFlatButtonTabBarTest : public ::testing::Test {
protected:
    TPageControl pages;
    TFlatButtonTabBar* bar = nullptr;

    void SetUp() override
    {
        for (const char* caption : {"Home", "Watch Settings", "Watch List", "Live Log"})
            pages.addTab(new QLabel(QString::fromLatin1(caption)), QString::fromLatin1(caption));
        pages.resize(508, 300);
        pages.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pages));
        bar = pages.flatTabBar();
        ASSERT_EQ(pages.tabBar(), bar);
    }

    QImage image() const { return bar->grab().toImage(); }
    // Colours as "#rrggbb", at the 8 bits a pixel has.
    static std::string at(const QImage& img, QPoint p) { return img.pixelColor(p).name().toStdString(); }
    std::string role(QPalette::ColorRole r) const { return bar->palette().color(r).name().toStdString(); }
};

// The chosen tab is a pressed button (dark upper-left edge, light lower-right), the others
// are flat: their edge is the face colour of the bar.
TEST_F(TFlatButtonTabBarTest, ChosenTabIsPressedTheOthersAreFlat)
{
    for (int chosen = 0; chosen < bar->count(); ++chosen) {
        pages.setCurrentIndex(chosen);
        const QImage img = image();
        for (int i = 0; i < bar->count(); ++i) {
            const QRect r = bar->buttonRect(i);
            const QPoint top(r.center().x(), r.top()), bottom(r.center().x(), r.bottom());
            const QPoint left(r.left(), r.center().y()), right(r.right(), r.center().y());
            if (i == chosen) {
                EXPECT_EQ(at(img, top), role(QPalette::Dark)) << "tab " << i;
                EXPECT_EQ(at(img, left), role(QPalette::Dark)) << "tab " << i;
                EXPECT_EQ(at(img, bottom), role(QPalette::Light)) << "tab " << i;
                EXPECT_EQ(at(img, right), role(QPalette::Light)) << "tab " << i;
            } else {
                for (QPoint p : {top, bottom})
                    EXPECT_EQ(at(img, p), role(QPalette::Button)) << "tab " << i << " has an edge";
            }
        }
    }
}

TEST_F(TFlatButtonTabBarTest, PointerOverAFlatTabRaisesIt)
{
    const QRect r = bar->buttonRect(2);
    QTest::mouseMove(bar, r.center());
    QApplication::processEvents();
    ASSERT_EQ(bar->hoveredTab(), 2);
    const QImage img = image();
    EXPECT_EQ(at(img, {r.center().x(), r.top()}), role(QPalette::Light));
    EXPECT_EQ(at(img, {r.center().x(), r.bottom()}), role(QPalette::Dark));
}

// Each button holds its caption whole, and a click anywhere on a button opens its page.
TEST_F(TFlatButtonTabBarTest, ButtonsFitTheirCaptionsAndAClickOpensThePage)
{
    const QFontMetrics fm(bar->font());
    for (int i = 0; i < bar->count(); ++i) {
        const QRect r = bar->buttonRect(i);
        EXPECT_GE(r.width(), fm.horizontalAdvance(bar->tabText(i)) + 2 * TFlatButtonTabBar::TextPadding);
        EXPECT_GE(r.height(), fm.height() + 2 * TFlatButtonTabBar::VerticalPadding);
        if (i > 0) {
            EXPECT_EQ(r.left() - bar->buttonRect(i - 1).right() - 1, TFlatButtonTabBar::Gap);
        }
        for (QPoint p : {r.center(), r.topLeft() + QPoint(1, 1), r.bottomRight() - QPoint(1, 1)}) {
            pages.setCurrentIndex(i == 0 ? 1 : 0);
            QTest::mouseClick(bar, Qt::LeftButton, {}, p);
            EXPECT_EQ(pages.currentIndex(), i) << "click at " << p.x() << "," << p.y();
        }
    }
    EXPECT_TRUE(pages.documentMode()) << "the pages carry no frame";
}

}  // namespace
