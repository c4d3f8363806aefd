// The real program watching the file systems people have: a folder reached through a link,
// names that are not UTF-8 reaching a real script, folders another user keeps to himself, and a
// volume unmounted under a watch.
#include "platform/text/PathBytes.h"
#include "platform/settings/ProfileFile.h"
#include "support/FileBytes.h"
#include "support/LocalUsers.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A section of the settings file: one watch with its sub-folders, stored as running, hearing
// `events` (file and folder creations and folder deletions unless told), with what `more` adds.
QByteArray watchSection(const char* name, int panel, const QString& folder, const QByteArray& more = {},
                        const QByteArray& events = "fcreate=1\ndcreate=1\nddelete=1\n")
{
    return "[" + QByteArray(name) + "]\nname=" + name + "\npanel=" + QByteArray::number(panel) +
           "\nactive=1\navilable=0\nsub=1\n" + events + "path=" + PathBytes::encode(folder) + "\n" + more;
}

QString joined(ProgramRun& run) { return run.lines().join('\n'); }

// A watch whose folder is reached through a link reports under the link's path (the path the
// folder tree selects when the watch starts); another watch on the real path reports under that.
TEST(RealFileSystemsTest, WatchThroughALinkReportsTheLinksPath)
{
    QTemporaryDir temp;
    const QString real = temp.path() + "/data/docs", link = temp.path() + "/home/Documents";
    ASSERT_TRUE(QDir().mkpath(real) && QDir().mkpath(temp.path() + "/home"));
    ASSERT_TRUE(QFile::link(real, link));
    writeFile(temp.path() + "/VSM25/settings.cfg", watchSection("linked", 1, link) + watchSection("direct", 2, real));
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("Watch linked Started monitoring path: " + link, 30000)) << joined(run).toStdString();
    ASSERT_TRUE(run.waitForLine("Watch direct Started monitoring path: " + real)) << joined(run).toStdString();
    writeFile(real + "/sub/a.txt", "x");
    EXPECT_TRUE(run.waitForLine(": linked: File create event, file name: " + link + "/sub/a.txt")) << joined(run).toStdString();
    EXPECT_TRUE(run.waitForLine(": direct: File create event, file name: " + real + "/sub/a.txt")) << joined(run).toStdString();
    EXPECT_TRUE(run.lines().filter(": linked: File create event, file name: " + real).isEmpty()) << joined(run).toStdString();
    EXPECT_EQ(run.terminate(), 0);
}

// Names that are not UTF-8 (Latin-1, as older programs write them) are watched, shown readably
// in the live log and the log file, and handed to the started program as their exact bytes.
TEST(RealFileSystemsTest, Latin1NamesReachTheScriptByteForByte)
{
    QTemporaryDir temp;
    const QString watched = temp.path() + "/watched", argsFile = temp.path() + "/args", log = temp.path() + "/logs/bytes.log";
    ASSERT_TRUE(QDir().mkpath(watched) && QDir().mkpath(temp.path() + "/logs"));
    const QString script = temp.path() + "/record.sh";
    writeFile(script, "#!/bin/sh\nprintf '%s\\0' \"$@\" >> '" + argsFile.toUtf8() + "'\n");
    ASSERT_TRUE(QFile(script).setPermissions(QFile(script).permissions() | QFileDevice::ExeOwner));
    writeFile(temp.path() + "/VSM25/settings.cfg",
              watchSection("bytes", 1, watched,
                           "runprog=1\nexec=" + script.toUtf8() + "\narguments=1\nargindex=0\nwaitproc=1\nwritelog=1\nlogfile=" +
                               log.toUtf8() + "\n",
                           "fcreate=1\n"));
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("Watch bytes Started monitoring path: " + watched, 30000)) << joined(run).toStdString();

    const QByteArray folder = PathBytes::encode(watched) + "/d\xE9j\xE0";  // "déjà" in Latin-1
    const QByteArray file = folder + "/caf\xE9.txt";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const int fd = ::open(file.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(argsFile).size() >= file.size() + 1; }, 10000)) << joined(run).toStdString();
    EXPECT_EQ(readFile(argsFile), file + '\0');
    const QString shown = watched + QStringLiteral("/d\uFFFDj\uFFFD/caf\uFFFD.txt");
    EXPECT_TRUE(run.waitForLine(": bytes: File create event, file name: " + shown)) << joined(run).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(log).contains(("File create event, file name: " + shown).toUtf8()); }, 10000))
        << readFile(log).toStdString();
    EXPECT_EQ(run.terminate(), 0);
}

// Another user's folders: a watch whose folder this user may not read is not started and says
// why; a watch where only one sub-folder is closed to him starts, and names that one.
TEST(RealFileSystemsTest, FoldersThisUserMayNotReadAreNamedAndTheRestIsWatched)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, QStringLiteral("user"));
    const QString program = users.programCopy(ProgramRun::binaryPath());
    const QString data = users.sharedFolder(QStringLiteral("data"));
    const QString locked = data + "/locked", open = data + "/open";
    for (const QString& f : {locked, open + "/ok", open + "/secret"}) ASSERT_TRUE(QDir().mkpath(f));
    for (const QString& f : {locked, open + "/secret"}) ASSERT_EQ(::chmod(QFile::encodeName(f).constData(), 0700), 0);
    const QString temp = user.home + "/tmp";
    writeFile(temp + "/VSM25/settings.cfg", watchSection("locked", 1, locked) + watchSection("partial", 2, open));
    for (const QString& f : {temp, temp + "/VSM25", temp + "/VSM25/settings.cfg"})
        ASSERT_EQ(::chown(QFile::encodeName(f).constData(), user.uid, user.gid), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(temp + "/VSM25").constData(), 0700), 0);

    ProgramRun run(temp, {}, program, LocalUsers::launcher(user));
    ASSERT_TRUE(run.waitForLine("Watch partial Started monitoring path: " + open, 30000)) << joined(run).toStdString();
    ASSERT_TRUE(run.waitForLine("Watch locked Cannot monitor path: " + locked + " (permission denied)")) << joined(run).toStdString();
    ASSERT_TRUE(run.waitForLine(": partial: " + open +
                                "/secret could not be watched (permission denied): 1 folder and what it holds are not watched"))
        << joined(run).toStdString();
    writeFile(open + "/ok/new.txt", "x");
    EXPECT_TRUE(run.waitForLine(": partial: File create event, file name: " + open + "/ok/new.txt")) << joined(run).toStdString();
    EXPECT_EQ(run.terminate(), 0);
    const QStringList lines = run.lines();
    EXPECT_TRUE(lines.filter("Watch locked Started monitoring").isEmpty()) << joined(run).toStdString();
    for (const QString& l : lines.filter("Cannot monitor path"))
        EXPECT_TRUE(l.startsWith("live-log: #ff0000 ")) << l.toStdString();
    // What is stored stays as it was: the next start tries again.
    // Read as bytes: the folder is the other user's, which our own reader rightly refuses.
    EXPECT_EQ(ProfileFile::readStringOf(readFile(temp + "/VSM25/settings.cfg"), "locked", "active"), "1");
    EXPECT_TRUE(lines.filter("box: ").isEmpty()) << joined(run).toStdString();
}

// The volume holding the watched folder is unmounted (in a mount namespace of the program's
// own): the folder's deletion is reported; mounted again with the folder on it, it is heard again.
TEST(RealFileSystemsTest, VolumeUnmountedUnderAWatchIsReportedAndHeardAgainWhenBack)
{
    if (QStandardPaths::findExecutable("unshare").isEmpty() || QStandardPaths::findExecutable("nsenter").isEmpty())
        GTEST_SKIP() << "no unshare or nsenter here";
    QTemporaryDir temp;
    const QString vol = temp.path() + "/vol", watched = vol + "/w";
    ASSERT_TRUE(QDir().mkpath(vol));
    writeFile(temp.path() + "/VSM25/settings.cfg", watchSection("onvol", 1, watched));
    const QStringList launcher = {"unshare", "-Urm", "sh", "-c",
                                  QStringLiteral("mount -t tmpfs tmpfs \"$1\" && mkdir \"$1/w\" || exit %1; shift; exec \"$@\"")
                                      .arg(ProgramRun::NoNamespaceExit),
                                  "sh", vol};
    ProgramRun run(temp.path(), {}, {}, launcher);
    const bool started = run.waitForLine("Watch onvol Started monitoring path: " + watched, 30000);
    if (!started && run.process().state() == QProcess::NotRunning && run.process().exitCode() == ProgramRun::NoNamespaceExit)
        GTEST_SKIP() << "mount namespaces are refused here";
    ASSERT_TRUE(started) << joined(run).toStdString();
    // Commands run in the program's namespaces.
    auto inside = [&](const QString& script) {
        return QProcess::execute("nsenter", {"-t", QString::number(run.pid()), "-U", "-m", "--preserve-credentials", "sh",
                                             "-c", script, "sh", vol});
    };
    ASSERT_EQ(inside("umount \"$1\""), 0);
    ASSERT_TRUE(run.waitForLine(": onvol: Folder delete event, folder name: " + watched)) << joined(run).toStdString();
    ASSERT_EQ(inside("mount -t tmpfs tmpfs \"$1\" && mkdir \"$1/w\" && touch \"$1/w/f\""), 0);
    EXPECT_TRUE(run.waitForLine(": onvol: Folder create event, folder name: " + watched)) << joined(run).toStdString();
    EXPECT_TRUE(run.waitForLine(": onvol: File create event, file name: " + watched + "/f")) << joined(run).toStdString();
    ASSERT_EQ(inside("touch \"$1/w/after\""), 0);
    EXPECT_TRUE(run.waitForLine(": onvol: File create event, file name: " + watched + "/after")) << joined(run).toStdString();
    EXPECT_EQ(run.lines().filter(": onvol: Folder delete event").size(), 1) << joined(run).toStdString();
    EXPECT_EQ(run.terminate(), 0);
}

// A volume mounted and unmounted again and again at a watched place, in a mount namespace of the
// program's own: every mount gives its Media Insert, every unmount its Media Remove; the folder
// left at the place after an unmount is watched at once and reported as made again, with what it
// holds, and so is the folder a mount puts there.
struct RemountCase {
    const char* what;
    const char* watched;  // below the temporary folder
    const char* mountAt;
};

class VolumeMountedAgainTest : public ::testing::TestWithParam<RemountCase> {};

TEST_P(VolumeMountedAgainTest, EveryMountIsToldAndThePlaceIsNeverDeaf)
{
    if (QStandardPaths::findExecutable("unshare").isEmpty() || QStandardPaths::findExecutable("nsenter").isEmpty())
        GTEST_SKIP() << "no unshare or nsenter here";
    const RemountCase c = GetParam();
    QTemporaryDir temp;
    const QString watched = temp.path() + "/" + c.watched, at = temp.path() + "/" + c.mountAt;
    const QString media = at.section(u'/', -1);
    ASSERT_TRUE(QDir().mkpath(at));
    writeFile(at + "/left.txt", "x");  // on the folder the volume covers
    writeFile(temp.path() + "/VSM25/settings.cfg", watchSection("vol", 1, watched, {}, "fcreate=1\ndcreate=1\nddelete=1\nminsert=1\nmremove=1\n"));
    const QStringList launcher = {"unshare", "-Urm", "sh", "-c", "exec \"$@\"", "sh"};
    ProgramRun run(temp.path(), {}, {}, launcher);
    const bool started = run.waitForLine("Watch vol Started monitoring path: " + watched, 30000);
    if (!started && run.process().state() == QProcess::NotRunning && !run.lines().filter("unshare").isEmpty())
        GTEST_SKIP() << "mount namespaces are refused here: " << joined(run).toStdString();
    ASSERT_TRUE(started) << joined(run).toStdString();
    auto inside = [&](const QString& script) {
        return QProcess::execute("nsenter", {"-t", QString::number(run.pid()), "-U", "-m", "--preserve-credentials", "sh",
                                             "-c", script, "sh", at});
    };
    auto count = [&](const QString& text) {
        const QStringList lines = run.lines();
        return std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.endsWith(text); });
    };
    auto waitForCount = [&](const QString& text, std::ptrdiff_t n) { return QTest::qWaitFor([&] { return count(text) >= n; }, 10000); };
    const QString inserted = ": vol: Media Insert event, media name: " + media;
    const QString removed = ": vol: Media Remove event, media name: " + media;
    const QString made = ": vol: Folder create event, folder name: " + at;
    const QString created = ": vol: File create event, file name: " + at + "/";

    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(inside("mount -t tmpfs tmpfs \"$1\" && mkdir \"$1/d\" && touch \"$1/d/x\""), 0);
        ASSERT_TRUE(waitForCount(inserted, round)) << joined(run).toStdString();
        ASSERT_TRUE(waitForCount(created + "d/x", round)) << joined(run).toStdString();
        const QString on = QStringLiteral("on%1").arg(round);
        ASSERT_EQ(inside("touch \"$1/" + on + "\""), 0);
        ASSERT_TRUE(waitForCount(created + on, 1)) << joined(run).toStdString();

        ASSERT_EQ(inside("umount \"$1\""), 0);
        ASSERT_TRUE(waitForCount(removed, round)) << joined(run).toStdString();
        // What the mount covered is there again, and so is the folder: it hears what comes.
        ASSERT_TRUE(waitForCount(created + "left.txt", round)) << joined(run).toStdString();
        const QString under = QStringLiteral("under%1").arg(round);
        ASSERT_EQ(inside("touch \"$1/" + under + "\""), 0);
        EXPECT_TRUE(waitForCount(created + under, 1)) << joined(run).toStdString();
        ASSERT_EQ(inside("rm \"$1/" + under + "\""), 0);
    }
    EXPECT_EQ(run.terminate(), 0);
    // Each change once: a mount and an unmount each take the folder away and bring one back.
    EXPECT_EQ(count(inserted), 3) << joined(run).toStdString();
    EXPECT_EQ(count(removed), 3) << joined(run).toStdString();
    EXPECT_EQ(count(made), 6) << joined(run).toStdString();
    EXPECT_EQ(count(": vol: Folder delete event, folder name: " + at), 6) << joined(run).toStdString();
    EXPECT_EQ(count(created + "left.txt"), 3) << joined(run).toStdString();
    EXPECT_TRUE(run.lines().filter("box: ").isEmpty()) << joined(run).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Places, VolumeMountedAgainTest,
                         ::testing::Values(RemountCase{"a watch on the mount point", "mnt", "mnt"},
                                           RemountCase{"a watch on the folder above it", "p", "p/sub"}),
                         [](const auto& info) { return std::string(info.param.watched) == "p" ? "Above" : "OnIt"; });

}  // namespace
