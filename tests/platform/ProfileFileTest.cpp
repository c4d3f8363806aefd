#include "platform/AppException.h"
#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("settings.cfg"));

    void put(const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytes() const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(ProfileFileTest, ReadsWithProfileSemantics)
{
    put("; comment\r\n[Docs]\r\n  Path = /home/u/Docs  \r\nquoted=\"a b\"\r\nsingle='x'\r\nhalf=\"x\r\n"
        "path=second\r\n[docs]\r\npath=dup section\r\n[Other]\r\nnoequals\r\nk=v\r\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Docs", "path", "/home/u/Docs"},  // first of duplicate keys, blanks trimmed, CRLF
        {"DOCS", "PATH", "/home/u/Docs"},  // names without regard to case
        {"Docs", "quoted", "a b"},
        {"Docs", "single", "x"},
        {"Docs", "half", "\"x"},           // unmatched quote kept
        {"Other", "k", "v"},
        {"Other", "noequals", ""},
        {"Missing", "k", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileFile::readString(file, c.section, c.key), QString::fromUtf8(c.expected)) << c.section << "." << c.key;
    EXPECT_EQ(ProfileFile::sectionNames(file), (QStringList{"Docs", "Other"}));
}

TEST_F(ProfileFileTest, MissingFileReadsEmpty)
{
    EXPECT_TRUE(ProfileFile::sectionNames(file).isEmpty());
    EXPECT_EQ(ProfileFile::readString(file, "a", "b"), QString());
    EXPECT_FALSE(ProfileFile::sectionExists(file, "a"));
}

TEST_F(ProfileFileTest, ValueIsCutAt2047Characters)
{
    put("[s]\nk=" + QByteArray(5000, 'x') + "\n");
    EXPECT_EQ(ProfileFile::readString(file, "s", "k").size(), 2047);
}

TEST_F(ProfileFileTest, WritesKeepTheRestOfTheFile)
{
    put("; keep me\n[A]\nx=1\nunknown=7\n\n[B]\ny=2\n");
    ProfileFile::writeString(file, "a", "x", "9");    // existing key, other case
    ProfileFile::writeString(file, "A", "new", "n");  // new key at the end of its section
    ProfileFile::writeString(file, "C", "z", "3");    // new section at the end
    EXPECT_EQ(bytes(), QByteArray("; keep me\n[A]\nx=9\nunknown=7\nnew=n\n\n[B]\ny=2\n[C]\nz=3\n"));
    ProfileFile::eraseSection(file, "b");
    EXPECT_EQ(bytes(), QByteArray("; keep me\n[A]\nx=9\nunknown=7\nnew=n\n\n[C]\nz=3\n"));
}

TEST_F(ProfileFileTest, SectionExistsOnlyWithAKey)
{
    put("[empty]\n; nothing\n[full]\nk=\n");
    EXPECT_FALSE(ProfileFile::sectionExists(file, "empty"));
    EXPECT_TRUE(ProfileFile::sectionExists(file, "FULL"));
}

TEST_F(ProfileFileTest, FailedWriteNamesTheFile)
{
    const QString missing = dir.filePath(QStringLiteral("no/such/settings.cfg"));
    try {
        ProfileFile::writeString(missing, "s", "k", "v");
        FAIL() << "write into a missing folder succeeded";
    } catch (const AppException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unable to write to ") + missing);
    }
}

TEST_F(ProfileFileTest, WriteLeavesNoTemporaryFiles)
{
    ProfileFile::writeString(file, "s", "k", "v");
    ProfileFile::writeString(file, "s", "k", "w");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"settings.cfg"});
}

}  // namespace
