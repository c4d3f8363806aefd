// Termination signals reach a program that is showing a box, stuck in a system call, or whose
// handler is interrupted. The test program doubles as that program: with
// VESMOR_SIGNALS_HELPER set it becomes one of these before any test runs.
//   box    a real box open (minimal platform), says "box open" from inside the box's loop
//   stuck  says "stuck" and waits in a system call, never returning to an event loop
//   errno  fills the handler's pipe, then checks that a signal leaves errno as it was
#include "platform/boxes/ModalBoxes.h"
#include "platform/boxes/TerminationSignals.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int runHelper(const QByteArray& mode)
{
    static int argc = 1;
    static char name[] = "signals-helper";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    TerminationSignals::install([] { say("closing"); });
    if (mode == "box") {
        QTimer::singleShot(0, [] { say("box open"); });
        ModalBoxes::error(QStringLiteral("A box nobody answers"));
        say("box closed");
        return QApplication::exec();
    }
    if (mode == "stuck") {
        say("stuck");
        for (;;) ::pause();
    }
    if (mode == "errno") {
        // Once the handler's pipe is full, its write fails and would leave EAGAIN behind. The
        // pipe is made as small as it goes, so that it fills well within the grace.
        int capacity = 0;
        for (int fd = 3; fd < 1024; ++fd) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode) && (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY)
                capacity = qMax(capacity, ::fcntl(fd, F_SETPIPE_SZ, 4096));
        }
        for (int i = 0; i <= capacity; ++i) std::raise(SIGHUP);
        errno = EDOM;
        std::raise(SIGHUP);
        say(errno == EDOM ? "errno kept" : "errno lost");
        return 0;
    }
    return 2;
}

const bool helperRan = [] {
    const QByteArray mode = qgetenv("VESMOR_SIGNALS_HELPER");
    if (mode.isEmpty()) return false;
    std::exit(runHelper(mode));
}();

struct Helper {
    QProcess process;
    QByteArray out;

    Helper(const char* mode, const char* platform)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESMOR_SIGNALS_HELPER"), QString::fromLatin1(mode));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(platform));
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationFilePath(), {});
    }
    ~Helper()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    bool waitForOut(const QByteArray& text)
    {
        const QDeadlineTimer deadline(20000);
        while (!out.contains(text)) {
            if (deadline.hasExpired() || !process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                return false;
            out += process.readAllStandardOutput();
        }
        return true;
    }
    // Sends the signal and waits for the end; the milliseconds it took, -1 when it did not end.
    qint64 signalAndWait(int signal)
    {
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(process.processId()), signal);
        if (!process.waitForFinished(10000)) return -1;
        out += process.readAllStandardOutput();
        return clock.elapsed();
    }
};

TEST(TerminationSignals, EachSignalClosesAnOpenBoxAndEndsTheProgramInOrder)
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        Helper helper("box", "minimal");
        ASSERT_TRUE(helper.waitForOut("box open")) << helper.process.readAllStandardError().constData();
        const qint64 ms = helper.signalAndWait(signal);
        ASSERT_GE(ms, 0);
        EXPECT_EQ(helper.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(helper.process.exitCode(), 0);
        EXPECT_TRUE(helper.out.contains("closing\nbox closed\n")) << helper.out.constData();
        // In order, not by the watchdog.
        EXPECT_FALSE(helper.process.readAllStandardError().contains("still busy"));
        std::printf("%s with a box open: ended after %lld ms\n", strsignal(signal), static_cast<long long>(ms));
    }
}

TEST(TerminationSignals, AProgramHeldUpInASystemCallStillEndsWithinTheGrace)
{
    Helper helper("stuck", "offscreen");
    ASSERT_TRUE(helper.waitForOut("stuck"));
    const qint64 ms = helper.signalAndWait(SIGTERM);
    ASSERT_GE(ms, 0) << "still running";
    EXPECT_EQ(helper.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.process.exitCode(), 0);
    EXPECT_TRUE(helper.process.readAllStandardError().contains("still busy"));
    EXPECT_GE(ms, TerminationSignals::GraceMs - 50);
    std::printf("held up in a system call: ended after %lld ms\n", static_cast<long long>(ms));
}

TEST(TerminationSignals, TheHandlerLeavesErrnoAsItFoundIt)
{
    Helper helper("errno", "offscreen");
    ASSERT_TRUE(helper.process.waitForFinished(20000));
    helper.out += helper.process.readAllStandardOutput();
    EXPECT_TRUE(helper.out.contains("errno kept")) << helper.out.constData();
}

}  // namespace
