#include "platform/inotify/InotifyBackend.h"

#include "platform/text/PathBytes.h"
#include "platform/files/PathWalk.h"
#include "platform/inotify/InotifyState.h"
#include "platform/polling/PathReach.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace InotifyDetail;

InotifyDetail::State::~State()
{
    held.release();
    for (int f : {fd, wakeFd, mountFd})
        if (f >= 0) ::close(f);
}

namespace {

constexpr size_t kReadBuffer = 256 * 1024;
// How long a registration whose folder is on a mount waits for the server to answer the first
// look at it before it starts all the same, polled until the server answers.
constexpr auto kResolveWait = std::chrono::seconds(2);
// After a read that found several events the reader rests this long before it looks again, so
// that a burst is read in few large reads and the window is woken once for many notices rather
// than for every one or two. A lone change is still read the moment it comes.
constexpr long kGatherNs = 1'000'000;
// How long the program's exit waits for its threads to end. A thread that is not held up ends
// in a few milliseconds; one in a call on a volume that does not answer is left behind (the
// state it shares stays alive with it), so that exit never waits on a dead mount.
constexpr auto kExitWait = std::chrono::milliseconds(150);

void poke(int wakeFd)
{
    if (wakeFd < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wakeFd, &one, sizeof one);
}

// After a burst of this many notices, the heap it freed is given back to the system once all is
// quiet for a second and the window has taken every notice: a burst of 100,000 events would
// otherwise leave its peak resident for good.
constexpr quint64 kTrimAfter = 20000;
constexpr auto kTrimQuiet = std::chrono::seconds(1);

struct HeapRelease {
    quint64 seen = 0;
    Clock::time_point at;

    // Milliseconds until it is due (-1: nothing to do).
    int dueInMs(const State& s) const
    {
        if (s.handedSinceTrim < kTrimAfter) return -1;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()).count() + 1;
        return int(std::clamp<long long>(ms, 0, 1000));
    }
    // Whether it is due now (then give back, without the lock).
    bool due(State& s)
    {
        if (s.handedSinceTrim < kTrimAfter) return false;
        const auto now = Clock::now();
        if (s.handedSinceTrim != seen) {  // still coming
            seen = s.handedSinceTrim;
            at = now + kTrimQuiet;
            return false;
        }
        if (now < at) return false;
        bool taken;
        {
            std::lock_guard lock(s.outboxMutex);
            taken = s.outbox.empty();
        }
        if (!taken) {
            at = now + kTrimQuiet;
            return false;
        }
        s.handedSinceTrim = 0;
        seen = 0;
        return true;
    }
};

// The reader stops for good: every registration hears why, in a line of its own.
void fail(State& s, const QString& reason)
{
    if (s.failed) return;
    s.failed = true;
    s.failure = QStringLiteral("change notification has stopped: %1").arg(reason);
    for (auto& [id, reg] : s.regs.all())
        s.targeted(id, ChangeNotice::Kind::Problem, 0, {},
                   QStringLiteral("Change notification has stopped (%1): changes are no longer reported").arg(reason));
    s.flush();
}

// Rests for kGatherNs, or until the main thread asks for something (or the program ends).
void gather(State& s)
{
    pollfd fd{s.wakeFd, POLLIN, 0};
    const timespec rest{0, kGatherNs};
    ::ppoll(&fd, s.wakeFd >= 0 ? 1 : 0, &rest, nullptr);
}

void readerRun(State& s)
{
    std::vector<char> buffer(kReadBuffer);
    bool gathering = false;  // the last look found several events: more are likely on their way
    HeapRelease heap;
    while (!s.stop.load()) {
        try {
            if (std::exchange(gathering, false) && !s.paused.load()) gather(s);
            int timeout;
            {
                std::lock_guard lock(s.mutex);
                timeout = s.moveTimeoutMs();
                const int trim = heap.dueInMs(s);
                if (trim >= 0 && (timeout < 0 || trim < timeout)) timeout = trim;
                const int unanswered = s.unansweredPolls();
                if (unanswered >= 0 && (timeout < 0 || unanswered < timeout)) timeout = unanswered;
                const int unresolved = s.unresolvedDue();
                if (unresolved >= 0 && (timeout < 0 || unresolved < timeout)) timeout = unresolved;
                s.flush();
            }
            const bool paused = s.paused.load();
            if (paused) s.pauseSeen.store(true);
            const bool reading = !paused && !s.failed;
            pollfd fds[3] = {{reading ? s.fd : -1, POLLIN, 0}, {s.wakeFd, POLLIN, 0}, {s.mountFd, POLLPRI, 0}};
            const int n = ::poll(fds, s.mountFd >= 0 ? 3 : 2, timeout);
            if (n < 0 && errno != EINTR) {
                const QString why = QString::fromLocal8Bit(::strerror(errno));
                std::lock_guard lock(s.mutex);
                fail(s, why);
                return;
            }
            if (fds[1].revents & POLLIN) {
                uint64_t v;
                [[maybe_unused]] ssize_t r = ::read(s.wakeFd, &v, sizeof v);
            }
            if (s.stop.load()) break;
            std::vector<std::function<void()>> requests;
            QString failRequested;
            {
                std::lock_guard lock(s.requestMutex);
                requests.swap(s.requests);
                failRequested = std::exchange(s.failRequested, QString());
            }
            if (!requests.empty() || !failRequested.isEmpty()) {
                std::lock_guard lock(s.mutex);
                for (auto& r : requests) r();
                if (!failRequested.isEmpty()) fail(s, failRequested);
                s.flush();
            }
            if (n > 0 && (fds[0].revents & POLLIN)) {
                // Drain the kernel's queue at once; each read is told as it is read.
                for (;;) {
                    if (s.paused.load()) break;
                    const ssize_t got = ::read(s.fd, buffer.data(), buffer.size());
                    if (got < 0 && errno == EINTR) continue;
                    if (got < 0 && errno != EAGAIN) {
                        const QString why = QString::fromLocal8Bit(::strerror(errno));
                        std::lock_guard lock(s.mutex);
                        fail(s, why);
                        break;
                    }
                    std::lock_guard lock(s.mutex);
                    if (got <= 0) {
                        s.queueDrained();
                        s.flush();
                        break;
                    }
                    s.processRead(buffer.data(), got);
                    s.flush();
                    // More than one event in a read: a burst is on, and resting gathers it. A
                    // lone event (a file written piece by piece) is told without the wait.
                    const auto* firstEvent = reinterpret_cast<const inotify_event*>(buffer.data());
                    gathering = gathering || size_t(got) > sizeof(inotify_event) + firstEvent->len;
                    // A read that left room took everything there was.
                    if (size_t(got) + sizeof(inotify_event) + NAME_MAX + 1 <= buffer.size()) {
                        s.queueDrained();
                        break;
                    }
                }
            }
            bool trim;
            {
                std::lock_guard lock(s.mutex);
                if (s.mountFd >= 0 && (fds[2].revents & (POLLPRI | POLLERR))) s.mountsChanged();
                s.flush();
                trim = heap.due(s);
            }
            if (trim) ::malloc_trim(0);
        } catch (const std::bad_alloc&) {
            std::lock_guard lock(s.mutex);
            fail(s, QStringLiteral("out of memory"));
        } catch (const std::exception& e) {
            std::lock_guard lock(s.mutex);
            fail(s, QString::fromLocal8Bit(e.what()));
        }
    }
}

std::pair<QString, QByteArray> resolveFolder(const QString& folder)
{
    const QByteArray given = PathBytes::encode(folder);
    // Someone else's link (in a folder both may write to, say) could lead the watch, and the
    // names it reports, into the user's private folders.
    const QByteArray strangers = PathWalk::strangersLinkOn(given);
    if (!strangers.isEmpty()) return {QStringLiteral("%1 is a link of another user").arg(PathBytes::decode(strangers)), {}};
    char* r = ::realpath(given.constData(), nullptr);
    if (!r) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) return {QStringLiteral("the folder does not exist"), {}};
        if (e == EACCES) return {QStringLiteral("permission denied"), {}};
        return {QString::fromLocal8Bit(::strerror(e)), {}};
    }
    QByteArray real(r);
    std::free(r);
    struct stat st;
    if (::stat(real.constData(), &st) != 0) return {QString::fromLocal8Bit(::strerror(errno)), {}};
    if (!S_ISDIR(st.st_mode)) return {QStringLiteral("not a folder"), {}};
    if (::access(real.constData(), R_OK | X_OK) != 0) {
        if (errno == EACCES) return {QStringLiteral("permission denied"), {}};
        return {QString::fromLocal8Bit(::strerror(errno)), {}};
    }
    return {QString(), real};
}

}  // namespace

// How many of the two threads have ended.
struct InotifyBackend::Finished {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
};

std::unique_ptr<ChangeBackend> ChangeBackend::create(std::function<void()> wake)
{
    return std::make_unique<InotifyBackend>(std::move(wake));
}

InotifyBackend::InotifyBackend(std::function<void()> wake) : d(std::make_shared<State>())
{
    d->wake = std::move(wake);
    d->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d->fd < 0) {
        d->startError = QStringLiteral("Change notification is not available: %1").arg(QString::fromLocal8Bit(::strerror(errno)));
        return;
    }
    d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    d->mountFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    d->mounts = d->readMounts();
    d->notePseudoMounts();
    // What a poll finds is told like the kernel's events; a poller left behind at exit finds
    // the state gone or stopped and tells nothing.
    d->poller = std::make_unique<FolderPoller>([weak = std::weak_ptr<State>(d)](FolderPoller::Walked& w) {
        const std::shared_ptr<State> s = weak.lock();
        if (!s || s->stop.load()) return;
        std::lock_guard lock(s->mutex);
        if (!s->stop.load()) s->pollWalked(w);
    });
    auto finished = std::make_shared<Finished>();
    auto done = [finished] {
        std::lock_guard lock(finished->mutex);
        ++finished->count;
        finished->cv.notify_all();
    };
    // The threads share the state: one held up on a dead volume at exit keeps it alive.
    reader_ = std::thread([s = d, done] {
        readerRun(*s);
        done();
    });
    walker_ = std::thread([s = d, done] {
        s->walkerRun();
        done();
    });
    finished_ = finished;
}

InotifyBackend::~InotifyBackend()
{
    {
        std::lock_guard lock(d->wakeMutex);
        d->wake = nullptr;
    }
    d->stop.store(true);
    poke(d->wakeFd);
    d->walkerWake.notify_all();
    {
        std::unique_ptr<FolderPoller> poller;
        {
            std::lock_guard lock(d->mutex);
            poller = std::move(d->poller);
        }
    }
    if (!reader_.joinable()) return;
    // A thread held up in a system call on a volume that does not answer is left behind
    // rather than waited for: exit never hangs on a dead mount.
    std::unique_lock lock(finished_->mutex);
    finished_->cv.wait_for(lock, kExitWait, [&] { return finished_->count == 2; });
    const bool both = finished_->count == 2;
    lock.unlock();
    if (both) {
        reader_.join();
        walker_.join();
    } else {
        reader_.detach();
        walker_.detach();
    }
}

void InotifyBackend::request(std::function<void(State&)> job)
{
    {
        std::lock_guard lock(d->requestMutex);
        d->requests.push_back([s = d.get(), job = std::move(job)] { job(*s); });
    }
    poke(d->wakeFd);
}

int InotifyDetail::State::unresolvedDue()
{
    const auto now = Clock::now();
    int next = -1;
    for (auto& [id, u] : unresolved) {
        if (u.started) continue;
        if (u.due > now) {
            const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(u.due - now).count()) + 1;
            next = next < 0 ? ms : std::min(next, ms);
            continue;
        }
        u.started = true;
        fresh.push_back({id, ChangeNotice::Kind::Watching, 0, {}, {}, QString()});
        fresh.push_back({id, ChangeNotice::Kind::Polled, 0, {}, {},
                         QStringLiteral("%1 is on a network or FUSE file system (%2) that does not answer: changes "
                                        "there are looked for until it does")
                             .arg(u.folder, u.fsType)});
    }
    return next;
}

void InotifyDetail::State::resolved(quint32 id, const WatchRequest& request, const WatchRoot& root, const QString& why)
{
    const auto found = unresolved.find(id);
    const bool started = found != unresolved.end() && found->second.started;
    if (found != unresolved.end()) unresolved.erase(found);
    if (why.isEmpty()) {
        addRegistration(id, request, root, started);
    } else if (!started) {
        targeted(id, ChangeNotice::Kind::Refused, 0, {}, why);
    } else {
        // It counts as started already: what is wrong is told as a problem, in red, and
        // nothing is watched for it.
        fresh.push_back({id, ChangeNotice::Kind::Problem, 0, {}, {},
                         QStringLiteral("%1 cannot be watched (%2): changes in it are not reported").arg(root.user, why)});
    }
}

QString InotifyBackend::startError() const { return d->startError; }

QString InotifyBackend::add(quint32 id, const WatchRequest& request)
{
    if (!d->startError.isEmpty()) return d->startError;
    WatchRoot root;
    if (request.scope == WatchRequest::Scope::Folder) {
        root.user = QDir::cleanPath(request.folder);
        root.recursive = request.recursive;
        const QList<MountTable::Mount> mounts = MountTable::current();
        if (const MountTable::Mount* m = PathReach::remoteMount(mounts, PathBytes::encode(root.user))) {
            resolveAside(id, request, root, m->fsType);
            return {};
        }
        auto [why, real] = resolveFolder(root.user);
        if (!why.isEmpty()) return why;
        root.real = real;
    }
    this->request([id, request, root](State& s) { s.addRegistration(id, request, root); });
    return {};
}

void InotifyBackend::resolveAside(quint32 id, const WatchRequest& request, WatchRoot root, const QString& fsType)
{
    // A folder on a network or FUSE mount is looked at on a thread of its own: a server that
    // does not answer holds up that thread alone, never the window, the walker or exit. What
    // is wrong with the folder comes later, as the registration's refusal.
    {
        std::lock_guard lock(d->requestMutex);
        d->resolving.insert(id);
        d->requests.push_back([s = d.get(), id, folder = root.user, fsType] {
            s->unresolved[id] = {Clock::now() + kResolveWait, folder, fsType};
        });
    }
    poke(d->wakeFd);  // its wait starts now
    std::thread([weak = std::weak_ptr<State>(d), id, request, root]() mutable {
        auto [why, real] = resolveFolder(root.user);
        const std::shared_ptr<State> s = weak.lock();
        if (!s || s->stop.load()) return;
        {
            std::lock_guard lock(s->requestMutex);
            if (!s->resolving.remove(id)) return;  // removed meanwhile
            root.real = real;
            s->requests.push_back([st = s.get(), id, request, root, why] { st->resolved(id, request, root, why); });
        }
        poke(s->wakeFd);
    }).detach();
}

void InotifyBackend::remove(quint32 id)
{
    {
        std::lock_guard lock(d->requestMutex);
        d->resolving.remove(id);
    }
    request([id](State& s) {
        s.unresolved.erase(id);
        s.removeRegistration(id);
    });
}

void InotifyBackend::follow(quint32 id, const QString& folder)
{
    const QString path = QDir::cleanPath(folder);
    request([id, path](State& s) {
        ScanTask t;
        t.mode = ScanTask::Mode::Follow;
        t.target = id;
        t.user = path;
        s.queueScan(std::move(t), true);
    });
}

void InotifyBackend::unfollow(quint32 id, const QString& folder)
{
    const QString path = QDir::cleanPath(folder);
    request([id, path](State& s) {
        Registration* reg = s.regs.find(id);
        if (!reg) return;
        QList<QByteArray> reals;
        for (auto it = reg->followed.begin(); it != reg->followed.end();) {
            if (*it == path) {
                reals << it.key();
                it = reg->followed.erase(it);
            } else {
                ++it;
            }
        }
        for (const QByteArray& real : reals) s.reconcile(real);
    });
}

void InotifyBackend::announce(quint32 mask, const ItemIdList& first, const ItemIdList& second)
{
    request([mask, first, second](State& s) {
        Raw r;
        r.type = Raw::Type::Announced;
        r.mask = mask;
        r.first = first;
        r.second = second;
        s.push(std::move(r));
    });
}

std::deque<ChangeNotice> InotifyBackend::take()
{
    std::lock_guard lock(d->outboxMutex);
    std::deque<ChangeNotice> taken;
    taken.swap(d->outbox);
    d->queued.clear();
    return taken;
}

void InotifyBackend::holdBack(quint32 id)
{
    request([id](State& s) {
        if (Registration* reg = s.regs.find(id)) s.holdBack(*reg);
    });
}

void InotifyBackend::catchUp(quint32 id)
{
    request([id](State& s) {
        if (Registration* reg = s.regs.find(id)) s.catchUp(*reg);
    });
}

void InotifyBackend::setQueueLimit(int notices) { d->queueLimit.store(qMax(1, notices)); }

ChangeBackend::Figures InotifyBackend::figures() const
{
    Figures f;
    f.watchedFolders = d->figureWatches.load();
    f.knownEntries = d->figureEntries.load();
    f.knownBytes = d->figureBytes.load();
    f.walksUnderWay = d->figureWalks.load();
    f.foldersListed = d->figureListed.load();
    // Set when the backend is made and taken away only when it goes, both on this thread.
    if (d->poller) f.polledEntries = d->poller->figures().entries;
    return f;
}

void InotifyBackend::pauseReading(bool paused)
{
    // A pause takes effect before this returns: a reader still draining the queue while the
    // caller fills it would keep the queue from ever overflowing.
    d->pauseSeen.store(false);
    d->paused.store(paused);
    poke(d->wakeFd);
    if (!paused) return;
    for (int waited = 0; !d->pauseSeen.load() && !d->stop.load() && waited < 5000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void InotifyBackend::failReader(const QString& reason)
{
    {
        std::lock_guard lock(d->requestMutex);
        d->failRequested = reason;
    }
    poke(d->wakeFd);
}
