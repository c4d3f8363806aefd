#include "actions/ExecuteCommand.h"

#include "actions/TRzLauncher.h"
#include "core/WatchWindow.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/files/FileInUse.h"
#include "platform/text/LocaleText.h"
#include "platform/programs/WindowsCommandLine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr int retestMs = 100;
constexpr int quickAnswerMs = 20;
constexpr int resultPollMs = 5;

// One in-use test, run beside the window: it may look through every process's open files.
// Most answers come at once and the window is not touched; a slow one keeps the window handling
// events meanwhile. Empty when the window began to close first (the test then finishes on its
// own and its answer is dropped).
std::optional<bool> testBesideTheWindow(WatchWindow& window, const QString& fileName)
{
    struct Test {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool inUse = false;
    };
    auto test = std::make_shared<Test>();
    std::thread([test, fileName] {
        const bool inUse = IsFileInUse(fileName);
        const std::lock_guard<std::mutex> lock(test->mutex);
        test->inUse = inUse;
        test->done = true;
        test->finished.notify_all();
    }).detach();
    auto answer = [&](std::chrono::milliseconds patience) -> std::optional<bool> {
        std::unique_lock<std::mutex> lock(test->mutex);
        if (!test->finished.wait_for(lock, patience, [&] { return test->done; })) return std::nullopt;
        return test->inUse;
    };
    if (const auto quick = answer(std::chrono::milliseconds(quickAnswerMs))) return quick;
    // The timer only wakes the event loop, so that the answer is seen soon after it comes.
    QTimer wake;
    wake.start(resultPollMs);
    for (;;) {
        window.processMessages();
        if (window.closing()) return std::nullopt;
        if (const auto done = answer(std::chrono::milliseconds(0))) return done;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (window.closing()) return std::nullopt;
    }
}

// Keeps events flowing until the file is free; false when the window began to close first.
bool waitUntilFree(WatchWindow& window, const QString& fileName)
{
    // The timer only wakes the event loop, so that the wait sleeps between tests.
    QTimer wake;
    wake.setInterval(retestMs);
    wake.start();
    for (;;) {
        const std::optional<bool> inUse = testBesideTheWindow(window, fileName);
        if (!inUse) return false;
        if (!*inUse) return true;
        const QDeadlineTimer nextTest(retestMs);
        do {
            window.processMessages();
            if (window.closing()) return false;
            if (nextTest.hasExpired()) break;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (window.closing()) return false;
        } while (!nextTest.hasExpired());
    }
}

}  // namespace

bool IsFileInUse(const QString& fileName) { return FileInUse::isInUse(fileName); }

void ExecuteCommand(WatchWindow& window, Twatcher watch, TRzLauncher& launcher, const QString& argument)
{
    if (!watch.RunProgram) return;
    if (!watch.UseArguments) {
        launcher.FileName = watch.ProgramToExecute;
        launcher.Parameters.clear();
        launcher.Execute();
    } else {
        // The bare entry escapes quotes and blanks in a name; the test must look at the file itself.
        if (watch.WaitForProcess && !waitUntilFree(window, WindowsCommandLine::unquotedName(argument))) return;
        launcher.FileName = watch.ProgramToExecute;
        launcher.Parameters = argument;
        launcher.Execute();
    }
    window.WriteToLiveLog(LiveLogColour::Blue, LocaleText::oneLine(DateTimeStamp::now() + QStringLiteral(": Watch ") +
                                                                   watch.Name + QStringLiteral(": execute: ") +
                                                                   watch.ProgramToExecute));
}
