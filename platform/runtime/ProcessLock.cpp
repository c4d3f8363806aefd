#include "platform/runtime/ProcessLock.h"

#include <QThread>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

// The setup word tells openers whether the mutex is ready: 0 fresh (zeros of a new block),
// (pid << 2) | Initialising while that process sets it up, Ready afterwards.
constexpr std::uint64_t Initialising = 1;
constexpr std::uint64_t Ready = 2;
constexpr auto SetupWait = std::chrono::seconds(5);

struct Shared {
    std::uint64_t setup;
    pthread_mutex_t mutex;
};

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

bool processGone(std::uint64_t pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

ProcessLock::~ProcessLock() { close(); }

QString ProcessLock::blockName(const QString& name) { return QStringLiteral("Optex_MMF_") + name; }

bool ProcessLock::remove(const QString& name) { return SharedMemoryBlock::remove(blockName(name)); }

bool ProcessLock::open(const QString& name)
{
    close();
    name_ = name;
    failure_ = Failure::None;
    error_.clear();
    if (!block_.open(blockName(name), sizeof(Shared))) {
        failure_ = block_.failure() == SharedMemoryBlock::Failure::View ? Failure::View : Failure::Object;
        error_ = block_.errorString();
        return false;
    }
    shared_ = block_.data();
    if (!setUp()) {
        failure_ = Failure::Lock;
        shared_ = nullptr;
        block_.close();
        return false;
    }
    return true;
}

void ProcessLock::close()
{
    shared_ = nullptr;
    depth_ = 0;
    block_.close();
}

bool ProcessLock::reopen()
{
    const QString name = name_;
    return open(name);
}

bool ProcessLock::setUp()
{
    auto* shared = static_cast<Shared*>(shared_);
    std::atomic_ref<std::uint64_t> setup(shared->setup);
    const std::uint64_t mine = (static_cast<std::uint64_t>(::getpid()) << 2) | Initialising;
    const auto deadline = std::chrono::steady_clock::now() + SetupWait;
    for (;;) {
        std::uint64_t seen = setup.load(std::memory_order_acquire);
        if (seen == Ready) return true;
        // Fresh, or the process that began the setup died before finishing it: take it over.
        const bool claimable = seen == 0 || ((seen & 3) == Initialising && processGone(seen >> 2));
        if (claimable && setup.compare_exchange_strong(seen, mine, std::memory_order_acq_rel)) {
            pthread_mutexattr_t attr;
            int rc = pthread_mutexattr_init(&attr);
            if (rc == 0) rc = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
            if (rc == 0) rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
            if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
            if (rc == 0) rc = pthread_mutex_init(&shared->mutex, &attr);
            pthread_mutexattr_destroy(&attr);
            if (rc != 0) {
                setup.store(0, std::memory_order_release);
                error_ = systemError(rc);
                return false;
            }
            setup.store(Ready, std::memory_order_release);
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = QStringLiteral("another process is still setting it up");
            return false;
        }
        QThread::usleep(500);
    }
}

bool ProcessLock::finishLocking(int result)
{
    auto* shared = static_cast<Shared*>(shared_);
    if (result == EOWNERDEAD) {
        // The holder died inside its section; the data it guards is checked by its users.
        if (pthread_mutex_consistent(&shared->mutex) != 0) {
            pthread_mutex_unlock(&shared->mutex);
            return false;
        }
        tookOver_ = true;
        return true;
    }
    if (result != 0) return false;
    tookOver_ = false;
    return true;
}

bool ProcessLock::lock()
{
    for (;;) {
        if (!shared_ || !finishLocking(pthread_mutex_lock(&static_cast<Shared*>(shared_)->mutex))) return false;
        if (depth_++ > 0 || !block_.removedMeanwhile()) return true;
        // The last holder removed this lock's name while we waited: the lock lives on under a
        // new block of that name.
        unlock();
        if (!reopen()) return false;
    }
}

bool ProcessLock::tryLock()
{
    for (;;) {
        if (!shared_ || !finishLocking(pthread_mutex_trylock(&static_cast<Shared*>(shared_)->mutex))) return false;
        if (depth_++ > 0 || !block_.removedMeanwhile()) return true;
        unlock();
        if (!reopen()) return false;
    }
}

void ProcessLock::unlock()
{
    if (!shared_) return;
    if (depth_ > 0) --depth_;
    pthread_mutex_unlock(&static_cast<Shared*>(shared_)->mutex);
}

void ProcessLock::removeName()
{
    if (shared_ && depth_ > 0) block_.removeName();
}
