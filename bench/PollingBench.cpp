// What polling costs: processor time and memory per polled file for one walk and compare of
// 10,000 and 100,000 files, and the time from a change made behind the poller to its report.
#include "platform/polling/FolderPoller.h"
#include "platform/polling/TreeSnapshot.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

double cpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void makeTree(const QString& root, int files)
{
    // 100 files a folder, as a shared folder of documents might hold.
    for (int i = 0; i < files; ++i) {
        const QString dir = root + QStringLiteral("/d%1").arg(i / 100);
        if (i % 100 == 0) QDir().mkpath(dir);
        QFile f(dir + QStringLiteral("/file-%1.txt").arg(i));
        if (f.open(QIODevice::WriteOnly)) f.write("x");
    }
}

void walkCost(int files)
{
    QTemporaryDir dir;
    makeTree(dir.path(), files);
    const QByteArray root = dir.path().toUtf8();
    TreeSnapshot before, after;
    before.walk(root, true);  // the cache warm, as every walk after the first finds it
    const double start = cpuSeconds();
    after.walk(root, true);
    const size_t changes = after.changesSince(before, root).size();
    const double cpu = cpuSeconds() - start;
    std::printf("poll of %d files: %.1f ms processor time a walk (%.2f us a file), %lld bytes a file, %zu changes, "
                "every %lld ms\n",
                files, cpu * 1e3, cpu * 1e6 / files, static_cast<long long>(after.memoryBytes() / after.size()), changes,
                static_cast<long long>(FolderPoller::intervalFor(after.size()).count()));
}

void timeToReport()
{
    QTemporaryDir dir;
    makeTree(dir.path(), 1000);
    std::mutex m;
    std::condition_variable cv;
    bool first = false, seen = false;
    FolderPoller poller([&](FolderPoller::Walked& w) {
        std::lock_guard lock(m);
        first = first || w.first;
        seen = seen || !w.changes.empty();
        cv.notify_all();
    });
    poller.add("/", dir.path().toUtf8(), true);
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return first; });
    QFile f(dir.filePath("new.txt"));
    if (f.open(QIODevice::WriteOnly)) f.write("x");
    const auto made = std::chrono::steady_clock::now();
    cv.wait(lock, [&] { return seen; });
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - made).count();
    std::printf("time to first report of a change behind the mount (1,000 files polled): %lld ms (interval %lld ms)\n",
                static_cast<long long>(ms), static_cast<long long>(FolderPoller::intervalFor(1000).count()));
}

}  // namespace

int main()
{
    walkCost(10'000);
    walkCost(100'000);
    timeToReport();
    return 0;
}
