// Figures for the single-instance guard: the shared lock, one registration with its check, one
// "come forward" round trip, and (with the real program) how long a refused copy takes to end.
#include "instance/TJclAppInstances.h"
#include "platform/runtime/ProcessInfo.h"
#include "platform/runtime/ProcessLock.h"
#include "platform/runtime/SwitchChannel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

template <class F>
double microsecondsEach(int n, F&& f)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < n; ++i) f();
    return double(clock.nsecsElapsed()) / 1000.0 / n;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Milliseconds from starting a second copy of the real program until it has ended, median of n.
void refusedCopyFigures(const QString& binary)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("vesmor"));
    if (::link(QFile::encodeName(binary).constData(), QFile::encodeName(program).constData()) != 0 &&
        !QFile::copy(binary, program)) {
        std::printf("refused copy: could not place a copy of %s\n", qPrintable(binary));
        return;
    }
    QFile(program).setPermissions(QFile(binary).permissions());
    const QString key = TJclAppInstances::InstanceKey(program);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TEMP"), dir.path());
    env.insert(QStringLiteral("VESMOR_AUTO_ANSWER_BOXES"), QStringLiteral("1"));

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    const bool up = waitFor(
        [&] {
            return SwitchChannel::ask(key, TJclAppInstances::ForwardRequest(0, 0), 200) == QByteArray("elsewhere");
        },
        30000);
    if (!up) {
        std::printf("refused copy: the first copy did not come up\n");
        return;
    }
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) {
        QProcess second;
        second.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        second.start(program, {});
        second.waitForFinished(30000);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("refused copy, start to end:       %8.1f ms median, %.1f ms worst (%zu runs)\n", ms[ms.size() / 2],
                ms.back(), ms.size());
    first.terminate();
    first.waitForFinished(10000);
    TJclAppInstances::RemoveSharedObjects(key);
    QFile::remove(SwitchChannel::socketPath(key));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--idle") == 0) {
        ::pause();
        return 0;
    }
    QCoreApplication app(argc, argv);
    const QString key = QStringLiteral("JCLBENCH_") + QUuid::createUuid().toString(QUuid::Id128);
    const QString self = ProcessInfo::executablePath();
    {
        ProcessLock lock;
        lock.open(TJclAppInstances::LockName(key));
        std::printf("shared lock, lock + unlock:       %8.3f us\n", microsecondsEach(200000, [&] {
                        lock.lock();
                        lock.unlock();
                    }));

        TJclAppInstances registry(key, self, ProcessInfo::currentProcessId());
        TJclAppInstances viewer(key, self, 0);  // sees this process as another running copy
        // The last copy to leave removes the objects, and the next one makes them again.
        std::printf("register, prune, index, leave:    %8.3f us (as the last copy)\n", microsecondsEach(2000, [&] {
                        registry.Register();
                        viewer.PruneEndedProcesses();
                        registry.OwnIndex();
                        registry.Unregister();
                    }));
        // Another copy of this program keeps the objects.
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--idle")});
        other.waitForStarted();
        TJclAppInstances keeper(key, self, other.processId());
        keeper.Register();
        std::printf("register, prune, index, leave:    %8.3f us (beside another copy)\n", microsecondsEach(20000, [&] {
                        registry.Register();
                        viewer.PruneEndedProcesses();
                        registry.OwnIndex();
                        registry.Unregister();
                    }));
        other.kill();
        other.waitForFinished();
        std::printf("registry open (both objects):     %8.3f us\n", microsecondsEach(2000, [&] {
                        TJclAppInstances other(key, self, 1);
                    }));

        SwitchListener listener;
        listener.setHandler([](const QByteArray&) { return QByteArray("shown"); });
        listener.listen(key);
        constexpr int Trips = 500;
        QEventLoop loop;
        double each = 0;
        std::thread asker([&] {
            each = microsecondsEach(Trips, [&] { SwitchChannel::ask(key, "forward 1 2", 5000); });
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        asker.join();
        std::printf("come-forward round trip:          %8.1f us\n", each);
    }
    TJclAppInstances::RemoveSharedObjects(key);
    QFile::remove(SwitchChannel::socketPath(key));

    QString binary = argc > 1 ? QString::fromLocal8Bit(argv[1]) : qEnvironmentVariable("VESMOR_BINARY");
    if (binary.isEmpty()) binary = QFileInfo(self).absolutePath() + QStringLiteral("/../vesmor");
    if (QFileInfo(binary).isExecutable()) refusedCopyFigures(QFileInfo(binary).canonicalFilePath());
    else std::printf("refused copy: no program at %s\n", qPrintable(binary));
    return 0;
}
