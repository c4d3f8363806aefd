#include "actions/TRzLauncher.h"
#include "support/ArgvProbe.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(TRzLauncherTest, StartsWithTheDesignTimeValues)
{
    QObject owner;
    auto* l = new TRzLauncher(&owner);
    EXPECT_EQ(l->parent(), &owner);
    EXPECT_EQ(l->Action, QStringLiteral("Open"));
    EXPECT_EQ(l->ShowMode, smNormal);
    EXPECT_EQ(l->Timeout, -1);
    EXPECT_TRUE(l->StartDir.isEmpty());
    EXPECT_EQ(l->HProcess(), 0);
}

TEST(TRzLauncherTest, AnEmptyFileNameStartsNothing)
{
    TRzLauncher l;
    l.Parameters = QStringLiteral("x");
    EXPECT_EQ(l.Execute(), 0);
    EXPECT_EQ(l.HProcess(), 0);
}

TEST(TRzLauncherTest, TwoCallsStartTwoIndependentProcessesWithTheirParameters)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path());
    TRzLauncher l;
    l.FileName = probe.path();
    l.Parameters = QStringLiteral("\"first call\"");
    EXPECT_EQ(l.Execute(), 0);
    const qint64 first = l.HProcess();
    l.Parameters = QStringLiteral("second");
    EXPECT_EQ(l.Execute(), 0);
    EXPECT_GT(first, 0);
    EXPECT_GT(l.HProcess(), 0);
    EXPECT_NE(l.HProcess(), first);
    ASSERT_TRUE(probe.waitForRuns(2));
    QList<QStringList> got;
    for (const auto& r : probe.runs()) got.append(r.args);
    EXPECT_TRUE(got.contains(QStringList{"first call"}));
    EXPECT_TRUE(got.contains(QStringList{"second"}));
    EXPECT_EQ(l.FileName, probe.path());  // kept until the next start
}

TEST(TRzLauncherTest, AFailedStartReturnsNonzeroAndClearsTheHandles)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path());
    TRzLauncher l;
    l.FileName = probe.path();
    ASSERT_EQ(l.Execute(), 0);
    ASSERT_GT(l.HProcess(), 0);
    l.FileName = dir.filePath(QStringLiteral("missing"));
    EXPECT_NE(l.Execute(), 0);
    EXPECT_EQ(l.HProcess(), 0);
    l.FileName = probe.path();
    l.Action = QStringLiteral("print");
    EXPECT_NE(l.Execute(), 0);
    EXPECT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().size(), 1);
}

}  // namespace
