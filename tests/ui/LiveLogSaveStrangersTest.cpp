#include "StartedFormFixture.h"
#include "support/FileBytes.h"
#include "support/LocalUsers.h"

#include "platform/boxes/FileDialogs.h"

#include <QCoreApplication>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const FolderSwitch = "VESMOR_TEST_SAVE_FOLDER";

// The names the save dialog is answered with, in the folder both users may write to, and the
// error each brings (none: saved).
struct SaveCase {
    const char* name;
    bool refused;
};
constexpr SaveCase saveCases[] = {
    {"livelog.txt", true},   // another user's link to the user's ~/.bashrc
    {"aliases.txt", true},   // another user's link to ~/.bash_aliases, which does not exist
    {"hard.txt", false},     // a second name of the user's ~/.profile: the name is replaced, not the file
    {"own.txt", false},      // the user's own link to a log saved before: it leads there and stays a link
};

// The user's half, run as the user by the test below: the live log saved through the dialog
// seam under each name, the user answering Yes to replacing.
class LiveLogSaveUserHalf : public StartedFormTest {};

TEST_F(LiveLogSaveUserHalf, AsTheUser)
{
    const QString folder = qEnvironmentVariable(FolderSwitch);
    if (folder.isEmpty()) GTEST_SKIP() << "run by SaveFollowsNoLinkOfAnotherUser as the user";
    start();
    for (const SaveCase& c : saveCases) {
        const QString path = folder + u'/' + QLatin1String(c.name);
        boxes.clear();
        const FileDialogs::Responder previous = FileDialogs::setResponder([&](const FileDialogs::Request&) { return path; });
        form->btn2->click();
        FileDialogs::setResponder(previous);
        const QString saved = QStringLiteral(": Live log saved to: ") + path;
        if (c.refused) {
            EXPECT_EQ(boxes.texts(), QStringList{QStringLiteral("Cannot create file \"%1\". The link %1 belongs to another user.").arg(path)})
                << c.name;
            EXPECT_FALSE(logLines().last().endsWith(saved)) << c.name;
        } else {
            EXPECT_EQ(boxes.texts(), QStringList()) << c.name;
            EXPECT_TRUE(logLines().last().endsWith(saved)) << c.name;
        }
    }
}

// Live Log -> Save... as a second local user would meet it: names planted in a shared folder by
// another person (a link to the user's shell start-up file, a link to a start-up file not made
// yet, a second name of one of the user's files) and the user's own link there. Nothing is
// written through the planted names; the user's own link still leads to the user's file.
TEST(LiveLogSaveStrangersTest, SaveFollowsNoLinkOfAnotherUser)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const LocalUsers::Account intruder = users.account(LocalUsers::IntruderId, QStringLiteral("intruder"));
    const QString shared = users.sharedFolder(QStringLiteral("tmp"));
    const QString home = user.home;
    ASSERT_EQ(LocalUsers::run(user, {"sh", "-c",
                                     "cd \"$1\" && echo keep > .bashrc && echo profile > .profile && mkdir saved && "
                                     "echo earlier > saved/log.txt && ln -s \"$1/saved/log.txt\" \"$2/own.txt\"",
                                     "sh", home, shared}),
              0);
    ASSERT_EQ(LocalUsers::run(intruder, {"ln", "-s", home + "/.bashrc", shared + "/livelog.txt"}), 0);
    ASSERT_EQ(LocalUsers::run(intruder, {"ln", "-s", home + "/.bash_aliases", shared + "/aliases.txt"}), 0);
    ASSERT_EQ(::link(QFile::encodeName(home + "/.profile").constData(), QFile::encodeName(shared + "/hard.txt").constData()), 0);

    const QString program = users.programCopy(QCoreApplication::applicationFilePath(), QStringLiteral("test_ui"));
    QString output;
    const int exit = LocalUsers::run(user,
                                     {QStringLiteral("TMPDIR=") + home, QLatin1String(FolderSwitch) + u'=' + shared, program,
                                      QStringLiteral("--gtest_filter=LiveLogSaveUserHalf.AsTheUser")},
                                     &output, 60000);
    EXPECT_EQ(exit, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test."))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("SKIPPED"))) << output.toStdString();

    EXPECT_EQ(readFile(home + "/.bashrc"), "keep\n");
    EXPECT_FALSE(QFileInfo::exists(home + "/.bash_aliases"));
    EXPECT_EQ(readFile(home + "/.profile"), "profile\n");
    EXPECT_TRUE(readFile(shared + "/hard.txt").startsWith("Vesmor 2.5 running on computer "));
    EXPECT_TRUE(QFileInfo(shared + "/own.txt").isSymLink());
    EXPECT_TRUE(readFile(home + "/saved/log.txt").startsWith("Vesmor 2.5 running on computer "));
    EXPECT_TRUE(readFile(home + "/saved/log.txt").contains(": Live log saved to: " + shared.toUtf8() + "/hard.txt\r\n"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(shared + "/hard.txt").constData(), &st), 0);
    EXPECT_EQ(st.st_uid, user.uid);
    EXPECT_EQ(st.st_nlink, 1u) << "a file of its own now";
}

}  // namespace
