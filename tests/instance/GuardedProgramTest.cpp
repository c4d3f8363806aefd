// Whole programs guarded against a second copy: the test program playing a guarded program (its
// "app" helper, built exactly like Vesmor's entry) and the real Vesmor binary.
#include "InstanceTestSupport.h"

#include "platform/runtime/ProcessLock.h"
#include "platform/runtime/SharedMemoryBlock.h"
#include "support/ProgramRun.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace instance_test;

namespace {

enum class Program { Helper, Vesmor };

std::string programName(const testing::TestParamInfo<Program>& info)
{
    return info.param == Program::Helper ? "Helper" : "Vesmor";
}

const QByteArray Warning = "box: warning: Vesmor is already running !";

class GuardedProgram : public testing::TestWithParam<Program> {
protected:
    void SetUp() override
    {
        if (GetParam() == Program::Vesmor && qEnvironmentVariableIsEmpty("VESMOR_BINARY"))
            GTEST_SKIP() << "VESMOR_BINARY is not set";
        copy = std::make_unique<ProgramCopy>(original());
    }

    QString original() const
    {
        return GetParam() == Program::Helper ? testExecutable() : qEnvironmentVariable("VESMOR_BINARY");
    }

    // Starts the program at `path` with a temporary folder of its own (a fresh one unless given).
    std::unique_ptr<Child> start(const QString& path, const QStringList& args = {}, QString temp = {})
    {
        if (temp.isEmpty()) {
            temps.push_back(std::make_unique<QTemporaryDir>());
            temp = temps.back()->path();
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (GetParam() == Program::Helper) {
            env = helperEnvironment("app");
            env.insert(QStringLiteral("VESMOR_INSTANCE_HIDDEN"), QStringLiteral("1"));
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TEMP"), temp);
        env.remove(QStringLiteral("TMP"));
        return std::make_unique<Child>(path, args, env);
    }
    std::unique_ptr<Child> start() { return start(copy->path()); }

    // Running: the only one in its program's registry, and answering on its channel.
    bool waitRunning(Child& child, const ProgramCopy& program)
    {
        auto registry = program.registry();
        return waitFor([&] {
            if (!child.running() || registry->ProcessIds() != QList<qint64>{child.pid()}) return false;
            return SwitchChannel::ask(program.key(), TJclAppInstances::ForwardRequest(0, 0), 1000) ==
                   QByteArray("elsewhere");
        }, 30000);
    }
    bool waitRunning(Child& child) { return waitRunning(child, *copy); }

    // Ends a copy the way a user would: the helper when its input closes, Vesmor on SIGTERM.
    void endNormally(Child& child)
    {
        if (GetParam() == Program::Helper) child.closeInput();
        else child.process().terminate();
        ASSERT_TRUE(child.waitForExit());
        EXPECT_EQ(child.exitCode(), 0) << child.err().constData();
    }

    void expectRefused(Child& refused, Child& first, const QString& refusedTemp)
    {
        ASSERT_TRUE(refused.waitForExit()) << refused.err().constData();
        EXPECT_EQ(refused.exitCode(), 0) << refused.err().constData();
        EXPECT_TRUE(refused.err().contains(Warning)) << refused.err().constData();
        EXPECT_EQ(refused.err().count("box: "), 1) << refused.err().constData();
        const QByteArray forward = "instance: brought forward for process " + QByteArray::number(refused.pid());
        EXPECT_TRUE(first.waitForErr(forward)) << first.err().constData();
        const QByteArray line = first.err().mid(first.err().indexOf(forward)).split('\n').front();
        EXPECT_TRUE(line.endsWith("-> shown")) << line.constData();
        EXPECT_FALSE(QFileInfo::exists(refusedTemp + QStringLiteral("/VSM25")));
        EXPECT_TRUE(first.running());
        EXPECT_EQ(copy->registry()->ProcessIds(), QList<qint64>{first.pid()});
    }

    std::unique_ptr<ProgramCopy> copy;
    std::vector<std::unique_ptr<QTemporaryDir>> temps;
};

TEST_P(GuardedProgram, SecondAndThirdCopiesAreRefusedAndBringTheFirstForward)
{
    auto first = start();
    ASSERT_TRUE(waitRunning(*first)) << first->err().constData();
    const QStringList argsOfLaterCopies[] = {{}, {QStringLiteral("-all")}};
    for (const QStringList& args : argsOfLaterCopies) {
        QTemporaryDir temp;  // holds no settings folder: the refused copy must not make one
        auto later = start(copy->path(), args, temp.path());
        expectRefused(*later, *first, temp.path());
    }
    if (GetParam() == Program::Helper) {  // it started hidden, and came forward at the first request
        EXPECT_TRUE(first->err().contains("hidden -> shown")) << first->err().constData();
    }
}

TEST_P(GuardedProgram, ACopyAtAnotherPathRunsAlongside)
{
    auto first = start();
    ASSERT_TRUE(waitRunning(*first));
    ProgramCopy elsewhere(original());
    auto second = start(elsewhere.path());
    ASSERT_TRUE(waitRunning(*second, elsewhere)) << second->err().constData();
    EXPECT_TRUE(first->running());
    EXPECT_EQ(copy->registry()->ProcessIds(), QList<qint64>{first->pid()});
    EXPECT_FALSE(second->err().contains("box: ")) << second->err().constData();
}

TEST_P(GuardedProgram, TheNextStartRunsOnceTheFirstHasEnded)
{
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed" : "ended normally");
        auto first = start();
        ASSERT_TRUE(waitRunning(*first));
        if (killed) {
            first->kill9();
            EXPECT_EQ(copy->registry()->ProcessIds(), QList<qint64>{first->pid()});  // left behind
        } else {
            endNormally(*first);
            // The last copy leaves nothing behind.
            EXPECT_FALSE(SharedMemoryBlock::exists(TJclAppInstances::RegistryName(copy->key())));
            EXPECT_FALSE(SharedMemoryBlock::exists(ProcessLock::blockName(TJclAppInstances::LockName(copy->key()))));
            EXPECT_FALSE(QFileInfo::exists(SwitchChannel::socketPath(copy->key())));
        }
        auto next = start();
        ASSERT_TRUE(waitRunning(*next)) << next->err().constData();
        EXPECT_FALSE(next->err().contains("box: ")) << next->err().constData();
        endNormally(*next);
    }
}

TEST_P(GuardedProgram, OfTwoCopiesStartedAtOnceExactlyOneRuns)
{
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        auto a = start();
        auto b = start();
        ASSERT_TRUE(waitFor([&] { return !a->running() || !b->running(); })) << a->err().constData();
        Child& refused = a->running() ? *b : *a;
        Child& runner = a->running() ? *a : *b;
        ASSERT_TRUE(waitRunning(runner)) << runner.err().constData();
        EXPECT_EQ(refused.exitCode(), 0) << refused.err().constData();
        EXPECT_TRUE(refused.err().contains(Warning)) << refused.err().constData();
        EXPECT_FALSE(runner.err().contains("box: ")) << runner.err().constData();
        // Half of the rounds leave a killed copy behind for the next round to find.
        if (round % 2) runner.kill9();
        else endNormally(runner);
    }
}

TEST_P(GuardedProgram, SaysWhichObjectFailedAndDoesNotStart)
{
    const struct {
        QString block;
        const char* object;
    } cases[] = {
        {TJclAppInstances::RegistryName(copy->key()), "box: error: Failed to create FileMapping "},
        {QStringLiteral("Optex_MMF_") + TJclAppInstances::LockName(copy->key()), "box: error: Failed to create FileMapping "},
    };
    for (const auto& c : cases) {
        TJclAppInstances::RemoveSharedObjects(copy->key());
        const QString blocker = SharedMemoryBlock::systemName(c.block);
        ASSERT_TRUE(QDir().mkdir(blocker)) << qPrintable(blocker);
        QTemporaryDir temp;
        auto child = start(copy->path(), {}, temp.path());
        EXPECT_TRUE(child->waitForExit());
        QDir().rmdir(blocker);
        EXPECT_EQ(child->exitCode(), 1);
        EXPECT_TRUE(child->err().contains(c.object)) << child->err().constData();
        EXPECT_TRUE(child->err().contains(SharedMemoryBlock::systemName(c.block).toUtf8())) << child->err().constData();
        EXPECT_FALSE(QFileInfo::exists(temp.path() + QStringLiteral("/VSM25")));
    }
}

TEST_P(GuardedProgram, AFirstCopyHiddenInTheTrayComesOutOfIt)
{
    // "-m" hides Vesmor to the tray a second after start; the helper starts hidden anyway.
    auto first = start(copy->path(), {QStringLiteral("-m")});
    ASSERT_TRUE(waitRunning(*first));
    bool cameOut = false;
    const QDeadlineTimer deadline(20000);
    while (!cameOut && !deadline.hasExpired()) {
        QTemporaryDir temp;
        auto later = start(copy->path(), {}, temp.path());
        expectRefused(*later, *first, temp.path());
        const QByteArray forward = "instance: brought forward for process " + QByteArray::number(later->pid());
        const QByteArray line = first->err().mid(first->err().indexOf(forward)).split('\n').front();
        cameOut = line.endsWith("hidden -> shown");
    }
    EXPECT_TRUE(cameOut) << first->err().constData();
}

INSTANTIATE_TEST_SUITE_P(Programs, GuardedProgram, testing::Values(Program::Helper, Program::Vesmor), programName);

}  // namespace

namespace {

TEST(GuardedVesmor, ARuntimeFolderWithNoRoomLeftIsAnErrorNotACrash)
{
    if (ProgramRun::binaryPath().isEmpty()) GTEST_SKIP() << "VESMOR_BINARY is not set";
    // A home of its own on a full file system of 64 KiB, where the fallback folder goes.
    QTemporaryDir home, temp;
    const QStringList fullHome{
        QStringLiteral("unshare"), QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c"),
        QStringLiteral("mount -t tmpfs -o size=64k tmpfs \"$1\" || exit %1; head -c 1M /dev/zero > \"$1/fill\" 2>/dev/null; "
                       "unset XDG_RUNTIME_DIR XDG_CACHE_HOME; HOME=$1; export HOME; shift; exec \"$@\"")
            .arg(ProgramRun::NoNamespaceExit),
        QStringLiteral("sh"), home.path()};
    ProgramRun run(temp.path(), {}, QString(), fullHome);
    const int code = run.waitForExit(20000);
    if (code == ProgramRun::NoNamespaceExit) GTEST_SKIP() << "no user and mount namespaces here";
    EXPECT_EQ(code, 1) << run.lines().join(u'\n').toStdString();
    EXPECT_EQ(run.lines().filter(QStringLiteral("box: error: Failed to create FileMapping ")).size(), 1)
        << run.lines().join(u'\n').toStdString();
    EXPECT_EQ(run.lines().filter(QStringLiteral("No space left on device")).size(), 1);
    EXPECT_FALSE(QFileInfo::exists(temp.path() + QStringLiteral("/VSM25")));
}

}  // namespace
