// The real program waiting, before it starts a watch's program, until the changed file is free:
// with writers that keep reopening their files, with a writer that never lets go while the
// program is asked to end, and with files the user may not write to.
#include "support/ArgvProbe.h"
#include "support/LocalUsers.h"
#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A watch on `folder` that runs `program` with the created file's name once the file is free.
void writeSettings(const QString& temp, const QString& folder, const QString& program)
{
    QDir().mkpath(temp + QStringLiteral("/VSM25"));
    QFile f(temp + QStringLiteral("/VSM25/settings.cfg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[wait]\nname=wait\npanel=1\nactive=1\navilable=0\nfcreate=1\nrunprog=1\narguments=1\nargindex=0\nwaitproc=1\n"
            "exec=" + QFile::encodeName(program) + "\npath=" + QFile::encodeName(folder) + "\n");
}

QStringList firstArguments(const ArgvProbe& probe)
{
    QStringList seen;
    for (const ArgvProbe::Run& r : probe.runs()) seen << r.args.value(0);
    std::sort(seen.begin(), seen.end());
    return seen;
}

TEST(InUseWait, WritersReopeningTheirFilesNeitherEndTheProgramNorKeepItsProgramsFromStarting)
{
    QTemporaryDir temp;
    const QString watched = temp.filePath(QStringLiteral("watched"));
    QDir().mkpath(watched);
    ArgvProbe probe(temp.path());
    writeSettings(temp.path(), watched, probe.path());
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Started monitoring path"))) << run.lines().join(u'\n').toStdString();

    // Each writer makes its log file anew again and again, and opens, appends to and closes it
    // many times in between: the program's in-use tests meet these opens while they hold their
    // lease, and every new file is an event whose program must start.
    constexpr int Writers = 2, Files = 40;
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int i = 0; i < Writers; ++i) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(QStringLiteral("sh"),
                              {QStringLiteral("-c"),
                               QStringLiteral("n=0; while [ $n -lt %1 ]; do rm -f \"$1\"; i=0; "
                                              "while [ $i -lt 300 ]; do echo $i >> \"$1\"; i=$((i+1)); done; n=$((n+1)); done")
                                   .arg(Files),
                               QStringLiteral("sh"), watched + QStringLiteral("/log%1.txt").arg(i)});
    }
    for (auto& w : writers) EXPECT_TRUE(w->waitForFinished(60000));

    // Every creation the program saw started the program once, after its wait.
    auto count = [&](const QString& text) { return run.lines().filter(text).size(); };
    const QString created = QStringLiteral("File create event"), started = QStringLiteral(": execute: ");
    ASSERT_TRUE(run.waitForLine(created));
    const QDeadlineTimer deadline(20000);
    while (count(started) < count(created) && !deadline.hasExpired()) run.waitForLine(QStringLiteral("no such line"), 100);
    EXPECT_EQ(count(started), count(created)) << run.lines().join(u'\n').toStdString();
    EXPECT_TRUE(probe.waitForRuns(int(count(started))));
    std::printf("%lld creations seen, as many programs started\n", static_cast<long long>(count(started)));
    EXPECT_EQ(run.process().state(), QProcess::Running) << run.lines().join(u'\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
}

TEST(InUseWait, EndingTheProgramEndsAWaitThatWouldNotEnd)
{
    QTemporaryDir temp;
    const QString watched = temp.filePath(QStringLiteral("watched"));
    QDir().mkpath(watched);
    ArgvProbe probe(temp.path());
    writeSettings(temp.path(), watched, probe.path());
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Started monitoring path"))) << run.lines().join(u'\n').toStdString();

    QProcess holder;  // writes the file and never lets go
    holder.setStandardOutputFile(watched + QStringLiteral("/held.txt"), QIODevice::Append);
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(run.waitForLine(QStringLiteral("File create event"))) << run.lines().join(u'\n').toStdString();

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(run.terminate(), 0);
    std::printf("SIGTERM during the wait: ended after %lld ms\n", static_cast<long long>(clock.elapsed()));
    EXPECT_TRUE(run.lines().filter(QStringLiteral("still busy")).isEmpty()) << run.lines().join(u'\n').toStdString();
    EXPECT_TRUE(probe.runs().isEmpty());
    holder.kill();
    holder.waitForFinished();
}

TEST(InUseWait, AFileTheUserCannotWriteHoldsNothingUp)
{
    if (const QString why = LocalUsers::unavailableReason(); !why.isEmpty()) GTEST_SKIP() << qPrintable(why);
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const LocalUsers::Account other = users.account(LocalUsers::IntruderId, QStringLiteral("other"));
    const QString shared = users.sharedFolder(QStringLiteral("shared"));
    const QString program = users.programCopy(ProgramRun::binaryPath());
    const QString temp = user.home + QStringLiteral("/temp");
    ArgvProbe probe(user.home);
    writeSettings(temp, shared, probe.path());
    for (const QString& path : {temp, temp + QStringLiteral("/VSM25"), temp + QStringLiteral("/VSM25/settings.cfg"),
                                probe.path() + QStringLiteral(".runs")})
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), user.uid, user.gid), 0) << qPrintable(path);

    ProgramRun run(temp, {}, program, LocalUsers::launcher(user));
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Started monitoring path"))) << run.lines().join(u'\n').toStdString();
    // Files of another user in the shared folder: one the user may read, one the user may not,
    // and the user's own file made read-only; nobody writes to any of them any more.
    const QString script = QStringLiteral(
        "umask 022; echo a > \"$1/readable\"; echo b > \"$1/closed\"; chmod 600 \"$1/closed\"");
    ASSERT_EQ(LocalUsers::run(other, {QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), shared}), 0);
    ASSERT_EQ(LocalUsers::run(user, {QStringLiteral("sh"), QStringLiteral("-c"),
                                     QStringLiteral("echo c > \"$1/mine\"; chmod 444 \"$1/mine\""), QStringLiteral("sh"), shared}),
              0);
    ASSERT_TRUE(probe.waitForRuns(3, 20000)) << run.lines().join(u'\n').toStdString();
    EXPECT_EQ(firstArguments(probe), (QStringList{shared + QStringLiteral("/closed"), shared + QStringLiteral("/mine"),
                                                  shared + QStringLiteral("/readable")}));
    EXPECT_EQ(run.terminate(), 0);
}

}  // namespace
