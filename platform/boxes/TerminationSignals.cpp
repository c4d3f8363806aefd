#include "platform/boxes/TerminationSignals.h"

#include "platform/boxes/ModalBoxes.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <unistd.h>

namespace TerminationSignals {
namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

int pipeFds[2] = {-1, -1};
sem_t firstSignal;
std::atomic<bool> signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch lock-free atomics");

void onSignal(int)
{
    // The interrupted code may be about to look at errno.
    const int saved = errno;
    if (!signalled.exchange(true)) ::sem_post(&firstSignal);
    const char c = 1;
    // A full pipe means a close is already pending.
    [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &c, 1);
    errno = saved;
}

// Ends the program when the orderly close is held up: a wait that does not look at the window,
// a lock another copy keeps, a system call that does not return.
void watchdog()
{
    sigset_t mask;
    sigemptyset(&mask);
    for (int s : Signals) sigaddset(&mask, s);
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    while (::sem_wait(&firstSignal) != 0) {
    }
    timespec grace{GraceMs / 1000, (GraceMs % 1000) * 1000000L};
    while (::nanosleep(&grace, &grace) != 0) {
    }
    std::fprintf(stderr, "vesmor: still busy %d ms after the signal to end; ending at once\n", GraceMs);
    std::fflush(stderr);
    ::_exit(0);
}

}  // namespace

void install(std::function<void()> callback)
{
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    ::sem_init(&firstSignal, 0, 0);
    std::thread(watchdog).detach();
    auto* notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [callback = std::move(callback)] {
        char buf[64];
        while (::read(pipeFds[0], buf, sizeof buf) > 0) {
        }
        // Open boxes (a start-up error, a pop-up) would hold their loops, and the program, open.
        ModalBoxes::dismissAll();
        callback();
        // A main loop that only starts now (the signal came while a start-up box was open)
        // ends as soon as it runs.
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : Signals) ::sigaction(s, &sa, nullptr);
}

}  // namespace TerminationSignals
