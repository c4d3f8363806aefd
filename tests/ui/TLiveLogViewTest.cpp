#include "ui/TLiveLogView.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A view of the live log's size, on screen (offscreen).
struct ShownView {
    TLiveLogView view;
    ShownView()
    {
        view.resize(500, 200);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    void add(int n, const char* what = "line")
    {
        for (int i = 0; i < n; ++i) view.appendLine(Qt::red, QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(i));
        view.flush();
    }
};

TEST(TLiveLogViewTest, EachLineKeepsItsOwnColourAndOrder)
{
    TLiveLogView view;
    const QColor colours[] = {Qt::black, QColor(0, 128, 0), Qt::red, Qt::blue};
    for (int i = 0; i < 4; ++i) view.appendLine(colours[i], QStringLiteral("line %1").arg(i));
    EXPECT_EQ(view.lines(), (QStringList{"line 0", "line 1", "line 2", "line 3"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(view.lineColour(i), colours[i]) << i;
    view.appendLine(Qt::red, QString());  // an empty line is a line too
    view.appendLine(Qt::blue, QStringLiteral("after"));
    EXPECT_EQ(view.lines().size(), 6);
    EXPECT_EQ(view.lines().last(), "after");
    view.clearLines();
    EXPECT_TRUE(view.lines().isEmpty());
    view.appendLine(Qt::blue, QStringLiteral("again"));
    EXPECT_EQ(view.lines(), QStringList{"again"});
    EXPECT_EQ(view.lineColour(0), QColor(Qt::blue));
}

// The lines are kept by what they share with the line before: every line must come back exactly,
// whatever it shares (part of a character, all of the line before, more than the line before),
// across the blocks the lines are kept in, at the scale of a long burst.
TEST(TLiveLogViewTest, ManyLinesComeBackExactly)
{
    TLiveLogView view;
    QStringList expected;
    const QString stamp = QStringLiteral("12/10/26 14:06:15: w: File create event, file name: /home/u/w/");
    const QString odd[] = {
        QString(), QString(), stamp, stamp + QStringLiteral("x"), stamp,
        QString::fromUtf8("/w/\u00e9t\u00e9"), QString::fromUtf8("/w/\u00e8t\u00e9"),  // share half of a character
        QString::fromUtf8("/w/\u05d0\u05d1 \U0001F600.txt"), QString::fromUtf8("/w/\u05d0\u05d1 \U0001F601.txt"),
        QStringLiteral("a").repeated(5000), QStringLiteral("a").repeated(4999) + u'b',
    };
    for (int i = 0; i < 100000; ++i) {
        const QString line = i % 1000 < int(std::size(odd)) ? odd[i % 1000] : stamp + QStringLiteral("f%1.txt").arg(i, 6, 10, QChar(u'0'));
        expected << line;
        view.appendLine(i % 7 ? Qt::red : Qt::blue, line);
    }
    ASSERT_EQ(view.lineCount(), expected.size());
    EXPECT_EQ(view.lines(), expected);
    for (qsizetype i : {qsizetype(0), qsizetype(63), qsizetype(64), qsizetype(99999), qsizetype(5007), qsizetype(70)})
        EXPECT_EQ(view.lineColour(i), i % 7 ? QColor(Qt::red) : QColor(Qt::blue)) << i;
}

// The view follows the end while it is at the end, and stays where the user reads back.
TEST(TLiveLogViewTest, FollowsTheEndOnlyWhileAtTheEnd)
{
    ShownView s;
    s.add(200);
    EXPECT_TRUE(s.view.atEnd());
    EXPECT_GT(s.view.topLine(), 150);
    s.view.verticalScrollBar()->setValue(10);
    s.add(50, "more");
    EXPECT_EQ(s.view.topLine(), 10) << "reading back: the view stays";
    EXPECT_FALSE(s.view.atEnd());
    QTest::keyClick(&s.view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(s.view.atEnd());
    const qsizetype top = s.view.topLine();
    s.add(20, "last");
    EXPECT_TRUE(s.view.atEnd());
    EXPECT_EQ(s.view.topLine(), top + 20);
    // Lines that came while another tab was in front are followed to the end once it shows.
    s.view.hide();
    s.add(300, "hidden");
    s.view.show();
    EXPECT_TRUE(s.view.atEnd());
    EXPECT_GT(s.view.topLine(), top + 300);
    // A long line wraps in the view and stays one line of the log.
    s.view.appendLine(Qt::red, QStringLiteral("word ").repeated(400));
    s.view.flush();
    EXPECT_TRUE(s.view.atEnd());
    EXPECT_EQ(s.view.lines().last(), QStringLiteral("word ").repeated(400));
}

// Text is selected with the mouse (a drag, a double click on a word) or all at once, and copied.
TEST(TLiveLogViewTest, SelectAndCopy)
{
    ShownView s;
    s.view.appendLine(Qt::black, QStringLiteral("alpha beta"));
    s.view.appendLine(Qt::red, QStringLiteral("gamma"));
    s.view.appendLine(Qt::blue, QStringLiteral("delta"));
    s.view.flush();
    QWidget* area = s.view.viewport();

    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(1, 1));  // (0, 0) would mean the middle
    QTest::mouseMove(area, QPoint(area->width() - 1, area->height() - 1));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(area->width() - 1, area->height() - 1));
    EXPECT_EQ(s.view.selectedText(), QStringLiteral("alpha beta\ngamma\ndelta"));
    QApplication::clipboard()->clear();
    QTest::keyClick(&s.view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("alpha beta\ngamma\ndelta"));

    QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_EQ(s.view.selectedText(), QStringLiteral("alpha"));

    s.view.clearLines();
    EXPECT_TRUE(s.view.selectedText().isEmpty()) << "cleared with its lines";
    s.view.appendLine(Qt::black, QStringLiteral("one"));
    s.view.appendLine(Qt::black, QStringLiteral("two"));
    QTest::keyClick(&s.view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(s.view.selectedText(), QStringLiteral("one\ntwo"));
}

TEST(TLiveLogViewTest, IsReadOnly)
{
    ShownView s;
    s.view.appendLine(Qt::red, QStringLiteral("x"));
    s.view.flush();
    s.view.setFocus();
    QTest::keyClicks(&s.view, QStringLiteral("typed"));
    QTest::keyClick(&s.view, Qt::Key_Delete);
    QTest::keyClick(&s.view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(s.view.lines(), QStringList{"x"});
    EXPECT_TRUE(s.view.isReadOnly());
}

}  // namespace
