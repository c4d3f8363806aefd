#include "platform/files/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void touchWithMode(const QString& path, mode_t mode = 0644)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

TEST(FileAttributesTest, ReadsTheDesktopAttributesThroughLinks)
{
    QTemporaryDir dir;
    const auto at = [&](const char* n) { return dir.filePath(QString::fromUtf8(n)); };
    touchWithMode(at("plain"));
    touchWithMode(at(".hidden"));
    touchWithMode(at("readonly"), 0444);
    touchWithMode(at(".both"), 0400);
    touchWithMode(at(".target"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkdir(at("folder")));
    ASSERT_TRUE(QFile::link(at(".target"), at("visible-link")));
    ASSERT_TRUE(QFile::link(at("plain"), at(".hidden-link")));
    ASSERT_TRUE(QFile::link(at("readonly"), at("link-to-readonly")));
    ASSERT_TRUE(QFile::link(at("nowhere"), at("dangling")));

    using namespace FileAttributes;
    struct Case {
        const char* name;
        unsigned expected;
    } cases[] = {
        {"plain", 0},
        {".hidden", Hidden},
        {"readonly", ReadOnly},
        {".both", Hidden | ReadOnly},
        {"fifo", System},
        {"folder", Directory},
        {"visible-link", 0},          // the name shown is the link's, the rest the target's
        {".hidden-link", Hidden},
        {"link-to-readonly", ReadOnly},
        {"dangling", Invalid},
        {"missing", Invalid},
    };
    for (const Case& c : cases) EXPECT_EQ(FileAttributes::of(at(c.name)), c.expected) << c.name;
    EXPECT_EQ(FileAttributes::of(QStringLiteral("/dev/null")), System);
}

}  // namespace
