#include "platform/runtime/SharedMemoryBlock.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct SharedMemoryBlockTest : ::testing::Test {
    QString name = QStringLiteral("VesmorTestBlock_") + QUuid::createUuid().toString(QUuid::Id128);
    ~SharedMemoryBlockTest() override { SharedMemoryBlock::remove(name); }
    QString file() const { return SharedMemoryBlock::systemName(name); }
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
    const QString a = QFileInfo(SharedMemoryBlock::systemName(first)).fileName();
    const QString b = QFileInfo(SharedMemoryBlock::systemName(second)).fileName();
    EXPECT_LE(a.toUtf8().size(), 250);
    EXPECT_NE(a, b);
    EXPECT_EQ(SharedMemoryBlock::systemName(first), SharedMemoryBlock::systemName(first));
    EXPECT_TRUE(a.startsWith(QStringLiteral("VesmorTestBlock_XXX")));
    EXPECT_EQ(QFileInfo(SharedMemoryBlock::systemName(QStringLiteral("a/b"))).fileName(), QStringLiteral("a_b"));

    SharedMemoryBlock block;
    EXPECT_TRUE(block.open(first, 64)) << qPrintable(block.errorString());
    block.close();
    EXPECT_TRUE(SharedMemoryBlock::remove(first));
}

TEST_F(SharedMemoryBlockTest, LivesInAFolderOnlyThisUserCanWriteTo)
{
    SharedMemoryBlock block;
    ASSERT_TRUE(block.open(name, 16));
    const QString folder = QFileInfo(file()).absolutePath();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 022, 0u) << qPrintable(folder);
    EXPECT_FALSE(folder.startsWith(QStringLiteral("/dev/shm"))) << qPrintable(folder);
}

TEST_F(SharedMemoryBlockTest, AnObjectUnderItsNameThatIsNotABlockOfOursIsRefusedAndLeftAlone)
{
    // What someone could leave under the name, pointing at a file of the user's own: the block
    // must neither follow nor take it, or opening it would overwrite that file.
    QTemporaryDir elsewhere;
    const QString usersFile = elsewhere.filePath(QStringLiteral("notes.txt"));
    const QByteArray notes = "the user's own notes\n";
    auto plantFile = [&] {
        QFile f(usersFile);
        return f.open(QIODevice::WriteOnly) && f.write(notes) == notes.size();
    };
    const QByteArray path = QFile::encodeName(file());
    const struct {
        const char* what;
        std::function<bool()> plant;
        const char* why;
    } cases[] = {
        {"a folder", [&] { return ::mkdir(path.constData(), 0700) == 0; }, ""},
        {"a link to a file of the user's", [&] { return plantFile() && ::symlink(QFile::encodeName(usersFile).constData(), path.constData()) == 0; }, "link"},
        {"a second name of a file of the user's", [&] { return plantFile() && ::link(QFile::encodeName(usersFile).constData(), path.constData()) == 0; }, "other names"},
        {"a pipe", [&] { return ::mkfifo(path.constData(), 0600) == 0; }, "not a plain file"},
        {"a file of another user", [&] { return QFile(file()).open(QIODevice::WriteOnly) && ::chown(path.constData(), 65534, 65534) == 0; }, "another user"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (QByteArray(c.why) == "another user" && ::geteuid() != 0) continue;  // giving a file away needs root
        ASSERT_TRUE(c.plant());
        SharedMemoryBlock block;
        EXPECT_FALSE(block.open(name, 1032));
        EXPECT_FALSE(block.isOpen());
        EXPECT_EQ(block.failure(), SharedMemoryBlock::Failure::Object);
        EXPECT_TRUE(block.errorString().contains(QString::fromLatin1(c.why))) << qPrintable(block.errorString());
        QFile f(usersFile);
        if (f.open(QIODevice::ReadOnly)) {
            EXPECT_EQ(f.readAll(), notes);
        }
        if (::rmdir(path.constData()) != 0) ::unlink(path.constData());
        QFile::remove(usersFile);
    }
}

}  // namespace
