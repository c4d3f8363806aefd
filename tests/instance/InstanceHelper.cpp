// The test program doubles as the processes the instance tests start: with
// VESMOR_INSTANCE_HELPER set it becomes one of them before any test runs.
//   register  registers itself under VESMOR_INSTANCE_KEY, says "registered", waits for stdin to close
//   idle      says "idle" and waits for stdin to close
//   app       a program guarded exactly like Vesmor: installAutoAnswerFromEnvironment, guardStart,
//             a main window (hidden with VESMOR_INSTANCE_HIDDEN=1); ends when stdin closes
#include "instance/InstanceGuard.h"
#include "instance/TJclAppInstances.h"
#include "platform/boxes/AutoAnswerBoxes.h"
#include "platform/runtime/ProcessInfo.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

void waitForStdinToClose()
{
    char buf[256];
    while (::read(0, buf, sizeof buf) > 0) {
    }
}

int runApp()
{
    static int argc = 1;
    static char name[] = "vesmor-guarded";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Vesmor 2.5"));
    installAutoAnswerFromEnvironment();
    auto jvpnstncs1 = guardStart();
    if (!jvpnstncs1) return 1;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Vesmor 2.5"));
    jvpnstncs1->setMainWindow(&window);
    if (qgetenv("VESMOR_INSTANCE_HIDDEN") != "1") window.show();
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[256];
        if (::read(0, buf, sizeof buf) <= 0) app.quit();
    });
    std::printf("running %lld\n", ProcessInfo::currentProcessId());
    std::fflush(stdout);
    return app.exec();
}

int runHelper(const QByteArray& mode)
{
    if (mode == "register") {
        TJclAppInstances registry(qEnvironmentVariable("VESMOR_INSTANCE_KEY"), ProcessInfo::executablePath(),
                                  ProcessInfo::currentProcessId());
        if (registry.Register()) std::printf("registered %lld\n", ProcessInfo::currentProcessId());
        else std::printf("full\n");
        std::fflush(stdout);
        waitForStdinToClose();
        return 0;
    }
    if (mode == "idle") {
        std::printf("idle\n");
        std::fflush(stdout);
        waitForStdinToClose();
        return 0;
    }
    if (mode == "app") return runApp();
    std::fprintf(stderr, "unknown helper mode %s\n", mode.constData());
    return 2;
}

const bool helperRan = [] {
    const QByteArray mode = qgetenv("VESMOR_INSTANCE_HELPER");
    if (mode.isEmpty()) return false;
    std::exit(runHelper(mode));
}();

}  // namespace
