#include "platform/ProfileFile.h"
#include "platform/SettingsFolder.h"
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
    Environment env;
    env.set("TEMP", {});
    env.set("TMP", {});
    env.set("XDG_CACHE_HOME", cache.toUtf8());
    env.set("XDG_CONFIG_HOME", config.toUtf8());
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool moved;
    } const cases[] = {
        {"a plain file of ours", [] {}, true},
        {"one is there already", [&] { writeFile(config + "/VSM25/settings.cfg", "[current]\n"); }, false},
        {"others may write to the old folder", [&] { ::chmod(QFile::encodeName(cache + "/VSM25").constData(), 0777); }, false},
        {"a link in the file's place",
         [&] {
             QFile::remove(cache + "/VSM25/settings.cfg");
             writeFile(world.path() + "/elsewhere.cfg", "[old]\n");
             QFile::link(world.path() + "/elsewhere.cfg", cache + "/VSM25/settings.cfg");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(cache).removeRecursively();
        QDir(config).removeRecursively();
        QDir().mkpath(cache + "/VSM25");
        ::chmod(QFile::encodeName(cache + "/VSM25").constData(), 0700);
        writeFile(cache + "/VSM25/settings.cfg", "[old]\nname=old\n");
        SettingsFolderService::createMissingConfigFolders();
        const auto checked = SettingsFolderService::openPrivateFolder(SettingsFolderService::settingsFolderPath());
        ASSERT_EQ(checked.state, FolderState::Created);
        c.arrange();
        const QByteArray there = readFile(config + "/VSM25/settings.cfg");
        const QString from = SettingsFolderService::moveFormerSettingsFile(checked.folder, "settings.cfg");
        if (c.moved) {
            EXPECT_EQ(from, cache + "/VSM25/settings.cfg");
            EXPECT_EQ(readFile(config + "/VSM25/settings.cfg"), "[old]\nname=old\n");
            EXPECT_FALSE(QFileInfo::exists(cache + "/VSM25/settings.cfg"));
            EXPECT_EQ(SettingsFolderService::moveFormerSettingsFile(checked.folder, "settings.cfg"), "") << "moved twice";
        } else {
            EXPECT_EQ(from, "");
            EXPECT_EQ(readFile(config + "/VSM25/settings.cfg"), there);
            EXPECT_TRUE(QFileInfo(cache + "/VSM25/settings.cfg").exists() || QFileInfo(cache + "/VSM25/settings.cfg").isSymLink());
        }
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
