#include "platform/polling/FolderPoller.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <thread>

#include <time.h>

namespace {

// How long exit waits for the lanes that are not in a walk (they end at once).
constexpr auto kExitWait = std::chrono::milliseconds(100);

// The processor time this thread has taken, in the system and out of it.
FolderPoller::Clock::duration threadProcessorTime()
{
    timespec ts{};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return {};
    return std::chrono::duration_cast<FolderPoller::Clock::duration>(std::chrono::seconds(ts.tv_sec) +
                                                                      std::chrono::nanoseconds(ts.tv_nsec));
}

}  // namespace

struct FolderPoller::Lane {
    struct Area {
        QByteArray root;
        bool recursive = false;
        // Shared with the walk's report, which may outlive the area (removed while told).
        std::shared_ptr<const TreeSnapshot> snapshot = std::make_shared<TreeSnapshot>();
        bool learnt = false;
        bool busy = false;
        Clock::time_point due;
        // How long its last walks took, the latest last: the rest follows the quickest.
        std::array<Clock::duration, kWalksRemembered> took{};
        int walks = 0;

        // What a walk that took `wall` (`processor` of it on this thread) leaves to rest before
        // the next. The processor time keeps polling from keeping a core busy; the time a walk
        // waits (a slow server, a busy processor) rests the server too, but one held up once
        // does not stretch the rest: only walks slow one after another do.
        std::chrono::milliseconds restAfter(qsizetype entries, Clock::duration wall, Clock::duration processor)
        {
            std::move(took.begin() + 1, took.end(), took.begin());
            took.back() = wall;
            walks = std::min(walks + 1, kWalksRemembered);
            const Clock::duration quickest = *std::min_element(took.end() - walks, took.end());
            using std::chrono::duration_cast;
            using std::chrono::milliseconds;
            return std::max({intervalFor(entries), duration_cast<milliseconds>(processor * kRestFactor),
                             duration_cast<milliseconds>(quickest * kRestFactor)});
        }
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finishedCv;
    std::map<quint64, Area> areas;
    std::atomic<bool> stop{false};
    bool finished = false;
    bool walking = false;
    Clock::time_point walkingSince;
    Clock::time_point answeredAt;       // the last walk came back then (none: never)
    std::chrono::milliseconds interval{0};  // the longest rest between its walks
    qint64 walks = 0;
    std::thread thread;

    void run(const std::function<void(Walked&)>& walked)
    {
        std::unique_lock lock(mutex);
        while (!stop.load()) {
            auto next = areas.end();
            for (auto it = areas.begin(); it != areas.end(); ++it)
                if (!it->second.busy && (next == areas.end() || it->second.due < next->second.due)) next = it;
            if (next == areas.end()) {
                wake.wait(lock);
                continue;
            }
            // A copy: the area may be removed while this waits, and the wait looks at the time again.
            const Clock::time_point due = next->second.due;
            if (due > Clock::now()) {
                wake.wait_until(lock, due);
                continue;
            }
            const quint64 id = next->first;
            Area& area = next->second;
            area.busy = true;
            const QByteArray root = area.root;
            const bool recursive = area.recursive;
            walking = true;
            walkingSince = Clock::now();
            lock.unlock();
            Walked w;
            w.area = id;
            w.startedAt = Clock::now();
            const Clock::duration processorAtStart = threadProcessorTime();
            auto walkedNow = std::make_shared<TreeSnapshot>();
            TreeSnapshot& now = *walkedNow;
            const bool whole = now.walk(root, recursive, &stop);
            const auto took = Clock::now() - w.startedAt;
            const Clock::duration processor = threadProcessorTime() - processorAtStart;
            lock.lock();
            walking = false;
            answeredAt = Clock::now();
            ++walks;
            const auto found = areas.find(id);
            if (stop.load() || found == areas.end()) continue;  // removed meanwhile
            Area& a = found->second;
            a.busy = false;
            w.entries = now.size();
            w.folders = now.folders();
            w.interval = a.restAfter(now.size(), took, processor);
            a.due = Clock::now() + w.interval;
            interval = std::max(interval, w.interval);
            if (!whole && now.rootGone() && a.learnt) {
                // The folder is not there: what it held went with it, and all it holds when it
                // is back is new.
                w.failed = true;
                w.gone = true;
                w.changes = now.changesSince(*a.snapshot, root);
                a.snapshot = w.found = std::move(walkedNow);
            } else if (!whole) {
                // Nothing is concluded from a walk that did not reach the folder: it is tried again.
                w.failed = true;
                w.entries = a.snapshot->size();
                w.folders = a.snapshot->folders();
            } else if (!a.learnt) {
                w.first = true;
                a.learnt = true;
                a.snapshot = w.found = std::move(walkedNow);
            } else {
                w.changes = now.changesSince(*a.snapshot, root);
                a.snapshot = w.found = std::move(walkedNow);
            }
            lock.unlock();
            walked(w);
            lock.lock();
        }
        finished = true;
        finishedCv.notify_all();
    }
};

FolderPoller::FolderPoller(std::function<void(Walked&)> walked) : walked_(std::move(walked)) {}

FolderPoller::~FolderPoller()
{
    std::map<QByteArray, std::shared_ptr<Lane>> lanes;
    {
        std::lock_guard lock(mutex_);
        lanes.swap(lanes_);
    }
    for (auto& [name, lane] : lanes) {
        lane->stop.store(true);
        std::lock_guard lock(lane->mutex);
        lane->wake.notify_all();
    }
    const auto deadline = Clock::now() + kExitWait;
    for (auto& [name, lane] : lanes) {
        std::unique_lock lock(lane->mutex);
        // A lane in a walk is not waited for: its server may never answer.
        const bool done = !lane->walking && lane->finishedCv.wait_until(lock, deadline, [&] { return lane->finished; });
        lock.unlock();
        if (done) {
            lane->thread.join();
        } else {
            lane->thread.detach();  // held up on a server that does not answer
        }
    }
}

std::chrono::milliseconds FolderPoller::intervalFor(qsizetype entries)
{
    // 2 s up to 10,000 entries, then 1 s more for every 10,000, at most a minute.
    const qint64 extra = entries <= 10'000 ? 0 : (entries - 10'000 + 9'999) / 10'000;
    return std::chrono::milliseconds(std::min<qint64>(60'000, 2'000 + extra * 1'000));
}

quint64 FolderPoller::add(const QByteArray& laneName, const QByteArray& root, bool recursive, bool reportAll)
{
    std::lock_guard lock(mutex_);
    const quint64 id = next_++;
    std::shared_ptr<Lane>& lane = lanes_[laneName];
    if (!lane) {
        lane = std::make_shared<Lane>();
        // The lane keeps itself (and the function it calls) alive for as long as its thread runs.
        lane->thread = std::thread([l = lane, walked = walked_] { l->run(walked); });
    }
    {
        std::lock_guard laneLock(lane->mutex);
        Lane::Area& a = lane->areas[id];
        a.root = root;
        a.recursive = recursive;
        a.learnt = reportAll;
        a.due = Clock::now();
        lane->wake.notify_all();
    }
    laneOf_.insert(id, laneName);
    return id;
}

void FolderPoller::remove(quint64 area)
{
    std::shared_ptr<Lane> empty;
    {
        std::lock_guard lock(mutex_);
        const QByteArray name = laneOf_.take(area);
        const auto it = lanes_.find(name);
        if (it == lanes_.end()) return;
        std::lock_guard laneLock(it->second->mutex);
        it->second->areas.erase(area);
        if (it->second->areas.empty()) {
            empty = it->second;
            lanes_.erase(it);
        }
    }
    if (!empty) return;
    // A lane with nothing left ends; one held up in a walk ends when the walk returns.
    empty->stop.store(true);
    {
        std::lock_guard lock(empty->mutex);
        empty->wake.notify_all();
    }
    empty->thread.detach();
}

void FolderPoller::pollSoon(quint64 area)
{
    std::lock_guard lock(mutex_);
    const auto it = lanes_.find(laneOf_.value(area));
    if (it == lanes_.end()) return;
    std::lock_guard laneLock(it->second->mutex);
    if (auto a = it->second->areas.find(area); a != it->second->areas.end()) {
        a->second.due = Clock::now();
        it->second->wake.notify_all();
    }
}

bool FolderPoller::answering(const QByteArray& laneName) const
{
    std::lock_guard lock(mutex_);
    const auto it = lanes_.find(laneName);
    if (it == lanes_.end()) return false;
    const Lane& lane = *it->second;
    std::lock_guard laneLock(it->second->mutex);
    const auto now = Clock::now();
    if (lane.walking && now - lane.walkingSince > kAnswerHeld) return false;
    return lane.walks > 0 && now - lane.answeredAt < lane.interval + kAnswerKept;
}

FolderPoller::Figures FolderPoller::figures() const
{
    Figures f;
    std::lock_guard lock(mutex_);
    for (const auto& [name, lane] : lanes_) {
        std::lock_guard laneLock(lane->mutex);
        f.walks += lane->walks;
        for (const auto& [id, a] : lane->areas) {
            if (a.busy) continue;
            f.entries += a.snapshot->size();
            f.bytes += a.snapshot->memoryBytes();
        }
    }
    return f;
}
