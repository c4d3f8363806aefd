#include "notify/TreeDropOperation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TreeDropOperationTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString at(const QString& rel) const { return dir.filePath(rel); }
    QUrl url(const QString& rel) const { return QUrl::fromLocalFile(at(rel)); }
    void write(const QString& rel, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(at(rel)).path());
        QFile f(at(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray read(const QString& rel) const
    {
        QFile f(at(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

TEST_F(TreeDropOperationTest, WhereADropIsRefused)
{
    ASSERT_TRUE(QDir().mkpath(at("a/b/c")));
    ASSERT_TRUE(QDir().mkpath(at("t")));
    struct Case {
        QList<QUrl> urls;
        QString target;
        bool allowed;
    } cases[] = {
        {{url("a")}, at("t"), true},
        {{url("a")}, at("a"), false},                                    // onto itself
        {{url("a")}, at("a/b/c"), false},                                // into its own sub-folder
        {{url("a/b")}, at("a"), false},                                  // already there
        {{QUrl(QStringLiteral("https://example.org/x"))}, at("t"), false},  // not a local file
        {{}, at("t"), false},
        {{url("a")}, QString(), false},
        {{url("t"), url("a")}, at("a/b"), false},                        // one bad url spoils the drop
    };
    for (const Case& c : cases)
        EXPECT_EQ(TreeDropOperation::canDrop(c.urls, c.target), c.allowed) << c.target.toStdString();
}

TEST_F(TreeDropOperationTest, CopyLeavesTheSourceAndBringsTheWholeFolder)
{
    write("src/f.txt", "one");
    write("src/sub/g.txt", "two");
    ASSERT_TRUE(QFile::link("f.txt", at("src/link")));
    ASSERT_TRUE(QDir().mkpath(at("t")));
    EXPECT_TRUE(TreeDropOperation::run({url("src")}, at("t"), false).isEmpty());
    EXPECT_EQ(read("t/src/f.txt"), "one");
    EXPECT_EQ(read("t/src/sub/g.txt"), "two");
    EXPECT_EQ(QFile::symLinkTarget(at("t/src/link")), at("t/src/f.txt"));  // the link, not a copy
    EXPECT_EQ(read("src/f.txt"), "one");
}

TEST_F(TreeDropOperationTest, MoveTakesItAway)
{
    write("f.txt", "one");
    ASSERT_TRUE(QDir().mkpath(at("t")));
    EXPECT_TRUE(TreeDropOperation::run({url("f.txt")}, at("t"), true).isEmpty());
    EXPECT_EQ(read("t/f.txt"), "one");
    EXPECT_FALSE(QFile::exists(at("f.txt")));
}

TEST_F(TreeDropOperationTest, NothingIsEverReplaced)
{
    write("f.txt", "new");
    write("t/f.txt", "old");
    for (bool move : {false, true}) {
        const QStringList failures = TreeDropOperation::run({url("f.txt")}, at("t"), move);
        ASSERT_EQ(failures.size(), 1);
        EXPECT_TRUE(failures[0].contains(QStringLiteral("already exists")));
        EXPECT_EQ(read("t/f.txt"), "old");
        EXPECT_EQ(read("f.txt"), "new");
    }
}

TEST_F(TreeDropOperationTest, OneFailureDoesNotStopTheOthers)
{
    write("a.txt", "a");
    write("b.txt", "b");
    write("t/a.txt", "kept");
    const QStringList failures = TreeDropOperation::run({url("a.txt"), url("b.txt")}, at("t"), false);
    EXPECT_EQ(failures.size(), 1);
    EXPECT_EQ(read("t/a.txt"), "kept");
    EXPECT_EQ(read("t/b.txt"), "b");
}

}  // namespace
