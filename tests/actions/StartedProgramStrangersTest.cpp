#include "support/ArgvProbe.h"
#include "support/FileBytes.h"
#include "support/LocalUsers.h"
#include "support/ProgramRun.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Another person on the machine names files in a folder both may write to, which the user's
// watch runs a program for (argument entry 0, waiting until the file is free): a name full of
// blanks and options, a folder whose name ends in a blank holding what looks like an absolute
// path, and a link to a file of the user's that a program keeps open. The user's program, run
// as the user, hands each name over as exactly one word, and judges the link as itself: it
// starts the program at once with the link's own path instead of waiting for good on the file it
// leads to.
TEST(StartedProgramStrangersTest, EachNameIsOneWordAndALinkIsJudgedAsItself)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const LocalUsers::Account intruder = users.account(LocalUsers::IntruderId, QStringLiteral("intruder"));
    const QString drop = users.sharedFolder(QStringLiteral("drop"));
    const QString temp = user.home + QStringLiteral("/temp");
    const QString held = user.home + QStringLiteral("/registry.blk");
    ASSERT_EQ(LocalUsers::run(user, {"mkdir", "-p", "-m", "700", temp + "/VSM25", user.home + "/probe"}), 0);
    ASSERT_EQ(LocalUsers::run(user, {"sh", "-c", ": > \"$1\"", "sh", held}), 0);
    const ArgvProbe probe(user.home + QStringLiteral("/probe"));
    for (const QString& p : {probe.path(), probe.path() + ".runs"}) ASSERT_TRUE(LocalUsers::give(p, user));

    // Some program of the user's keeps the file open for as long as the test runs.
    QProcess holder;
    holder.setStandardOutputFile(held, QIODevice::Append);
    holder.start(QStringLiteral("sleep"), {QStringLiteral("120")});
    ASSERT_TRUE(holder.waitForStarted(10000));

    const QString settingsFile = temp + QStringLiteral("/VSM25/settings.cfg");
    writeFile(settingsFile, QStringLiteral("[w1]\nname=w1\npath=%1\npanel=1\nactive=1\navilable=0\nsub=1\nfcreate=1\n"
                                           "runprog=1\narguments=1\nargindex=0\nwaitproc=1\nexec=%2\n")
                                .arg(drop, probe.path())
                                .toUtf8());
    ASSERT_TRUE(LocalUsers::give(settingsFile, user));
    ProgramRun run(temp, {}, users.programCopy(ProgramRun::binaryPath()), LocalUsers::launcher(user));
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch w1 Started monitoring path: "), 30000)) << run.lines().join('\n').toStdString();

    const QString options = drop + QStringLiteral("/a b -x --evil=1");
    const QString absolute = drop + QStringLiteral("/q /home/victim/.bashrc");
    const QString link = drop + QStringLiteral("/link.blk");
    ASSERT_EQ(LocalUsers::run(intruder, {"touch", options}), 0);
    ASSERT_TRUE(probe.waitForRuns(1)) << run.lines().join('\n').toStdString();
    ASSERT_EQ(LocalUsers::run(intruder, {"sh", "-c", "mkdir -p \"$1\" && touch \"$2\"", "sh", drop + "/q /home/victim", absolute}), 0);
    ASSERT_TRUE(probe.waitForRuns(2)) << run.lines().join('\n').toStdString();
    // Last: before the mend the watch waited here for good, and so would every later event.
    ASSERT_EQ(LocalUsers::run(intruder, {"ln", "-s", held, link}), 0);
    EXPECT_TRUE(probe.waitForRuns(3)) << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
    holder.kill();
    holder.waitForFinished(10000);

    QList<QStringList> seen;
    for (const ArgvProbe::Run& r : probe.runs()) seen << r.args;
    EXPECT_EQ(seen, (QList<QStringList>{{options}, {absolute}, {link}}));
}

}  // namespace
