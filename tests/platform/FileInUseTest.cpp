#include "platform/files/FileInUse.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class FileInUseTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("data.bin"));

    void SetUp() override
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    // Another process that keeps the file open until it is killed.
    void hold(QProcess& p, bool forWriting)
    {
        if (forWriting)
            p.setStandardOutputFile(file, QIODevice::Append);
        else
            p.setStandardInputFile(file);
        p.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        ASSERT_TRUE(p.waitForStarted(10000));
    }
    static void release(QProcess& p)
    {
        p.kill();
        p.waitForFinished(10000);
    }
};

TEST_F(FileInUseTest, NothingToWaitForIsNotInUse)
{
    ASSERT_TRUE(QDir().mkdir(dir.filePath(QStringLiteral("folder"))));
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));
    for (const char* name : {"data.bin", "link", "missing", "dangling", "folder"})
        EXPECT_FALSE(FileInUse::isInUse(dir.filePath(QString::fromUtf8(name)))) << name;
    EXPECT_FALSE(FileInUse::isInUse(QString()));
    EXPECT_FALSE(FileInUse::isInUse(QStringLiteral("/dev/null")));  // a device is no file
}

TEST_F(FileInUseTest, AnotherProcessHoldingTheFileMakesItInUse)
{
    for (bool forWriting : {true, false}) {
        QProcess holder;
        hold(holder, forWriting);
        EXPECT_TRUE(FileInUse::isInUse(file)) << "writer " << forWriting;
        EXPECT_TRUE(FileInUse::isInUse(dir.filePath(QStringLiteral("."))+ QStringLiteral("/data.bin")));
        EXPECT_TRUE(FileInUse::openElsewhere(file));
        // A link to the held file is an object of its own, never in use.
        const QString link = dir.filePath(QStringLiteral("link-%1").arg(forWriting));
        ASSERT_TRUE(QFile::link(file, link));
        EXPECT_FALSE(FileInUse::isInUse(link)) << "writer " << forWriting;
        EXPECT_FALSE(FileInUse::openElsewhere(link));
        release(holder);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !FileInUse::isInUse(file); }, 10000)) << "writer " << forWriting;
        EXPECT_FALSE(FileInUse::openElsewhere(file));
    }
}

// The answer of the test made by another user, in a child process of that user's.
std::optional<bool> isInUseAs(unsigned uid, const QString& fileName)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) ::_exit(3);
        ::_exit(FileInUse::isInUse(fileName) ? 1 : 0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return std::nullopt;
    return WEXITSTATUS(status) == 1;
}

TEST_F(FileInUseTest, AFileTheUserCannotWriteIsInUseOnlyWhileSomeoneHasItOpenForWriting)
{
    if (::geteuid() != 0) GTEST_SKIP() << "playing other users needs root";
    constexpr unsigned User = 61001, Other = 61002;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const struct {
        const char* what;
        unsigned owner;
        mode_t mode;
        int holder;  // 0 nobody, 1 a reader, 2 a writer
        bool inUse;
    } cases[] = {
        {"the user's read-only file, nobody holding it", User, 0444, 0, false},
        {"the user's read-only file, being read", User, 0444, 1, false},
        {"the user's read-only file, being written", User, 0444, 2, true},
        {"another user's file in a shared folder", Other, 0644, 0, false},
        {"another user's file the user can't even read", Other, 0600, 0, false},
        {"the user's own writable file, being read", User, 0644, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray path = QFile::encodeName(file);
        ASSERT_EQ(::chown(path.constData(), c.owner, c.owner), 0);
        ASSERT_EQ(::chmod(path.constData(), c.mode), 0);
        QProcess holder;
        if (c.holder) hold(holder, c.holder == 2);
        EXPECT_EQ(isInUseAs(User, file), std::optional<bool>(c.inUse));
        release(holder);
    }
    // Nothing on this machine writes to it, and nobody ever may.
    EXPECT_FALSE(FileInUse::isInUse(QStringLiteral("/sys/devices/system/cpu/online")));
}

// The test program doubles as a process that keeps testing a file while others reopen it: with
// VESMOR_IN_USE_HELPER set to a file name it tests that file for a while and says how often.
const bool helperRan = [] {
    const QString fileName = qEnvironmentVariable("VESMOR_IN_USE_HELPER");
    if (fileName.isEmpty()) return false;
    const QDeadlineTimer deadline(1500);
    long tests = 0, inUse = 0;
    for (; !deadline.hasExpired(); ++tests) inUse += FileInUse::isInUse(fileName);
    std::printf("tested %ld times, in use %ld times\n", tests, inUse);
    std::exit(0);
}();

TEST_F(FileInUseTest, OthersOpeningTheFileDuringATestNeverEndTheProgram)
{
    // Each open by the writer while the test holds its lease breaks the lease, which the kernel
    // signals with SIGIO; the writer reopens the file in a tight loop, so that happens often.
    QProcess writer;
    writer.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do echo x >> \"$1\"; i=$((i+1)); done"),
                                        QStringLiteral("sh"), file});
    ASSERT_TRUE(writer.waitForStarted());
    QProcess tester;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VESMOR_IN_USE_HELPER"), file);
    tester.setProcessEnvironment(env);
    tester.start(QCoreApplication::applicationFilePath(), {});
    ASSERT_TRUE(tester.waitForFinished(20000));
    writer.kill();
    writer.waitForFinished();
    EXPECT_EQ(tester.exitStatus(), QProcess::NormalExit) << "ended by a signal";
    EXPECT_EQ(tester.exitCode(), 0);
    const QByteArray said = tester.readAllStandardOutput();
    EXPECT_TRUE(said.startsWith("tested ")) << said.constData();
    std::printf("%s", said.constData());
}

TEST_F(FileInUseTest, TheTestLeavesNoLeaseBehind)
{
    // A lease left in place would make the next writer's open wait for it to be broken.
    ASSERT_FALSE(FileInUse::isInUse(file));
    QFile writer(file);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite));
    EXPECT_TRUE(FileInUse::isInUse(file));  // our own second handle counts as well
    writer.close();
    EXPECT_FALSE(FileInUse::isInUse(file));
}

}  // namespace
