#include "support/ArgvProbe.h"
#include "support/QtPrinters.h"
#include "platform/programs/ProgramStarter.h"
#include "platform/programs/WindowsCommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using ProgramStarter::start;

// Replaces PATH for the life of the object.
class PathOverride {
public:
    explicit PathOverride(const QByteArray& path) : old_(qgetenv("PATH")) { qputenv("PATH", path); }
    ~PathOverride() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// Children of this process still in the process table (zombies included).
int childProcesses()
{
    int count = 0;
    const QString self = QString::number(::getpid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> rest = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1] == self.toLatin1()) ++count;
    }
    return count;
}

TEST(ProgramStarterTest, StartsAnExecutableDirectlyWithTheParametersWords)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path());
    const auto r = start(QStringLiteral("Open"), probe.path(), QStringLiteral("one \"two words\" a\\\"b $(x) *"),
                         dir.path());
    EXPECT_EQ(r.error, 0);
    EXPECT_GT(r.processId, 0);
    ASSERT_TRUE(probe.waitForRuns(1));
    const ArgvProbe::Run run = probe.runs().first();
    EXPECT_EQ(run.args, (QStringList{"one", "two words", "a\"b", "$(x)", "*"}));
    EXPECT_EQ(QDir(run.cwd).canonicalPath(), QDir(dir.path()).canonicalPath());
    EXPECT_NE(run.parentPid, qint64(::getpid()));  // detached: not our child
}

TEST(ProgramStarterTest, QuotesAroundTheNameAndTheVerbsCaseDontMatter)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path(), QStringLiteral("a probe.sh"));
    EXPECT_EQ(start(QStringLiteral("open"), u'"' + probe.path() + u'"', {}, {}).error, 0);
    EXPECT_EQ(start(QString(), probe.path(), QStringLiteral("x"), {}).error, 0);
    ASSERT_TRUE(probe.waitForRuns(2));
    EXPECT_EQ(probe.runs().size(), 2);
}

TEST(ProgramStarterTest, AScriptWithoutExecuteBitRunsThroughItsInterpreter)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path(), QStringLiteral("probe.sh"), /*executable=*/false);
    EXPECT_EQ(start(QStringLiteral("Open"), probe.path(), QStringLiteral("\"a b\" c"), {}).error, 0);
    ASSERT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().first().args, (QStringList{"a b", "c"}));
}

TEST(ProgramStarterTest, OtherFilesGoToTheDesktopOpenerWithoutParameters)
{
    QTemporaryDir dir;
    QDir().mkdir(dir.filePath(QStringLiteral("bin")));
    ArgvProbe opener(dir.filePath(QStringLiteral("bin")), QStringLiteral("xdg-open"));
    const QString document = dir.filePath(QStringLiteral("notes $(x).txt"));
    writeFile(document, "plain text, no interpreter line\n", 0644);
    ArgvProbe noHashBang(dir.path(), QStringLiteral("script.sh"), false, false);

    PathOverride path(QFile::encodeName(dir.filePath(QStringLiteral("bin"))) + ":/usr/bin:/bin");
    EXPECT_EQ(start(QStringLiteral("Open"), document, QStringLiteral("ignored words"), {}).error, 0);
    ASSERT_TRUE(opener.waitForRuns(1));
    EXPECT_EQ(opener.runs().first().args, QStringList{document});
    EXPECT_EQ(start(QStringLiteral("Open"), noHashBang.path(), {}, {}).error, 0);
    EXPECT_EQ(start(QStringLiteral("Open"), dir.path(), {}, {}).error, 0);  // a folder opens in the file manager
    ASSERT_TRUE(opener.waitForRuns(3));
    EXPECT_EQ(noHashBang.runs().size(), 0);
}

TEST(ProgramStarterTest, AFailedStartReturnsAShellErrorCode)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path());
    const QString junk = dir.filePath(QStringLiteral("junk"));
    writeFile(junk, QByteArray("\x01\x02\x03 not a program"), 0755);
    const QString badInterpreter = dir.filePath(QStringLiteral("bad.sh"));
    writeFile(badInterpreter, "#!/nonexistent/interpreter\n", 0755);
    const QString relativeInterpreter = dir.filePath(QStringLiteral("rel.sh"));
    writeFile(relativeInterpreter, "#!sh\n", 0644);
    const QString document = dir.filePath(QStringLiteral("doc.txt"));
    writeFile(document, "text\n", 0644);
    QDir().mkdir(dir.filePath(QStringLiteral("empty-bin")));

    using namespace ProgramStarter;
    struct Case {
        const char* what;
        QString verb, file, directory;
        int expected;
    } cases[] = {
        {"missing file", "Open", dir.filePath("missing"), {}, FileNotFound},
        {"missing folder", "Open", dir.filePath("no/such/file"), {}, PathNotFound},
        {"empty name", "Open", QString(), {}, FileNotFound},
        {"bare name not in PATH", "Open", "no-such-program-anywhere", {}, FileNotFound},
        {"not a program", "Open", junk, {}, BadFormat},
        {"interpreter missing", "Open", badInterpreter, {}, FileNotFound},
        {"relative interpreter", "Open", relativeInterpreter, {}, NoAssociation},
        {"unknown verb", "print", probe.path(), {}, NoAssociation},
        {"start folder missing", "Open", probe.path(), dir.filePath("nowhere"), PathNotFound},
        {"document without an opener", "Open", document, {}, NoAssociation},
    };
    PathOverride path(QFile::encodeName(dir.filePath(QStringLiteral("empty-bin"))));
    for (const Case& c : cases) {
        const auto r = start(c.verb, c.file, QStringLiteral("x"), c.directory);
        EXPECT_EQ(r.error, c.expected) << c.what;
        EXPECT_EQ(r.processId, 0) << c.what;
    }
    EXPECT_EQ(probe.runs().size(), 0);
}

TEST(ProgramStarterTest, ABareNameIsLookedUpInThePath)
{
    QTemporaryDir dir;
    ArgvProbe probe(dir.path(), QStringLiteral("vesmor-probe"));
    PathOverride path(QFile::encodeName(dir.path()) + ":/usr/bin:/bin");
    EXPECT_EQ(start(QStringLiteral("Open"), QStringLiteral("vesmor-probe"), QStringLiteral("w"), {}).error, 0);
    ASSERT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().first().args, QStringList{"w"});
}

TEST(ProgramStarterTest, TheProgramInheritsNothingOfOurs)
{
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report"));
    const QString script = dir.filePath(QStringLiteral("inspect.sh"));
    writeFile(script,
              // The signal state is read with builtins before the first fork: the shell blocks
              // every signal for a moment around each fork it makes.
              "#!/bin/sh\n"
              "{ while IFS= read -r l; do case $l in SigBlk*|SigIgn*) echo \"$l\";; esac; done < /proc/$$/status;"
              " readlink /proc/$$/fd/0; ls /proc/$$/fd | tr '\\n' ' '; echo; }"
              " > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\n",
              0755);
    // A descriptor of ours without close-on-exec, a blocked and an ignored signal.
    const int leaky = ::open("/dev/zero", O_RDONLY);
    ASSERT_GE(leaky, 3);
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR2, &ignore, &previous);

    const auto r = start(QStringLiteral("Open"), script, WindowsCommandLine::quoted(report), {});

    sigaction(SIGUSR2, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ::close(leaky);
    ASSERT_EQ(r.error, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(report); }, 10000));
    QFile f(report);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    ASSERT_GE(lines.size(), 4);
    // The signals we blocked and ignored reach the program neither blocked nor ignored. (Other
    // bits may be set by the shell itself while it runs, so only ours are looked at.)
    auto mask = [](const QString& line) { return line.section(u':', 1).trimmed().toULongLong(nullptr, 16); };
    ASSERT_TRUE(lines[0].startsWith(QStringLiteral("SigBlk:"))) << lines[0].toStdString();
    ASSERT_TRUE(lines[1].startsWith(QStringLiteral("SigIgn:"))) << lines[1].toStdString();
    EXPECT_EQ(mask(lines[0]) & (1ull << (SIGUSR1 - 1)), 0u) << lines[0].toStdString();
    EXPECT_EQ(mask(lines[1]) & (1ull << (SIGUSR2 - 1)), 0u) << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("/dev/null"));
    // stdin, stdout, stderr, and the descriptor the shell opened for its own output redirection
    EXPECT_FALSE(lines[3].split(u' ', Qt::SkipEmptyParts).contains(QString::number(leaky))) << lines[3].toStdString();
}

TEST(ProgramStarterTest, ThousandStartsLeaveNoChildBehind)
{
    const int before = childProcesses();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(start(QStringLiteral("Open"), QStringLiteral("/bin/true"), {}, {}).error, 0);
    EXPECT_EQ(childProcesses(), before);
}

}  // namespace
