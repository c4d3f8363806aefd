#include "platform/runtime/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned OtherUser = 61002;

struct RuntimeFolderTest : ::testing::Test {
    QTemporaryDir root;
    QString at(const QString& name) const { return root.filePath(name); }
    QByteArray native(const QString& name) const { return QFile::encodeName(at(name)); }
    bool folder(const QString& name, mode_t mode, unsigned owner)
    {
        return QDir().mkpath(at(name)) && ::chmod(native(name).constData(), mode) == 0 &&
               ::chown(native(name).constData(), owner, owner) == 0;
    }
    static mode_t modeOf(const QString& path)
    {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
};

TEST_F(RuntimeFolderTest, TakesThePrivateRuntimeFolderElseMakesOneInTheCacheFolder)
{
    const unsigned me = ::geteuid();
    const QString fallback = QStringLiteral("home/.cache/vesmor-host");
    const struct {
        const char* what;
        std::function<bool()> setUp;
        QString runtimeDir;  // relative to root unless absolute or empty
        QString chosen;      // relative to root
    } cases[] = {
        {"a private runtime folder", [&] { return folder("run", 0700, me); }, "run", "run"},
        {"no runtime folder", [] { return true; }, "", fallback},
        {"a runtime folder that is not there", [] { return true; }, "run", fallback},
        {"a relative runtime folder", [&] { return folder("run", 0700, me); }, "./run-relative", fallback},
        {"a runtime folder all may write to, as /tmp", [&] { return folder("run", 01777, 0); }, "run", fallback},
        {"a runtime folder of another user", [&] { return folder("run", 0700, OtherUser); }, "run", fallback},
        {"a runtime folder the group may write to", [&] { return folder("run", 0770, me); }, "run", fallback},
        {"a runtime path that is a file", [&] { return QFile(at("run")).open(QIODevice::WriteOnly); }, "run", fallback},
        {"a link of another user to a private folder",
         [&] {
             return folder("mine", 0700, me) && ::symlink(native("mine").constData(), native("run").constData()) == 0 &&
                    ::lchown(native("run").constData(), OtherUser, OtherUser) == 0;
         },
         "run", fallback},
        {"a link of the user's own to a private folder",
         [&] { return folder("mine", 0700, me) && ::symlink(native("mine").constData(), native("run").constData()) == 0; },
         "run", "run"},
    };
    if (::geteuid() != 0) GTEST_SKIP() << "giving folders away needs root";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(root.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("home"))));
        ASSERT_TRUE(c.setUp());
        const QString runtimeDir = c.runtimeDir.isEmpty() || c.runtimeDir.startsWith(u'.') ? c.runtimeDir : at(c.runtimeDir);
        const RuntimeFolder::Folder chosen =
            RuntimeFolder::choose(runtimeDir, QString(), at(QStringLiteral("home")), QStringLiteral("host"));
        EXPECT_EQ(chosen.path, at(c.chosen)) << qPrintable(chosen.error);
        EXPECT_GE(chosen.handle, 0);
        if (chosen.handle >= 0) ::close(chosen.handle);
        if (c.chosen == fallback) {
            // The cache folder was missing: it and the folder in it are made for this user only.
            EXPECT_EQ(modeOf(at(QStringLiteral("home/.cache"))), 0700u);
            EXPECT_EQ(modeOf(at(fallback)), 0700u);
        }
    }
}

TEST_F(RuntimeFolderTest, SaysWhyWhenThereIsNoPrivateFolder)
{
    const RuntimeFolder::Folder none = RuntimeFolder::choose(QString(), QString(), QString(), QStringLiteral("host"));
    EXPECT_TRUE(none.path.isEmpty());
    EXPECT_EQ(none.handle, -1);
    EXPECT_TRUE(none.error.contains(QStringLiteral("no home folder"))) << qPrintable(none.error);

    // Without a home, a folder of the user's id in the temporary folder; one someone else made
    // there first is refused.
    const QString ours = at(QStringLiteral("tmp/vesmor-%1").arg(::geteuid()));
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("tmp"))));
    const RuntimeFolder::Folder temp = RuntimeFolder::choose(QString(), QString(), QString(), QStringLiteral("host"), at(QStringLiteral("tmp")));
    EXPECT_EQ(temp.path, ours) << qPrintable(temp.error);
    EXPECT_GE(temp.handle, 0);
    EXPECT_EQ(modeOf(ours), 0700u);
    if (temp.handle >= 0) ::close(temp.handle);

    if (::geteuid() != 0) GTEST_SKIP() << "giving folders away needs root";
    // The folder of ours in the cache folder was taken by someone else first.
    ASSERT_TRUE(folder(QStringLiteral("cache/vesmor-host"), 0700, OtherUser));
    const RuntimeFolder::Folder taken =
        RuntimeFolder::choose(QString(), at(QStringLiteral("cache")), QString(), QStringLiteral("host"));
    EXPECT_TRUE(taken.path.isEmpty());
    EXPECT_EQ(taken.handle, -1);
    EXPECT_TRUE(taken.error.contains(QStringLiteral("another user"))) << qPrintable(taken.error);
    EXPECT_TRUE(taken.error.contains(at(QStringLiteral("cache/vesmor-host")))) << qPrintable(taken.error);

    ASSERT_TRUE(QDir().rmdir(ours));
    ASSERT_TRUE(folder(QStringLiteral("tmp/vesmor-%1").arg(::geteuid()), 0700, OtherUser));
    const RuntimeFolder::Folder planted = RuntimeFolder::choose(QString(), QString(), QString(), QStringLiteral("host"), at(QStringLiteral("tmp")));
    EXPECT_TRUE(planted.path.isEmpty());
    EXPECT_TRUE(planted.error.contains(QStringLiteral("another user"))) << qPrintable(planted.error);
}

TEST_F(RuntimeFolderTest, TheHostNameCannotLeadOutOfTheCacheFolder)
{
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("cache"))));
    for (const char* host : {"../../escape", "", ".."}) {
        SCOPED_TRACE(host);
        const RuntimeFolder::Folder chosen =
            RuntimeFolder::choose(QString(), at(QStringLiteral("cache")), QString(), QString::fromLatin1(host));
        EXPECT_TRUE(chosen.path.startsWith(at(QStringLiteral("cache/vesmor-")))) << qPrintable(chosen.path);
        EXPECT_FALSE(chosen.path.contains(QStringLiteral("/.."))) << qPrintable(chosen.path);
        if (chosen.handle >= 0) ::close(chosen.handle);
    }
}

}  // namespace
