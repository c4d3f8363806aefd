// The order of notices: each is queued as it is read, and the queue is told in order. The first
// half of a move waits for its second half (the same rename queues both, so it waits in vain
// only for a move out of the watched folders) and holds back what follows it.
#include "platform/inotify/InotifyState.h"

#include <algorithm>

#include <sys/inotify.h>

namespace InotifyDetail {

namespace {
constexpr auto kMoveAge = std::chrono::milliseconds(30);
// How long what follows waits for the listing of a folder that came (a slow volume gives up
// the order, never the notices).
constexpr auto kListingWait = std::chrono::seconds(1);
}

Raw State::item(quint32 mask, const QByteArray& path, bool isDir) const
{
    Raw r;
    r.mask = mask;
    r.path = path;
    r.isDir = isDir;
    return r;
}

void State::push(Raw r)
{
    r.read = readSerial;
    r.serial = ++noticeSerial;
    if (!polled.empty() && !r.onlyFor) notePolledTold(r);
    if (!r.compare) r.compare = compareNow;
    auto sameAsLast = [&](const Raw& last) {
        // Adjacent identical notices of one read are one notice.
        return (r.type == Raw::Type::Item || r.type == Raw::Type::FolderChange) && last.type == r.type &&
               last.read == r.read && last.mask == r.mask && last.path == r.path && r.retireAfter.empty() &&
               last.retireAfter.empty();
    };
    if (barrierNow) {
        if (barrierNow->inner.empty() || !sameAsLast(barrierNow->inner.back())) barrierNow->inner.push_back(std::move(r));
        return;
    }
    if (!pending.empty() && sameAsLast(pending.back())) return;
    pending.push_back(std::move(r));
}

quint64 State::listInOrder(const QByteArray& path, ScanTask::Mode mode, quint32 target, bool announce)
{
    const quint64 job = nextJob++;
    WalkJob& j = jobs[job];
    j.root = path;
    j.recursive = true;
    j.outstanding = 1;
    j.reporting = true;
    j.barrier = true;
    Raw b;
    b.type = Raw::Type::Barrier;
    b.job = job;
    b.since = Clock::now();
    Raw* outer = std::exchange(barrierNow, nullptr);  // a barrier never nests in another
    push(std::move(b));
    barrierNow = outer;
    if (outer) {
        // Came while another folder's listing is told: its place is in that one's order.
        outer->inner.push_back(std::move(pending.back()));
        pending.pop_back();
        j.barrier = false;
    } else {
        barriers.insert(job, &pending.back());
    }
    ScanTask task(path, mode, job);
    task.target = target;
    task.announce = announce;
    queueScan(std::move(task), true);
    return job;
}

void State::listingsRenamed(const QByteArray& from, const QByteArray& to)
{
    for (auto& [job, j] : jobs) {
        if (!j.reporting) continue;
        const bool inside = BytePath::isAtOrUnder(j.root, from);
        if (!inside && !BytePath::isUnder(from, j.root)) continue;
        if (inside) j.root = to + j.root.mid(from.size());
        Raw* told = barriers.value(job);
        if (!told) continue;  // told in another listing's order, which this one follows
        // What it found so far is told where it stands; what it finds from now on bears the
        // new name, and is told after the rename.
        told->done = true;
        Raw b;
        b.type = Raw::Type::Barrier;
        b.job = job;
        b.since = told->since;  // what follows waits no longer in all
        Raw* outer = std::exchange(barrierNow, nullptr);
        push(std::move(b));
        barrierNow = outer;
        barriers.insert(job, &pending.back());
    }
}

void State::pushMove(Raw r)
{
    r.type = Raw::Type::Move;
    r.since = Clock::now();
    r.read = readSerial;
    r.serial = ++noticeSerial;
    pending.push_back(std::move(r));
    if (pending.back().cookie) moves.insert(pending.back().cookie, &pending.back());
}

void State::resolveMovedOut(Raw& r)
{
    moves.remove(r.cookie);
    r.type = Raw::Type::Item;
    r.mask = r.isDir ? SHCNE_RMDIR : SHCNE_DELETE;
    if (!r.isDir) return;
    // Gone from the watched folders: no longer watched.
    if (WatchedFolder* f = table.find(r.path)) {
        table.remove(f, [this](int wd) { ::inotify_rm_watch(fd, wd); });
        forgetPaths();
    }
}

void State::flush()
{
    if (!assocWriting.isEmpty()) associationWritesDue();
    while (!pending.empty()) {
        Raw& r = pending.front();
        if (r.type == Raw::Type::Move) {
            if (Clock::now() - r.since < kMoveAge && !stop.load()) break;
            resolveMovedOut(r);
        }
        if (r.type == Raw::Type::Barrier) {
            // First in line: what the listing found so far is told now, the rest as it comes.
            std::vector<Raw> inner = std::move(r.inner);
            r.inner.clear();
            const bool over = r.done || Clock::now() - r.since >= kListingWait || stop.load();
            if (over) {
                if (barriers.value(r.job) == &r) barriers.remove(r.job);  // not its follower's
                if (barrierNow == &r) barrierNow = nullptr;
                pending.pop_front();
            }
            for (Raw& i : inner) tell(i);
            if (!over) break;
            continue;
        }
        tell(r);
        pending.pop_front();
    }
    handOver();
}

void State::tellListingSoFar()
{
    if (!barrierNow || pending.empty() || &pending.front() != barrierNow) return;
    std::vector<Raw> inner = std::move(barrierNow->inner);
    barrierNow->inner.clear();
    for (Raw& i : inner) tell(i);
    handOver();
}

void State::handOver()
{
    if (fresh.empty()) return;
    bool wasEmpty;
    std::vector<quint32> over;
    {
        std::lock_guard lock(outboxMutex);
        wasEmpty = outbox.empty();
        const int limit = queueLimit.load();
        for (ChangeNotice& n : fresh) {
            const quint32 id = n.registration;
            const bool counts = n.kind == ChangeNotice::Kind::Notice;
            outbox.push_back(std::move(n));
            if (counts && ++queued[id] == limit) over.push_back(id);
        }
    }
    handedSinceTrim += fresh.size();
    fresh.clear();
    if (wasEmpty) {
        std::lock_guard lock(wakeMutex);
        if (wake) wake();
    }
    // A window that takes nothing for so long is held back; what it misses is compared later.
    // Its notice of that is told with the next flush.
    for (quint32 id : over)
        if (Registration* reg = regs.find(id); reg && !reg->heldBack) holdBack(*reg);
}

int State::moveTimeoutMs() const
{
    auto best = Clock::time_point::max();
    for (const Raw* m : moves) best = std::min(best, m->since + kMoveAge);
    for (const Raw* b : barriers) best = std::min(best, b->since + kListingWait);
    const int writes = associationWaitMs();
    if (best == Clock::time_point::max()) return writes;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(best - Clock::now()).count() + 1;
    const int wait = int(std::clamp<long long>(ms, 0, 1000));
    return writes >= 0 ? std::min(wait, writes) : wait;
}

}  // namespace InotifyDetail
