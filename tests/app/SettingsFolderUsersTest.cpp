#include "instance/TJclAppInstances.h"
#include "platform/settings/ProfileFile.h"
#include "platform/runtime/SwitchChannel.h"
#include "support/FileBytes.h"
#include "support/LocalUsers.h"
#include "support/ProgramRun.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user's program on a machine shared with someone else: the real binary runs as the user
// (the victim), files are planted as the other person (the intruder), and the temporary folder
// is a sticky folder both may write to, as /tmp is.
class SettingsFolderUsersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString why = LocalUsers::unavailableReason();
        if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
        victim = users.account(LocalUsers::UserId, "victim");
        intruder = users.account(LocalUsers::IntruderId, "intruder");
        shared = users.sharedFolder("shared");
        program = users.programCopy(ProgramRun::binaryPath());
    }
    void TearDown() override
    {
        // The victim's single-instance objects are the victim's; nothing of them outlives the test.
        if (!program.isEmpty()) {
            const QString key = TJclAppInstances::InstanceKey(program);
            TJclAppInstances::RemoveSharedObjects(key);
            QFile::remove(SwitchChannel::socketPath(key));
        }
    }

    // Runs a shell command as an account; the words after the command are its $1, $2 ...
    static void as(const LocalUsers::Account& who, const QString& script, const QStringList& args = {})
    {
        QString output;
        ASSERT_EQ(LocalUsers::run(who, QStringList{"sh", "-c", script, "sh"} + args, &output), 0) << output.toStdString();
    }

    // The victim's program with `temp` as its temporary folder.
    std::unique_ptr<ProgramRun> runVictim(const QString& temp, const QStringList& extra = {})
    {
        return std::make_unique<ProgramRun>(temp, QStringList{}, program, LocalUsers::launcher(victim) + extra);
    }

    // Settings that start a watch at launch: on each new file in `watched` it runs `script`.
    static QByteArray runningWatch(const QString& watched, const QString& script)
    {
        return ("[mine]\nname=mine\npanel=1\navilable=0\nactive=1\npath=" + watched + "\nfcreate=1\nrunprog=1\nexec=" + script +
                "\n")
            .toUtf8();
    }

    // A script in `home` that notes who ran it in `home`/ran.
    static QString noteScript(const QString& home)
    {
        const QString script = home + "/note.sh";
        writeFile(script, ("#!/bin/sh\nid -u >> '" + home + "/ran'\n").toUtf8());
        ::chmod(QFile::encodeName(script).constData(), 0755);
        return script;
    }

    LocalUsers users;
    LocalUsers::Account victim, intruder;
    QString shared, program;
};

// Someone else puts a settings folder, or a link to one, where the user's will be: the program
// refuses it, names it, ends with exit code 1, and runs none of the planted watches.
TEST_F(SettingsFolderUsersTest, PlantedFolderOrLinkIsRefused)
{
    const QString place = shared + "/VSM25";
    const QString planted = intruder.home + "/planted";
    const QString victimsOwn = victim.home + "/own";
    const QString evil = intruder.home + "/evil.sh";
    as(intruder, "chmod 755 \"$1\"", {intruder.home});
    struct Case {
        const char* what;
        QString script;
        QStringList args;
    } const cases[] = {
        {"a folder of the intruder's", "mkdir -m 700 \"$1\" && printf '%s' \"$2\" > \"$1/settings.cfg\"",
         {place, QString::fromUtf8(runningWatch(shared, evil))}},
        {"a link of the intruder's to a folder of the intruder's",
         "mkdir -m 700 \"$2\" && printf '%s' \"$3\" > \"$2/settings.cfg\" && ln -s \"$2\" \"$1\"",
         {place, planted, QString::fromUtf8(runningWatch(shared, evil))}},
        {"a link of the intruder's to the user's own private folder", "ln -s \"$2\" \"$1\"", {place, victimsOwn}},
    };
    QDir().mkpath(victimsOwn);
    ::chown(QFile::encodeName(victimsOwn).constData(), victim.uid, victim.gid);
    ::chmod(QFile::encodeName(victimsOwn).constData(), 0700);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(place);
        QDir(place).removeRecursively();
        QDir(planted).removeRecursively();
        as(intruder, c.script, c.args);
        auto run = runVictim(shared);
        EXPECT_EQ(run->waitForExit(30000), 1) << run->lines().join('\n').toStdString();
        EXPECT_EQ(run->lines().filter("The settings folder " + place + " belongs to another user").size(), 1)
            << run->lines().join('\n').toStdString();
        EXPECT_TRUE(run->lines().filter("Started monitoring path").isEmpty()) << "a planted watch was started";
        EXPECT_FALSE(QFile::exists(victimsOwn + "/settings.cfg")) << "the user's folder was used through the intruder's link";
    }
}

// The user's own link to a private folder of theirs is fine: the program starts, loads the
// user's watch from there and runs the user's program, as the user.
TEST_F(SettingsFolderUsersTest, TheUsersOwnLinkIsFollowed)
{
    const QString folder = victim.home + "/settings", watched = victim.home + "/watched";
    const QString script = noteScript(victim.home);
    writeFile(folder + "/settings.cfg", runningWatch(watched, script));
    QDir().mkpath(watched);
    for (const QString& p : {folder, folder + "/settings.cfg", watched, script})
        ::chown(QFile::encodeName(p).constData(), victim.uid, victim.gid);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    as(victim, "ln -s \"$1\" \"$2\"", {folder, shared + "/VSM25"});

    auto run = runVictim(shared);
    ASSERT_TRUE(run->waitForLine("Watch mine Started monitoring path: " + watched, 30000)) << run->lines().join('\n').toStdString();
    writeFile(watched + "/new.txt", "x");
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(victim.home + "/ran") == QByteArray::number(victim.uid) + "\n"; }, 10000))
        << readFile(victim.home + "/ran").toStdString() << run->lines().join('\n').toStdString();
    EXPECT_EQ(run->terminate(), 0);
    EXPECT_TRUE(QFileInfo(shared + "/VSM25").isSymLink());
    // (Read as bytes: the reader takes no file of another user's, and this test runs as root.)
    EXPECT_EQ(ProfileFile::readStringOf(readFile(folder + "/settings.cfg"), "mine", "active"), "1");
}

// A temporary folder inside a folder the user may not enter: whether a settings folder is there
// can't be told, so it is not used.
TEST_F(SettingsFolderUsersTest, FolderThatCantBeInspectedIsRefused)
{
    const QString hidden = intruder.home + "/tmp";
    as(intruder, "mkdir -m 777 \"$1\" && chmod 700 \"$2\"", {hidden, intruder.home});
    auto run = runVictim(hidden);
    EXPECT_EQ(run->waitForExit(30000), 1) << run->lines().join('\n').toStdString();
    EXPECT_EQ(run->lines().filter("The settings folder " + hidden + "/VSM25 can't be inspected").size(), 1)
        << run->lines().join('\n').toStdString();
}

// A new account: no ~/.config, no TEMP, no TMP. The program makes what is missing, private, then
// the settings folder and the sample watch, and starts.
TEST_F(SettingsFolderUsersTest, NewAccountJustWorks)
{
    const QString config = victim.home + "/.config";
    ASSERT_FALSE(QFile::exists(config));
    auto run = runVictim(QString(), {"env", "-u", "TEMP", "-u", "TMP", "-u", "XDG_CONFIG_HOME", "-u", "XDG_CACHE_HOME"});
    ASSERT_TRUE(run->waitForLine("live-log: #000000 Windows Platform: ", 30000)) << run->lines().join('\n').toStdString();
    EXPECT_EQ(run->terminate(), 0);
    EXPECT_TRUE(run->lines().filter("box: ").isEmpty()) << run->lines().join('\n').toStdString();
    for (const QString& made : {config, config + "/VSM25"}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(made).constData(), &st), 0) << made.toStdString();
        EXPECT_EQ(st.st_mode & 07777, 0700u) << made.toStdString();
        EXPECT_EQ(st.st_uid, victim.uid) << made.toStdString();
    }
    EXPECT_EQ(ProfileFile::sectionNamesOf(readFile(config + "/VSM25/settings.cfg")), QStringList{"sample"});
}

}  // namespace
