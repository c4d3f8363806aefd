// Figures for starting programs and the other per-event platform steps of a command:
// detached starts per second, the in-use test, and one log-file line.
#include "actions/EventLog.h"
#include "platform/files/FileInUse.h"
#include "platform/programs/ProgramStarter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

template <class F>
double microsecondsEach(int n, F&& f)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < n; ++i) f();
    return double(clock.nsecsElapsed()) / 1000.0 / n;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("data.txt"));
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("x");
    }

    const double start = microsecondsEach(500, [] {
        ProgramStarter::start(QStringLiteral("Open"), QStringLiteral("/bin/true"), {}, {});
    });
    std::printf("detached start of /bin/true:      %8.1f us each (%.0f per second)\n", start, 1e6 / start);
    {
        // A start must not cost more in a program that holds much memory (a long live log).
        QByteArray ballast(256 * 1024 * 1024, 'x');
        const double big = microsecondsEach(200, [] {
            ProgramStarter::start(QStringLiteral("Open"), QStringLiteral("/bin/true"), {}, {});
        });
        std::printf("  the same with 256 MB in use:    %8.1f us each\n", big);
    }

    const double inUse = microsecondsEach(10000, [&] { FileInUse::isInUse(file); });
    std::printf("in-use test of a free file:       %8.1f us each\n", inUse);
    const double scan = microsecondsEach(200, [&] { FileInUse::openElsewhere(file); });
    std::printf("look through /proc for a holder:  %8.1f us each\n", scan);

    Twatcher w;
    w.WriteToLogFile = true;
    w.LogFile = dir.filePath(QStringLiteral("log.txt"));
    const QString line = QStringLiteral("01/02/25 10:00:00: Docs: File create event, file name: /home/u/Docs/a.txt");
    const double log = microsecondsEach(10000, [&] { WriteToLog(w, line); });
    std::printf("log-file line (file open for the turn): %5.1f us each\n", log);
    return 0;
}
