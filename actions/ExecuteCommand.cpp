#include "actions/ExecuteCommand.h"

#include "actions/TRzLauncher.h"
#include "core/WatchWindow.h"
#include "platform/DateTimeStamp.h"
#include "platform/FileInUse.h"
#include "platform/LocaleText.h"
#include "platform/WindowsCommandLine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

constexpr int retestMs = 100;

// Keeps events flowing until the file is free; false when the window began to close first.
bool waitUntilFree(WatchWindow& window, const QString& fileName)
{
    // The timer only wakes the event loop, so that the wait sleeps between tests.
    QTimer wake;
    wake.setInterval(retestMs);
    wake.start();
    while (IsFileInUse(fileName)) {
        const QDeadlineTimer nextTest(retestMs);
        do {
            window.processMessages();
            if (window.closing()) return false;
            if (nextTest.hasExpired()) break;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (window.closing()) return false;
        } while (!nextTest.hasExpired());
    }
    return true;
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
        // The bare entry escapes quotes in a name; the test must look at the file itself.
        if (watch.WaitForProcess && !waitUntilFree(window, WindowsCommandLine::unquotedName(argument))) return;
        launcher.FileName = watch.ProgramToExecute;
        launcher.Parameters = argument;
        launcher.Execute();
    }
    window.WriteToLiveLog(LiveLogColour::Blue, LocaleText::oneLine(DateTimeStamp::now() + QStringLiteral(": Watch ") +
                                                                   watch.Name + QStringLiteral(": execute: ") +
                                                                   watch.ProgramToExecute));
}
