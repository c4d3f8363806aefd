#include "platform/settings/ProfileFile.h"
#include "platform/settings/SettingsFolder.h"
#include "support/FileBytes.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using SettingsFolderService::FolderState;
constexpr uid_t Stranger = 61002;

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    void set(const char* name, std::optional<QByteArray> value)
    {
        if (!saved_.count(name)) saved_[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }
    ~Environment()
    {
        for (const auto& [name, value] : saved_) {
            if (value) {
                qputenv(name.c_str(), *value);
            } else {
                qunsetenv(name.c_str());
            }
        }
    }

private:
    std::map<std::string, std::optional<QByteArray>> saved_;
};

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SettingsFolderTest, TemporaryFolderFromTheEnvironment)
{
    struct passwd* pw = ::getpwuid(::geteuid());
    const QString passwdHome = pw ? QFile::decodeName(pw->pw_dir) : QString();
    using Value = std::optional<QByteArray>;
    struct Case {
        Value temp, tmp, config, home;
        QString expected;
    } const cases[] = {
        {"/t/e/mp/", "/tmp", {}, {}, "/t/e/mp"},
        {"", "/x/./y/../z//", {}, {}, "/x/z"},
        {{}, {}, "/c/config", "/h", "/c/config"},
        {{}, {}, "relative", "/h", "/h/.config"},  // the XDG rules ignore a relative path
        {{}, "", {}, "/h/", "/h/.config"},
        {{}, {}, {}, {}, passwdHome + "/.config"},  // no HOME: the account's home
        {"/", {}, {}, {}, ""},
    };
    for (const Case& c : cases) {
        Environment env;
        env.set("TEMP", c.temp);
        env.set("TMP", c.tmp);
        env.set("XDG_CONFIG_HOME", c.config);
        env.set("XDG_CACHE_HOME", "/c/cache");
        env.set("HOME", c.home);
        EXPECT_EQ(SettingsFolderService::temporaryFolder(), c.expected) << c.expected.toStdString();
        EXPECT_EQ(SettingsFolderService::settingsFolderPath(), c.expected + "/VSM25");
        // Where earlier versions kept it: only when they too had no TEMP or TMP.
        const bool fallback = c.temp.value_or("").isEmpty() && c.tmp.value_or("").isEmpty();
        EXPECT_EQ(SettingsFolderService::formerSettingsFolderPath(), fallback ? "/c/cache/VSM25" : "") << c.expected.toStdString();
    }
}

// The settings file an earlier version left in the cache folder is moved over once, and only
// when it is safe: never over a file that is there, never out of a folder others may write to,
// never anything but a plain file.
TEST(SettingsFolderTest, FormerSettingsFileIsMovedOnce)
{
    QTemporaryDir world;
    const QString cache = world.path() + "/cache", config = world.path() + "/config";
    const QString oldFile = cache + "/VSM25/settings.cfg", newFile = config + "/VSM25/settings.cfg";
    Environment env;
    env.set("TEMP", {});
    env.set("TMP", {});
    env.set("XDG_CACHE_HOME", cache.toUtf8());
    env.set("XDG_CONFIG_HOME", config.toUtf8());
    const QString elsewhere = world.path() + "/elsewhere.cfg";
    auto linkInPlace = [&] {
        QFile::remove(oldFile);
        writeFile(elsewhere, "[old]\n");
        QFile::link(elsewhere, oldFile);
    };
    enum Outcome { Moved, MovedAsLink, LeftQuietly, LeftSaid };
    struct Case {
        const char* what;
        std::function<bool()> arrange;  // false: the case can't be arranged here
        Outcome outcome;
    } const cases[] = {
        {"a plain file of ours", [] { return true; }, Moved},
        {"one is there already", [&] { writeFile(newFile, "[current]\n"); return true; }, LeftQuietly},
        {"others may write to the old folder", [&] { return ::chmod(QFile::encodeName(cache + "/VSM25").constData(), 0777) == 0; }, LeftSaid},
        {"a link of ours in the file's place", [&] { linkInPlace(); return true; }, MovedAsLink},
        {"a link of another user's in the file's place",
         [&] { linkInPlace(); return ::geteuid() == 0 && ::lchown(QFile::encodeName(oldFile).constData(), 4242, 4242) == 0; }, LeftSaid},
        {"a folder in the file's place", [&] { QFile::remove(oldFile); return QDir().mkdir(oldFile); }, LeftSaid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(cache).removeRecursively();
        QDir(config).removeRecursively();
        QDir().mkpath(cache + "/VSM25");
        ::chmod(QFile::encodeName(cache + "/VSM25").constData(), 0700);
        writeFile(oldFile, "[old]\nname=old\n");
        SettingsFolderService::createMissingConfigFolders();
        const auto checked = SettingsFolderService::openPrivateFolder(SettingsFolderService::settingsFolderPath());
        ASSERT_EQ(checked.state, FolderState::Created);
        if (!c.arrange()) continue;
        const QByteArray there = readFile(newFile);
        const auto move = SettingsFolderService::moveFormerSettingsFile(checked.folder, "settings.cfg");
        switch (c.outcome) {
        case Moved:
        case MovedAsLink:
            EXPECT_EQ(move.from, oldFile);
            EXPECT_EQ(move.left, "");
            EXPECT_FALSE(QFileInfo::exists(oldFile) || QFileInfo(oldFile).isSymLink());
            if (c.outcome == MovedAsLink) {
                EXPECT_EQ(QFileInfo(newFile).symLinkTarget(), elsewhere);
                EXPECT_EQ(readFile(newFile), "[old]\n");
            } else {
                EXPECT_EQ(readFile(newFile), "[old]\nname=old\n");
            }
            EXPECT_EQ(SettingsFolderService::moveFormerSettingsFile(checked.folder, "settings.cfg").from, "") << "moved twice";
            break;
        case LeftQuietly:
        case LeftSaid:
            EXPECT_EQ(move.from, "");
            EXPECT_EQ(move.left, c.outcome == LeftSaid ? oldFile : QString());
            EXPECT_EQ(move.why.isEmpty(), c.outcome == LeftQuietly) << move.why.toStdString();
            EXPECT_EQ(readFile(newFile), there);
            EXPECT_TRUE(QFileInfo(oldFile).exists() || QFileInfo(oldFile).isSymLink());
            break;
        }
    }
}

// A settings file that can't be read would load as no watch at all: the reason is told; a
// missing file (or one whose link leads nowhere) simply reads as empty.
TEST(SettingsFolderTest, UnreadableSettingsFileIsToldWhy)
{
    QTemporaryDir world;
    const auto checked = SettingsFolderService::openPrivateFolder(world.path() + "/VSM25");
    ASSERT_TRUE(checked.folder.isOpen());
    const QString file = world.path() + "/VSM25/settings.cfg";
    EXPECT_EQ(SettingsFolderService::unreadableReason(checked.folder, "settings.cfg"), "") << "missing";
    writeFile(file, "[a]\n");
    EXPECT_EQ(SettingsFolderService::unreadableReason(checked.folder, "settings.cfg"), "") << "readable";
    QFile::remove(file);
    ASSERT_TRUE(QFile::link(world.path() + "/nowhere", file));
    EXPECT_EQ(SettingsFolderService::unreadableReason(checked.folder, "settings.cfg"), "") << "dangling link";
    QFile::remove(file);
    ASSERT_TRUE(QFile::link(file, file));
    EXPECT_NE(SettingsFolderService::unreadableReason(checked.folder, "settings.cfg"), "") << "a link to itself";
    if (::geteuid() != 0) {
        QFile::remove(file);
        writeFile(file, "[a]\n");
        ::chmod(QFile::encodeName(file).constData(), 0);
        EXPECT_NE(SettingsFolderService::unreadableReason(checked.folder, "settings.cfg"), "") << "mode 000";
    }
}

// A new account: no ~/.config, perhaps not even its parents; what is missing is made, 0700 each.
TEST(SettingsFolderTest, MissingConfigFoldersAreMadePrivate)
{
    QTemporaryDir world;
    ::chmod(QFile::encodeName(world.path()).constData(), 0755);
    const QString home = world.path() + "/new/home";
    Environment env;
    env.set("HOME", home.toUtf8());
    env.set("XDG_CONFIG_HOME", {});
    env.set("TMP", {});
    env.set("TEMP", "/somewhere/else");
    SettingsFolderService::createMissingConfigFolders();
    EXPECT_FALSE(QFile::exists(home)) << "made although TEMP names the temporary folder";

    env.set("TEMP", "");
    SettingsFolderService::createMissingConfigFolders();
    for (const QString& made : {world.path() + "/new", home, home + "/.config"}) EXPECT_EQ(modeOf(made), 0700u) << made.toStdString();
    EXPECT_EQ(modeOf(world.path()), 0755u) << "a folder that was there is left as it was";
    const auto checked = SettingsFolderService::openPrivateFolder(SettingsFolderService::settingsFolderPath());
    EXPECT_EQ(checked.state, FolderState::Created);
    EXPECT_EQ(modeOf(home + "/.config/VSM25"), 0700u);
}

// What may stand at the settings folder's place, judged as it is, not as a link makes it look.
TEST(SettingsFolderTest, TheFolderItselfIsJudged)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    QTemporaryDir world;
    const QString place = world.path() + "/VSM25";
    const QString mine = world.path() + "/mine", theirs = world.path() + "/theirs";
    auto own = [](const QString& p, uid_t uid, mode_t mode) {
        ::lchown(QFile::encodeName(p).constData(), uid, uid);
        if (mode) ::chmod(QFile::encodeName(p).constData(), mode);
    };
    auto folderWithMark = [](const QString& p, const QByteArray& mark) { writeFile(p + "/settings.cfg", "[" + mark + "]\nk=1\n"); };
    struct Case {
        const char* what;
        std::function<void()> setUp;
        FolderState state;
        const char* opened;  // the section that marks the folder opened; null: not open
    } const cases[] = {
        {"nothing there", [] {}, FolderState::Created, ""},
        {"our private folder", [&] { folderWithMark(place, "place"); own(place, 0, 0700); }, FolderState::Private, "place"},
        {"our folder the group may write", [&] { folderWithMark(place, "place"); own(place, 0, 0770); }, FolderState::NotPrivate, nullptr},
        {"our folder others may write", [&] { folderWithMark(place, "place"); own(place, 0, 0707); }, FolderState::NotPrivate, nullptr},
        {"another user's folder", [&] { folderWithMark(place, "place"); own(place, Stranger, 0700); }, FolderState::NotPrivate, nullptr},
        {"our link to our folder", [&] {
             folderWithMark(mine, "mine");
             QFile::link(mine, place);
         }, FolderState::Private, "mine"},
        {"another user's link to our folder", [&] {
             folderWithMark(mine, "mine");
             QFile::link(mine, place);
             own(place, Stranger, 0);
         }, FolderState::NotPrivate, nullptr},
        {"our link to another user's folder", [&] {
             folderWithMark(theirs, "theirs");
             own(theirs, Stranger, 0700);
             QFile::link(theirs, place);
         }, FolderState::NotPrivate, nullptr},
        {"our dangling link", [&] { QFile::link(world.path() + "/nowhere", place); }, FolderState::CreateFailed, nullptr},
        {"a file", [&] { writeFile(place, "x"); }, FolderState::CreateFailed, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& p : {place, mine, theirs}) {
            QFile::remove(p);
            QDir(p).removeRecursively();
        }
        c.setUp();
        const auto checked = SettingsFolderService::openPrivateFolder(place);
        EXPECT_EQ(int(checked.state), int(c.state));
        EXPECT_EQ(checked.folder.path(), place);
        EXPECT_EQ(checked.folder.isOpen(), c.opened != nullptr);
        if (c.opened) {
            const ProfileFile::Location settings(checked.folder, "settings.cfg");
            EXPECT_EQ(ProfileFile::sectionNames(settings), *c.opened ? QStringList{c.opened} : QStringList{});
        }
    }
    EXPECT_EQ(int(SettingsFolderService::openPrivateFolder(world.path() + "/no/parent/VSM25").state),
              int(FolderState::CreateFailed));
}

}  // namespace
