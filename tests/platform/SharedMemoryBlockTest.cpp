#include "platform/SharedMemoryBlock.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct SharedMemoryBlockTest : ::testing::Test {
    QString name = QStringLiteral("VesmorTestBlock_") + QUuid::createUuid().toString(QUuid::Id128);
    ~SharedMemoryBlockTest() override { SharedMemoryBlock::remove(name); }
    QString file() const { return QStringLiteral("/dev/shm") + SharedMemoryBlock::systemName(name); }
};

TEST_F(SharedMemoryBlockTest, NewBlockIsZeroedPrivateAndSharedBetweenViews)
{
    EXPECT_FALSE(SharedMemoryBlock::exists(name));
    SharedMemoryBlock a;
    ASSERT_TRUE(a.open(name, 1032)) << qPrintable(a.errorString());
    EXPECT_TRUE(SharedMemoryBlock::exists(name));
    EXPECT_EQ(a.size(), 1032u);
    const auto* bytes = static_cast<const unsigned char*>(a.data());
    EXPECT_TRUE(std::all_of(bytes, bytes + 1032, [](unsigned char b) { return b == 0; }));

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_uid, ::geteuid());

    SharedMemoryBlock b;
    ASSERT_TRUE(b.open(name, 1032));
    std::memcpy(a.data(), "hello", 5);
    EXPECT_EQ(std::memcmp(b.data(), "hello", 5), 0);

    // A block opened with a smaller size first grows, keeping what it holds.
    a.close();
    b.close();
    ASSERT_TRUE(SharedMemoryBlock::remove(name));
    SharedMemoryBlock small;
    ASSERT_TRUE(small.open(name, 8));
    std::memcpy(small.data(), "12345678", 8);
    SharedMemoryBlock big;
    ASSERT_TRUE(big.open(name, 4096));
    const auto* grown = static_cast<const unsigned char*>(big.data());
    EXPECT_EQ(std::memcmp(grown, "12345678", 8), 0);
    EXPECT_TRUE(std::all_of(grown + 8, grown + 4096, [](unsigned char c) { return c == 0; }));
}

TEST_F(SharedMemoryBlockTest, RemovedBlockStartsAfreshAtTheNextOpen)
{
    {
        SharedMemoryBlock a;
        ASSERT_TRUE(a.open(name, 16));
        std::memset(a.data(), 0x5a, 16);
    }
    EXPECT_TRUE(SharedMemoryBlock::exists(name));  // outlives its views
    ASSERT_TRUE(SharedMemoryBlock::remove(name));
    EXPECT_FALSE(SharedMemoryBlock::exists(name));
    EXPECT_FALSE(SharedMemoryBlock::remove(name));
    SharedMemoryBlock b;
    ASSERT_TRUE(b.open(name, 16));
    EXPECT_EQ(static_cast<const unsigned char*>(b.data())[0], 0);
}

TEST_F(SharedMemoryBlockTest, LongNamesAreShortenedAndStayDistinct)
{
    const QString stem = QStringLiteral("VesmorTestBlock_") + QString(600, u'X');
    const QString first = stem + QStringLiteral("_1");
    const QString second = stem + QStringLiteral("_2");
    const QString a = SharedMemoryBlock::systemName(first);
    const QString b = SharedMemoryBlock::systemName(second);
    EXPECT_LE(a.toUtf8().size(), 251);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, SharedMemoryBlock::systemName(first));
    EXPECT_TRUE(a.startsWith(QStringLiteral("/VesmorTestBlock_XXX")));
    EXPECT_TRUE(a.endsWith(QStringLiteral(".%1").arg(::geteuid())));
    EXPECT_EQ(a.count(u'/'), 1);
    EXPECT_EQ(SharedMemoryBlock::systemName(QStringLiteral("a/b")).count(u'/'), 1);

    SharedMemoryBlock block;
    EXPECT_TRUE(block.open(first, 64)) << qPrintable(block.errorString());
    block.close();
    EXPECT_TRUE(SharedMemoryBlock::remove(first));
}

TEST_F(SharedMemoryBlockTest, ReportsWhatFailed)
{
    ASSERT_TRUE(QDir().mkdir(file()));
    SharedMemoryBlock block;
    EXPECT_FALSE(block.open(name, 16));
    EXPECT_FALSE(block.isOpen());
    EXPECT_EQ(block.failure(), SharedMemoryBlock::Failure::Object);
    EXPECT_FALSE(block.errorString().isEmpty());
    QDir().rmdir(file());

    // A block planted by another user is not taken for ours.
    ASSERT_TRUE(block.open(name, 16));
    block.close();
    if (::geteuid() != 0) GTEST_SKIP() << "giving a block away needs root";
    ASSERT_EQ(::chown(QFile::encodeName(file()).constData(), 65534, 65534), 0);
    EXPECT_FALSE(block.open(name, 16));
    EXPECT_EQ(block.failure(), SharedMemoryBlock::Failure::Object);
    EXPECT_TRUE(block.errorString().contains(QStringLiteral("another user"))) << qPrintable(block.errorString());
}

}  // namespace
