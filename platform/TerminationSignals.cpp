#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace TerminationSignals {
namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    // write() is async-signal-safe; a full pipe means a close is already pending.
    [[maybe_unused]] ssize_t n = ::write(pipeFds[1], &c, 1);
}

}  // namespace

void install(std::function<void()> callback)
{
    if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [callback = std::move(callback)] {
        char buf[64];
        while (::read(pipeFds[0], buf, sizeof buf) > 0) {
        }
        callback();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

}  // namespace TerminationSignals
