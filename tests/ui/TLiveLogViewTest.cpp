#include "ui/TLiveLogView.h"

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QColor colourOfLine(TLiveLogView& view, int n)
{
    view.flush();
    const QTextBlock b = view.document()->findBlockByNumber(n);
    return b.begin().fragment().charFormat().foreground().color();
}

TEST(TLiveLogViewTest, EachLineKeepsItsOwnColourAndOrder)
{
    TLiveLogView view;
    const QColor colours[] = {Qt::black, QColor(0, 128, 0), Qt::red, Qt::blue};
    for (int i = 0; i < 4; ++i) view.appendLine(colours[i], QStringLiteral("line %1").arg(i));
    EXPECT_EQ(view.lines(), (QStringList{"line 0", "line 1", "line 2", "line 3"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(colourOfLine(view, i), colours[i]) << i;
    view.appendLine(Qt::red, QString());  // an empty line is a line too
    view.appendLine(Qt::blue, QStringLiteral("after"));
    EXPECT_EQ(view.lines().size(), 6);
    EXPECT_EQ(view.lines().last(), "after");
    view.clearLines();
    EXPECT_TRUE(view.lines().isEmpty());
}

TEST(TLiveLogViewTest, QueuedLinesAreShownAfterOneEventLoopTurn)
{
    TLiveLogView view;
    view.appendLine(Qt::red, QStringLiteral("a"));
    view.appendLine(Qt::red, QStringLiteral("b"));
    EXPECT_EQ(view.document()->blockCount(), 1) << "inserted before the event loop turned";
    QTest::qWait(1);
    EXPECT_EQ(view.document()->blockCount(), 3);
}

TEST(TLiveLogViewTest, IsReadOnly)
{
    TLiveLogView view;
    view.appendLine(Qt::red, QStringLiteral("x"));
    view.flush();
    view.setFocus();
    QTest::keyClicks(&view, QStringLiteral("typed"));
    EXPECT_EQ(view.lines(), QStringList{"x"});
}

}  // namespace
