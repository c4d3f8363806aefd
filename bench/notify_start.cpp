// Starting watches on a big tree, and recovering from an overflow of the kernel's queue:
//  - the window's largest pause while a watch on 100,000 folders starts (its folders walked and
//    watched off the window's thread), and how long the start takes;
//  - four watches on that tree, started one after the other as the auto-start does, against
//    one watch's time;
//  - the time and memory to recover from an overflow of 50,000 creations (every one of them
//    reported once, by comparing with what the watch knew);
//  - the memory per watched file of what that comparison keeps.
//
// The folders live in VESMOR_BENCH_DIR, else /dev/shm (memory-backed), else the temporary folder.
#include "BenchFolders.h"
#include "notify/TStShellNotification.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/shell/ShellNamespace.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 statusKib(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Bytes of the heap in use.
qint64 heapInUse() { return qint64(mallinfo2().uordblks); }

// The peak of resident memory counts again from now.
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

// Runs the event loop until `done` holds; false after `ms`.
bool spin(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.hasExpired(ms)) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The largest gap between two ticks of a 1 ms timer, as the window would feel it.
class PauseProbe {
public:
    PauseProbe()
    {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            if (last_) worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    double worstMs() const { return double(worst_) / 1e6; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

struct Start {
    double seconds = 0;
    double worstPauseMs = 0;
    bool watching = false;
};

// Starts watches on `folders` one after the other, each once the one before is watched, as the
// auto-start does; they are stopped when `watches` goes.
Start startWatches(const QStringList& folders, std::vector<std::unique_ptr<TStShellNotification>>& watches)
{
    Start s;
    PauseProbe probe;
    QElapsedTimer t;
    t.start();
    s.watching = true;
    for (const QString& folder : folders) {
        auto n = std::make_unique<TStShellNotification>();
        n->SetWatchSubFolders(true);
        n->SetWatchFolder(folder);
        n->SetNotifyEvents({neFileCreate, neFileDelete, neFolderCreate, neFolderDelete});
        n->SetActive(true);
        s.watching = n->WaitUntilWatching() && s.watching;
        watches.push_back(std::move(n));
    }
    s.seconds = double(t.nsecsElapsed()) / 1e9;
    s.worstPauseMs = probe.worstMs();
    return s;
}

// Waits until the service has let every watch of an earlier measure go.
void settle()
{
    spin([] { return ChangeNotifyService::instance().figures().watchedFolders == 0; }, 60000);
}

class Counter : public ShellNoticeWindow {
public:
    void shellNotice(const ItemIdList* first, const ItemIdList*, quint32 mask) override
    {
        if (mask == SHCNE_CREATE && first) ++created[first->lastText()];
        if (mask == SHCNE_UPDATEDIR) ++folderChanges;
    }
    void shellNoticeError(const QString&) override {}
    void shellNoticeWatching(const QString&) override { watching = true; }
    QHash<QString, int> created;
    int folderChanges = 0;
    bool watching = false;
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString base = benchBase();
    ChangeNotifyService& service = ChangeNotifyService::instance();
    std::printf("notify_start: folders in %s\n", qPrintable(base));

    // --- starting watches on a tree of 100,000 folders, each holding one file ---
    QTemporaryDir treeDir(base + QStringLiteral("/vesmor-start-XXXXXX"));
    const QString tree = treeDir.path();
    const int folders = makeTree(tree, 100, 999, 1) + 1;
    {
        std::vector<std::unique_ptr<TStShellNotification>> warm;
        startWatches({tree}, warm);  // the file system's caches warm, as for a second start
    }
    settle();

    const qint64 before = heapInUse();
    std::vector<std::unique_ptr<TStShellNotification>> one;
    const Start single = startWatches({tree}, one);
    const qint64 afterOne = heapInUse();
    const ChangeBackend::Figures figures = service.figures();
    one.clear();
    settle();
    std::vector<std::unique_ptr<TStShellNotification>> four;
    const Start quad = startWatches({tree, tree, tree + QStringLiteral("/t7"), tree}, four);
    four.clear();
    settle();

    std::printf("%-58s %12d\n", "folders in the tree (one file each)", folders);
    std::printf("%-58s %12.2f%s\n", "start of one watch, until every folder is watched (s)", single.seconds,
                single.watching ? "" : "  NOT WATCHING");
    std::printf("%-58s %12.1f   (aim: under 50)\n", "  window's largest pause meanwhile (ms)", single.worstPauseMs);
    std::printf("%-58s %12.2f%s\n", "start of four watches on that tree, one after another (s)", quad.seconds,
                quad.watching ? "" : "  NOT WATCHING");
    std::printf("%-58s %12.2f   (aim: at most 1.3)\n", "  four watches' time / one watch's time", quad.seconds / single.seconds);
    std::printf("%-58s %12.1f\n", "  window's largest pause meanwhile (ms)", quad.worstPauseMs);
    std::printf("%-58s %12d\n", "folders watched", figures.watchedFolders);
    std::printf("%-58s %12.1f\n", "memory of one watch on the tree (MiB, growth of the heap)", double(afterOne - before) / 1048576.0);
    std::printf("%-58s %12lld\n", "  files and folders whose names are kept to compare", figures.knownEntries);
    std::printf("%-58s %12.1f\n", "  bytes kept per file or folder to compare", figures.knownEntries ? double(figures.knownBytes) / double(figures.knownEntries) : 0.0);
    std::printf("%-58s %12.0f\n", "  bytes of the heap per watched folder, in all",
                figures.watchedFolders ? double(afterOne - before) / double(figures.watchedFolders) : 0.0);

    // --- an overflow of 50,000 creations ---
    QTemporaryDir burstDir(base + QStringLiteral("/vesmor-overflow-XXXXXX"));
    Counter counter;
    const quint32 id = SHChangeNotifyRegister(&counter, 3, SHCNE_CREATE | SHCNE_UPDATEDIR,
                                              {ShellNamespace::parse(burstDir.path()), true});
    spin([&] { return counter.watching; }, 60000);
    constexpr int kBurst = 50000;
    service.pauseReading(true);
    const QByteArray burst = QFile::encodeName(burstDir.path());
    char path[4096];
    for (int i = 0; i < kBurst; ++i) {
        std::snprintf(path, sizeof path, "%s/f%06d", burst.constData(), i);
        const int fd = ::open(path, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
    }
    const qint64 rssBefore = statusKib("VmRSS:");
    resetPeak();
    QElapsedTimer recovery;
    recovery.start();
    service.pauseReading(false);
    const bool all = spin([&] { return counter.created.size() >= kBurst; }, 120000);
    const double seconds = double(recovery.nsecsElapsed()) / 1e9;
    const qint64 peak = statusKib("VmHWM:");
    int twice = 0;
    for (int n : std::as_const(counter.created)) twice += n > 1;
    // What the comparison keeps of a folder of 50,000 files (counted every two seconds).
    spin([] { return false; }, 2500);
    const ChangeBackend::Figures burstFigures = service.figures();
    SHChangeNotifyDeregister(id);
    std::printf("%-58s %12.2f\n", "overflow of 50,000 creations: until every one is told (s)", seconds);
    std::printf("%-58s %12d%s\n", "  creations told", int(counter.created.size()), all ? "" : "  SOME WERE LOST");
    std::printf("%-58s %12d\n", "  told more than once", twice);
    std::printf("%-58s %12.1f\n", "  peak memory above the level before (MiB)", double(peak - rssBefore) / 1024.0);
    std::printf("%-58s %12.1f\n", "bytes kept per file to compare, folder of 50,000 files",
                burstFigures.knownEntries ? double(burstFigures.knownBytes) / double(burstFigures.knownEntries) : 0.0);
    return all && twice == 0 ? 0 : 1;
}
