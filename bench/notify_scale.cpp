// Watching big and deep trees:
//  - a chain of 20,000 nested folders against 20,000 sibling folders: the time until a
//    recursive watch on each is in place (a walk that costs more per folder the deeper it goes
//    shows as a chain far slower than the siblings);
//  - 100,000 folders (100 x 999) against `inotifywait -m -r` on the same tree: the time until
//    every folder is watched, the processor time it took and the memory (ours: what the process
//    grew by; inotifywait's: all it holds), taking turns.
//
// The folders live in VESMOR_BENCH_DIR, else /dev/shm (memory-backed), else the temporary
// folder. VESMOR_BENCH_CHAIN sets the depth of the chain (and the number of siblings),
// VESMOR_BENCH_RUNS the runs per figure (default 3), VESMOR_BENCH_ONLY ("chain" or "tree") one
// part alone.
#include "BenchFolders.h"
#include "notify/TStShellNotification.h"
#include "platform/changes/ChangeNotifyService.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int envInt(const char* name, int fallback)
{
    const int v = qEnvironmentVariableIntValue(name);
    return v > 0 ? v : fallback;
}

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Processor time of this process (all its threads) so far, in seconds.
double processorSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A chain of `depth` folders "d" below `root`, made by name in the one above: its paths are
// far longer than the system lets one call name (PATH_MAX).
bool makeChain(const QString& root, int depth)
{
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0 && errno != EEXIST) break;
        const int below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = below;
        if (i == depth - 1 && fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    if (fd >= 0) ::close(fd);
    return false;
}

// Removes such a chain from the bottom up (a removal by path cannot name its deep end).
void removeChain(const QString& root)
{
    int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int depth = 0;
    for (int below; fd >= 0 && (below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) >= 0; ++depth) {
        ::close(fd);
        fd = below;
    }
    for (; fd >= 0 && depth > 0; --depth) {
        const int above = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = above;
        if (fd >= 0) ::unlinkat(fd, "d", AT_REMOVEDIR);
    }
    if (fd >= 0) ::close(fd);
}

int makeSiblings(const QString& root, int count)
{
    const QByteArray base = QFile::encodeName(root);
    char path[4096];
    int made = 0;
    for (int i = 0; i < count; ++i) {
        std::snprintf(path, sizeof path, "%s/s%d", base.constData(), i);
        made += ::mkdir(path, 0755) == 0;
    }
    return made;
}

// Resident memory of a process (/proc/<pid>/status, or "self"), in MiB.
double residentMib(const QString& pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

struct Start {
    double seconds = 0;
    double processor = 0;
    double mib = 0;  // ours: what the process grew by; inotifywait: all it holds
    int watched = 0;
    bool watching = false;
};

// A recursive watch on `folder`, until every folder is watched.
Start ours(const QString& folder)
{
    ChangeNotifyService& service = ChangeNotifyService::instance();
    Start s;
    const double cpu = processorSeconds();
    const double rss = residentMib(QStringLiteral("self"));
    QElapsedTimer t;
    t.start();
    auto n = std::make_unique<TStShellNotification>();
    n->SetWatchSubFolders(true);
    n->SetWatchFolder(folder);
    n->SetNotifyEvents({neFileCreate, neFolderCreate});
    n->SetActive(true);
    s.watching = n->WaitUntilWatching();
    s.seconds = double(t.nsecsElapsed()) / 1e9;
    s.processor = processorSeconds() - cpu;
    s.watched = service.figures().watchedFolders;
    s.mib = residentMib(QStringLiteral("self")) - rss;
    n.reset();
    // The next measure starts with no watch left of this one.
    QElapsedTimer settle;
    settle.start();
    while (service.figures().watchedFolders != 0 && !settle.hasExpired(60000))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return s;
}

// Processor time of a child process so far (user + system), in seconds.
double childProcessorSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

Start inotifywait(const QString& folder)
{
    Start s;
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("inotifywait"), {"-m", "-r", "-e", "create", folder});
    QByteArray err;
    QDeadlineTimer deadline(300000);
    while (!err.contains("Watches established") && !deadline.hasExpired() && p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(5);
        err += p.readAllStandardError();
    }
    s.seconds = double(t.nsecsElapsed()) / 1e9;
    s.processor = childProcessorSeconds(p.processId());
    s.mib = residentMib(QString::number(p.processId()));
    s.watching = err.contains("Watches established") && !err.contains("upper limit");
    p.kill();
    p.waitForFinished();
    return s;
}

void printRow(const char* what, const std::vector<Start>& runs)
{
    std::vector<double> wall, cpu, mib;
    bool all = true;
    int watched = 0;
    for (const Start& s : runs) {
        wall.push_back(s.seconds);
        cpu.push_back(s.processor);
        mib.push_back(s.mib);
        all = all && s.watching;
        watched = std::max(watched, s.watched);
    }
    std::printf("%-44s %8.2f s  processor %6.2f s  memory %6.1f MiB", what, median(wall), median(cpu), median(mib));
    if (watched) std::printf("  folders watched %d", watched);
    std::printf("%s\n", all ? "" : "  NOT ALL WATCHED");
}

void chainAgainstSiblings(const QString& base, int depth, int runs)
{
    QTemporaryDir chainDir(base + QStringLiteral("/vesmor-chain-XXXXXX"));
    QTemporaryDir siblingsDir(base + QStringLiteral("/vesmor-siblings-XXXXXX"));
    if (!makeChain(chainDir.path(), depth) || makeSiblings(siblingsDir.path(), depth) != depth) {
        std::printf("could not make the trees\n");
        return;
    }
    std::vector<Start> chain, siblings;
    for (int r = 0; r < runs; ++r) {
        chain.push_back(ours(chainDir.path()));
        siblings.push_back(ours(siblingsDir.path()));
    }
    removeChain(chainDir.path());
    printRow(qPrintable(QStringLiteral("chain of %1 nested folders").arg(depth)), chain);
    printRow(qPrintable(QStringLiteral("%1 sibling folders").arg(depth)), siblings);
    std::vector<double> ct, st;
    for (const Start& s : chain) ct.push_back(s.seconds);
    for (const Start& s : siblings) st.push_back(s.seconds);
    std::printf("%-44s %8.2f   (aim: about 1)\n", "  chain / siblings", median(ct) / std::max(1e-9, median(st)));
}

void againstInotifywait(const QString& base, int runs)
{
    const bool haveInotifywait = !QStandardPaths::findExecutable(QStringLiteral("inotifywait")).isEmpty();
    QTemporaryDir treeDir(base + QStringLiteral("/vesmor-tree-XXXXXX"));
    const int folders = makeTree(treeDir.path(), 100, 999, 0) + 1;
    ours(treeDir.path());  // the file system's caches warm for both
    std::vector<Start> us, them;
    for (int r = 0; r < runs; ++r) {
        us.push_back(ours(treeDir.path()));
        if (haveInotifywait) them.push_back(inotifywait(treeDir.path()));
    }
    printRow(qPrintable(QStringLiteral("Vesmor, %1 folders").arg(folders)), us);
    if (!haveInotifywait) {
        std::printf("inotifywait missing: no comparison\n");
        return;
    }
    printRow(qPrintable(QStringLiteral("inotifywait -m -r, %1 folders").arg(folders)), them);
    std::vector<double> ut, tt;
    for (size_t i = 0; i < us.size(); ++i) {
        ut.push_back(us[i].seconds);
        tt.push_back(them[i].seconds);
    }
    std::printf("%-44s %8.2f   (aim: at most 1)\n", "  Vesmor / inotifywait", median(ut) / std::max(1e-9, median(tt)));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString base = benchBase();
    const int depth = envInt("VESMOR_BENCH_CHAIN", 20000);
    const int runs = envInt("VESMOR_BENCH_RUNS", 3);
    const QString only = qEnvironmentVariable("VESMOR_BENCH_ONLY");
    std::printf("notify_scale: folders in %s, median of %d runs taken in turns\n", qPrintable(base), runs);
    if (only.isEmpty() || only.contains(QStringLiteral("chain"))) chainAgainstSiblings(base, depth, runs);
    if (only.isEmpty() || only.contains(QStringLiteral("tree"))) againstInotifywait(base, runs);
    return 0;
}
