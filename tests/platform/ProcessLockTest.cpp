#include "platform/runtime/ProcessLock.h"
#include "platform/runtime/SharedMemoryBlock.h"

#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include <sched.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ProcessLockTest : ::testing::Test {
    QString name = QStringLiteral("VesmorTestLock_") + QUuid::createUuid().toString(QUuid::Id128);
    ~ProcessLockTest() override { ProcessLock::remove(name); }
};

// Runs `body` in a forked child whose exit code is the body's result.
pid_t forkChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

int waitExitCode(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(ProcessLockTest, SerialisesProcesses)
{
    ProcessLock lock;
    ASSERT_TRUE(lock.open(name)) << qPrintable(lock.errorString());
    SharedMemoryBlock counter;
    const QString counterName = name + QStringLiteral("_counter");
    ASSERT_TRUE(counter.open(counterName, sizeof(std::uint64_t)));
    auto* value = static_cast<volatile std::uint64_t*>(counter.data());

    constexpr int Rounds = 20000;
    auto work = [&] {
        for (int i = 0; i < Rounds; ++i) {
            if (!lock.lock()) return 1;
            const std::uint64_t seen = *value;
            if (i % 64 == 0) ::sched_yield();  // widen the window a missing lock would show in
            *value = seen + 1;
            lock.unlock();
        }
        return 0;
    };
    const pid_t a = forkChild(work);
    const pid_t b = forkChild(work);
    EXPECT_EQ(work(), 0);
    EXPECT_EQ(waitExitCode(a), 0);
    EXPECT_EQ(waitExitCode(b), 0);
    EXPECT_EQ(*value, 3u * Rounds);
    SharedMemoryBlock::remove(counterName);
}

TEST_F(ProcessLockTest, IsRecursiveForItsHolderAndClosedToOthers)
{
    ProcessLock lock;
    ASSERT_TRUE(lock.open(name));
    ASSERT_TRUE(lock.lock());
    ASSERT_TRUE(lock.lock());
    ASSERT_TRUE(lock.tryLock());
    auto otherTries = [&] {
        return waitExitCode(forkChild([&] {
            if (!lock.tryLock()) return 0;
            lock.unlock();
            return 1;
        }));
    };
    EXPECT_EQ(otherTries(), 0);
    lock.unlock();
    lock.unlock();
    EXPECT_EQ(otherTries(), 0);  // still held once
    lock.unlock();
    EXPECT_EQ(otherTries(), 1);

    // A second opener in this process shares the same lock.
    ProcessLock again;
    ASSERT_TRUE(again.open(name));
    ASSERT_TRUE(again.lock());
    EXPECT_EQ(otherTries(), 0);
    again.unlock();
}

TEST_F(ProcessLockTest, AHolderThatDiesBlocksNoOne)
{
    ProcessLock lock;
    ASSERT_TRUE(lock.open(name));
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed while holding" : "ended while holding");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t holder = forkChild([&] {
            if (!lock.lock() || !lock.lock()) return 1;  // held twice, released never
            const char c = 'x';
            if (::write(ready[1], &c, 1) != 1) return 1;
            if (killed) ::pause();
            return 0;
        });
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        if (killed) ::kill(holder, SIGKILL);
        EXPECT_EQ(waitExitCode(holder), killed ? 128 + SIGKILL : 0);

        ASSERT_TRUE(lock.lock());
        EXPECT_TRUE(lock.tookOverFromDeadHolder());
        lock.unlock();
        ASSERT_TRUE(lock.lock());
        EXPECT_FALSE(lock.tookOverFromDeadHolder());
        lock.unlock();
    }
}

TEST_F(ProcessLockTest, ASetupLeftUnfinishedByADeadProcessIsRedone)
{
    const pid_t dead = forkChild([] { return 0; });
    ASSERT_EQ(waitExitCode(dead), 0);
    {
        SharedMemoryBlock block;
        ASSERT_TRUE(block.open(ProcessLock::blockName(name), 64));
        *static_cast<std::uint64_t*>(block.data()) = (std::uint64_t(dead) << 2) | 1;
    }
    ProcessLock lock;
    ASSERT_TRUE(lock.open(name)) << qPrintable(lock.errorString());
    ASSERT_TRUE(lock.lock());
    lock.unlock();
}

TEST_F(ProcessLockTest, AWaiterWhoseLockLostItsNameTakesTheLockNowUnderThatName)
{
    // The last user removes the name while another process waits; a third then opens the name.
    // The waiter and the third must share one lock, or both would think they hold it.
    ProcessLock lock;
    ASSERT_TRUE(lock.open(name));
    ASSERT_TRUE(lock.lock());
    int opened[2], taken[2], release[2];
    ASSERT_EQ(::pipe(opened), 0);
    ASSERT_EQ(::pipe(taken), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t waiter = forkChild([&] {
        ProcessLock mine;
        char c = 'x';
        if (!mine.open(name) || ::write(opened[1], &c, 1) != 1) return 1;
        if (!mine.lock() || ::write(taken[1], &c, 1) != 1) return 2;
        if (::read(release[0], &c, 1) != 1) return 3;
        mine.unlock();
        return 0;
    });
    char c = 0;
    ASSERT_EQ(::read(opened[0], &c, 1), 1);
    lock.removeName();
    EXPECT_FALSE(SharedMemoryBlock::exists(ProcessLock::blockName(name)));
    lock.unlock();
    ASSERT_EQ(::read(taken[0], &c, 1), 1);

    ProcessLock third;
    ASSERT_TRUE(third.open(name));
    EXPECT_FALSE(third.tryLock());
    ASSERT_EQ(::write(release[1], "x", 1), 1);
    EXPECT_EQ(waitExitCode(waiter), 0);
    EXPECT_TRUE(third.tryLock());
    third.unlock();
    for (int fd : {opened[0], opened[1], taken[0], taken[1], release[0], release[1]}) ::close(fd);
}

TEST_F(ProcessLockTest, ReportsWhatFailed)
{
    const QString file = SharedMemoryBlock::systemName(ProcessLock::blockName(name));
    ASSERT_EQ(::mkdir(QFile::encodeName(file).constData(), 0700), 0);
    ProcessLock lock;
    EXPECT_FALSE(lock.open(name));
    EXPECT_EQ(lock.failure(), ProcessLock::Failure::Object);
    EXPECT_FALSE(lock.errorString().isEmpty());
    EXPECT_FALSE(lock.lock());
    ::rmdir(QFile::encodeName(file).constData());
}

}  // namespace
