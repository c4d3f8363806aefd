#include "support/FileBytes.h"
#include "support/LocalUsers.h"
#include "support/ProgramRun.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

// A watched folder reached through a link in a folder both users may write to: another
// person's link (inbox -> the user's private folder) is refused with a red line naming it, and
// nothing of what the private folder holds reaches the live log; the user's own link in the same
// place leads to the user's folder as before.
TEST(WatchFolderStrangersTest, AWatchThroughAnotherUsersLinkIsRefused)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const LocalUsers::Account intruder = users.account(LocalUsers::IntruderId, QStringLiteral("intruder"));
    const QString shared = users.sharedFolder(QStringLiteral("tmp"));
    const QString temp = user.home + QStringLiteral("/temp");
    const QString privateFolder = user.home + QStringLiteral("/private");
    const QString mine = user.home + QStringLiteral("/mine");
    ASSERT_EQ(LocalUsers::run(user, {"mkdir", "-p", "-m", "700", temp + "/VSM25", privateFolder, mine}), 0);
    ASSERT_EQ(LocalUsers::run(intruder, {"ln", "-s", privateFolder, shared + "/inbox"}), 0);
    ASSERT_EQ(LocalUsers::run(user, {"ln", "-s", mine, shared + "/own"}), 0);

    QByteArray settings;
    const char* folders[] = {"inbox", "own"};
    for (int n = 1; n <= 2; ++n)
        settings += QStringLiteral("[w%1]\nname=w%1\npath=%2/%3\npanel=%1\nactive=1\navilable=0\nsub=1\nfcreate=1\n")
                        .arg(n)
                        .arg(shared, QLatin1String(folders[n - 1]))
                        .toUtf8();
    const QString settingsFile = temp + QStringLiteral("/VSM25/settings.cfg");
    writeFile(settingsFile, settings);
    ASSERT_TRUE(LocalUsers::give(settingsFile, user));

    ProgramRun run(temp, {}, users.programCopy(ProgramRun::binaryPath()), LocalUsers::launcher(user));
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch w2 Started monitoring path: ") + shared + "/own", 30000))
        << run.lines().join('\n').toStdString();
    const QString inbox = shared + QStringLiteral("/inbox");
    EXPECT_EQ(run.lines().filter(QStringLiteral(": Watch w1 Cannot monitor path: %1 (%1 is a link of another user)").arg(inbox)).size(), 1)
        << run.lines().join('\n').toStdString();

    ASSERT_EQ(LocalUsers::run(user, {"touch", privateFolder + "/salary-review.txt", mine + "/after.txt"}), 0);
    EXPECT_TRUE(run.waitForLine(QStringLiteral(": w2: File create event, file name: ") + shared + "/own/after.txt"))
        << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(run.lines().filter(QStringLiteral("salary-review")), QStringList());
    EXPECT_EQ(run.lines().filter(QStringLiteral("Watch w1 Started")), QStringList());
}

}  // namespace
