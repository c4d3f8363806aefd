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

void giveTo(const QString& path, const LocalUsers::Account& account)
{
    ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), account.uid, account.gid), 0) << path.toStdString();
}

// Another person on the machine prepares the names that the user's watches log to, in a folder
// both may write to (sticky, as /tmp): a link to one of the user's own files, a named pipe, a
// file of their own. The user's program, run as the user, refuses each with "File access
// denied", never waits on the pipe and appends nothing anywhere; the user's own link leads to the
// user's file, every event reaches the live log, and the next event goes the same way. This holds
// whether or not the kernel's link, pipe and file protections are on.
TEST(LogFileStrangersTest, PlantedNamesAreRefusedAndTheUsersOwnLinkIsFollowed)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const LocalUsers::Account intruder = users.account(LocalUsers::IntruderId, QStringLiteral("intruder"));
    const QString shared = users.sharedFolder(QStringLiteral("tmp"));

    const QString watched = user.home + QStringLiteral("/watched");
    const QString precious = user.home + QStringLiteral("/precious.txt");
    const QString mine = user.home + QStringLiteral("/mine.log");
    const QString temp = user.home + QStringLiteral("/temp");
    ASSERT_EQ(LocalUsers::run(user, {"mkdir", "-p", "-m", "700", watched, temp + "/VSM25"}), 0);
    ASSERT_EQ(LocalUsers::run(user, {"sh", "-c", "echo keep > \"$1\"; : > \"$2\"", "sh", precious, mine}), 0);
    ASSERT_EQ(LocalUsers::run(intruder, {"ln", "-s", precious, shared + "/link.log"}), 0);
    ASSERT_EQ(LocalUsers::run(intruder, {"mkfifo", "-m", "666", shared + "/pipe.log"}), 0);
    ASSERT_EQ(LocalUsers::run(intruder, {"sh", "-c", "umask 0; : > \"$1\"", "sh", shared + "/planted.log"}), 0);
    ASSERT_EQ(LocalUsers::run(user, {"ln", "-s", mine, shared + "/own.log"}), 0);

    const char* logs[] = {"link.log", "pipe.log", "planted.log", "own.log"};
    QByteArray settings;
    for (int n = 1; n <= 4; ++n)
        settings += QStringLiteral("[w%1]\nname=w%1\npath=%2\npanel=%1\nactive=1\navilable=0\nsub=0\nfcreate=1\n"
                                   "writelog=1\nlogfile=%3/%4\n")
                        .arg(n)
                        .arg(watched, shared, QLatin1String(logs[n - 1]))
                        .toUtf8();
    const QString settingsFile = temp + QStringLiteral("/VSM25/settings.cfg");
    writeFile(settingsFile, settings);
    giveTo(settingsFile, user);

    ProgramRun run(temp, {}, users.programCopy(ProgramRun::binaryPath()), LocalUsers::launcher(user));
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch w4 Started monitoring path: "), 30000)) << run.lines().join('\n').toStdString();
    // An id without an account entry is named by its number, not left blank.
    EXPECT_EQ(run.lines().filter(QStringLiteral(" by user %1").arg(user.uid)).size(), 1) << run.lines().join('\n').toStdString();

    for (const char* name : {"a.txt", "b.txt"}) {
        const QString file = watched + u'/' + QLatin1String(name);
        writeFile(file, "x");
        const QString event = QStringLiteral(": w4: File create event, file name: ") + file;
        ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(mine).contains(event.toUtf8() + "\r\n"); }, 10000))
            << run.lines().join('\n').toStdString();
        for (int n = 1; n <= 3; ++n)
            EXPECT_TRUE(run.waitForLine(QStringLiteral(": w%1: File create event, file name: %2").arg(n).arg(file)))
                << "the live log has every event";
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.lines().filter(QStringLiteral("box: error: ")).size() >= 6; }, 10000));
    EXPECT_EQ(run.terminate(), 0) << "nothing waits on the pipe";

    const QStringList boxes = run.lines().filter(QStringLiteral("box: "));
    EXPECT_EQ(boxes, QStringList(6, QStringLiteral("box: error: File access denied. (caption \"Vesmor 2.5\", answered OK)"))) << boxes.join(u'\n').toStdString();
    EXPECT_EQ(readFile(precious), "keep\n");
    EXPECT_EQ(readFile(shared + "/planted.log"), QByteArray());
    // The user's file existed (empty) through the user's link: no header, as for the file itself.
    const QList<QByteArray> lines = readFile(mine).split('\n');
    ASSERT_EQ(lines.size(), 3) << readFile(mine).toStdString();
    EXPECT_TRUE(lines[0].endsWith("/a.txt\r"));
    EXPECT_TRUE(lines[1].endsWith("/b.txt\r"));
    EXPECT_TRUE(lines[2].isEmpty());
}

// A second name for one of the user's own files, made by someone else (a hard link, as anyone
// may make where the kernel's hard-link protection is off; root plays that person here) in a
// folder both may write to, and in a folder of that person's own that only they may write to:
// the user's file is appended to through neither.
TEST(LogFileStrangersTest, HardLinkToTheUsersOwnFileInAFolderOfOthersIsRefused)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const LocalUsers::Account intruder = users.account(LocalUsers::IntruderId, QStringLiteral("intruder"));
    const QString shared = users.sharedFolder(QStringLiteral("tmp"));
    const QString theirs = users.root() + QStringLiteral("/theirs");
    const QString watched = user.home + QStringLiteral("/watched");
    const QString startUp = user.home + QStringLiteral("/.bashrc");
    const QString temp = user.home + QStringLiteral("/temp");
    ASSERT_EQ(LocalUsers::run(user, {"mkdir", "-p", "-m", "700", watched, temp + "/VSM25"}), 0);
    ASSERT_EQ(LocalUsers::run(user, {"sh", "-c", "echo 'alias ll=ls' > \"$1\"", "sh", startUp}), 0);
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_TRUE(LocalUsers::give(theirs, intruder));
    ASSERT_EQ(::chmod(QFile::encodeName(theirs).constData(), 0755), 0);
    const QString logs[] = {shared + "/hard.log", theirs + "/hard.log"};
    QByteArray settings;
    for (int n = 1; n <= 2; ++n) {
        ASSERT_EQ(::link(QFile::encodeName(startUp).constData(), QFile::encodeName(logs[n - 1]).constData()), 0);
        settings += QStringLiteral("[w%1]\nname=w%1\npath=%2\npanel=%1\nactive=1\navilable=0\nsub=0\nfcreate=1\n"
                                   "writelog=1\nlogfile=%3\n")
                        .arg(n)
                        .arg(watched, logs[n - 1])
                        .toUtf8();
    }
    const QString settingsFile = temp + QStringLiteral("/VSM25/settings.cfg");
    writeFile(settingsFile, settings);
    giveTo(settingsFile, user);

    ProgramRun run(temp, {}, users.programCopy(ProgramRun::binaryPath()), LocalUsers::launcher(user));
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch w2 Started monitoring path: "), 30000)) << run.lines().join('\n').toStdString();
    writeFile(watched + "/x;touch PWNED", "x");
    for (int n = 1; n <= 2; ++n)
        EXPECT_TRUE(run.waitForLine(QStringLiteral(": w%1: File create event, file name: ").arg(n) + watched + "/x;touch PWNED"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.lines().filter(QStringLiteral("box: error: File access denied.")).size() >= 2; }, 10000))
        << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(readFile(startUp), "alias ll=ls\n");
}

}  // namespace
