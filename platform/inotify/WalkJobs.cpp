// The walks that registrations wait for, and what each registration needs watched: a walk
// ends with its registrations' Watching notice (or what could not be watched); watches nothing
// needs any more go.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace InotifyDetail {

namespace {

const QString kLimit = QStringLiteral("the system's limit on watched folders has been reached");

// The path under which `reg` names a folder at or below its own.
QString placeOf(const Registration& reg, const QByteArray& real)
{
    if (reg.req.scope == WatchRequest::Scope::Folder) {
        if (real == reg.root.real) return reg.root.user;
        if (BytePath::isUnder(real, reg.root.real)) return RegistrationPaths::below(reg.root.user, reg.root.real, real);
    }
    return PathBytes::decode(real);
}

// What could not be watched of a tree: folders that could not be watched, with what they hold
// (nothing below a folder that cannot be read is reached).
QString notWatched(int n)
{
    return n == 1 ? QStringLiteral("1 folder and what it holds are not watched")
                  : QStringLiteral("%1 folders and what they hold are not watched").arg(n);
}

}  // namespace

void State::finishTask(const ScanTask& task, int children)
{
    if (!task.job) return;
    const auto it = jobs.find(task.job);
    if (it == jobs.end()) return;
    it->second.outstanding += children - 1;
    if (it->second.outstanding <= 0) jobDone(task.job);
}

void State::taskFailed(const ScanTask& task, int error, bool watching)
{
    const bool limit = watching && (error == ENOSPC || error == ENOMEM);
    const bool vanished = !watching && (error == ENOENT || error == ENOTDIR || error == ELOOP);
    const QString why = limit                               ? kLimit
                        : (error == EACCES || error == EPERM) ? QStringLiteral("permission denied")
                        : vanished                          ? QStringLiteral("the folder does not exist")
                                                            : QString::fromLocal8Bit(::strerror(error));
    const auto job = jobs.find(task.job);
    if (limit && job != jobs.end() && job->second.rewatch) {
        job->second.limit = true;  // still too few: it stays polled
        return;
    }
    if (limit && !task.jobRoot) {
        pollUnwatched(task);
        return;
    }
    if (task.jobRoot) {
        if (job != jobs.end()) job->second.rootRefusal = why;
        return;
    }
    if (vanished) return;  // went away before it was reached: its removal was told
    if (job != jobs.end() && !job->second.reporting) {
        WalkJob& j = job->second;
        if (!j.followed.isEmpty()) return;  // the tree follows what it can
        if (++j.refused == 1) {
            j.firstRefused = task.path;
            j.firstWhy = why;
        }
        j.limit = j.limit || limit;
        return;
    }
    if (limit) {
        limitReached(task.path);
    } else {
        refusedLater(task.path, why);
    }
}

void State::jobDone(quint64 job)
{
    const auto it = jobs.find(job);
    if (it == jobs.end()) return;
    const WalkJob j = std::move(it->second);
    jobs.erase(it);
    figureWalks = int(jobs.size());
    if (j.reporting) {
        if (Raw* b = barriers.take(job)) b->done = true;
        if (j.compare) comparisonWalkDone(j.compare);
        return;
    }
    if (j.rewatch) {
        rewatchDone(j);
        return;
    }
    bool refused = false;
    for (quint32 id : j.regs) {
        Registration* reg = regs.find(id);
        if (!reg) continue;
        if (!j.followed.isEmpty()) {
            targeted(id, ChangeNotice::Kind::Followed, 0, {}, j.followed);
            continue;
        }
        reg->job = 0;
        if (!j.rootRefusal.isEmpty()) {
            targeted(id, ChangeNotice::Kind::Refused, 0, {}, j.rootRefusal);
            regs.remove(id);
            refused = true;
            continue;
        }
        reg->watching = true;
        updateFigures();
        QString text;
        if (j.refused > 0) {
            const QString where = PathBytes::forDisplay(placeOf(*reg, j.firstRefused));
            if (j.firstWhy == kLimit) {
                text = QStringLiteral("The system's limit on watched folders has been reached at %1: %2; changes "
                                      "there are not reported")
                           .arg(where, notWatched(j.refused));
            } else {
                text = QStringLiteral("%1 could not be watched (%2): %3; changes there are not reported")
                           .arg(where, j.firstWhy, notWatched(j.refused));
            }
            reg->toldLimit = reg->toldLimit || j.limit;
            reg->toldRefusal = true;
        }
        if (text.isEmpty() && reg->pollsUnsettled == 0) text = polledLimitText(*reg);
        targeted(id, ChangeNotice::Kind::Watching, 0, {}, text);
    }
    if (refused) {
        stopAssociationsIfUnused();
        reconcile();
    }
}

void State::limitReached(const QByteArray& path)
{
    for (auto& [id, r] : regs.all()) {
        if (r.retired || r.toldLimit) continue;
        bool concerned = false;
        regs.placesOf(r, path, Concern::Item, [&](const QString&) { concerned = true; });
        if (!concerned) continue;
        r.toldLimit = true;
        targeted(id, ChangeNotice::Kind::Problem, 0, {},
                 QStringLiteral("The system's limit on watched folders has been reached at %1: changes in the "
                                "folders that could not be watched are not reported")
                     .arg(PathBytes::forDisplay(placeOf(r, path))));
    }
}

void State::refusedLater(const QByteArray& path, const QString& why)
{
    for (auto& [id, r] : regs.all()) {
        if (r.retired || r.toldRefusal || r.req.scope != WatchRequest::Scope::Folder) continue;
        bool concerned = false;
        regs.placesOf(r, path, Concern::Item, [&](const QString&) { concerned = true; });
        if (!concerned) continue;
        r.toldRefusal = true;
        targeted(id, ChangeNotice::Kind::Problem, 0, {},
                 QStringLiteral("%1 could not be watched (%2): changes in it are not reported")
                     .arg(PathBytes::forDisplay(placeOf(r, path)), why));
    }
}

quint64 State::startWalk(quint32 id, const QByteArray& root, bool recursive)
{
    const quint64 job = nextJob++;
    WalkJob& j = jobs[job];
    j.root = root;
    j.recursive = recursive;
    j.outstanding = 1;
    j.regs = {id};
    figureWalks = int(jobs.size());
    queueScan({root, ScanTask::Mode::Baseline, job, true}, false);
    return job;
}

void State::addRegistration(quint32 id, const WatchRequest& request, const WatchRoot& root, bool startedAlready)
{
    if (failed) {
        targeted(id, ChangeNotice::Kind::Refused, 0, {}, failure);
        return;
    }
    Registration& reg = regs.add(id, request, root);
    if (startedAlready) {
        reg.toldWatching = true;
        reg.toldPolled = true;
    }
    if (request.mask & SHCNE_ASSOCCHANGED) startAssociations();
    if (request.scope != WatchRequest::Scope::Folder) {
        reg.watching = true;
        targeted(id, ChangeNotice::Kind::Watching, 0, {});
        return;
    }
    pollRemote(reg);
    if (request.mask & SHCNE_FREESPACE) {
        nextFreeCheck = Clock::now();
        walkerWake.notify_all();
    }
    // One walk per tree: folders kept watched already need none, and a walk under way that
    // covers this folder is joined.
    const WatchedFolder* node = table.find(root.real);
    const bool done = root.recursive ? regs.keptWatched(root.real)
                                     : node && node->watched() && node->listed && !node->lookoutOnly;
    if (done) {
        reg.watching = true;
        targeted(id, ChangeNotice::Kind::Watching, 0, {});
        return;
    }
    for (auto& [job, j] : jobs) {
        if (!j.followed.isEmpty() || j.reporting || j.outstanding <= 0) continue;
        const bool covers = j.recursive ? BytePath::isAtOrUnder(root.real, j.root) : (!root.recursive && root.real == j.root);
        if (covers) {
            j.regs.push_back(id);
            reg.job = job;
            return;
        }
    }
    reg.job = startWalk(id, root.real, root.recursive);
}

void State::removeRegistration(quint32 id)
{
    Registration* reg = regs.find(id);
    if (!reg) return;
    stopPolling(*reg);
    // Where its watches may be: its folder (or what it follows) and its lookout.
    std::vector<QByteArray> places;
    if (reg->req.scope == WatchRequest::Scope::Folder) places.push_back(reg->root.real);
    for (const QByteArray& real : reg->followed.uniqueKeys()) places.push_back(real);
    if (!reg->lookout.isEmpty()) places.push_back(reg->lookout);
    const bool associations = assocActive;
    regs.remove(id);
    stopAssociationsIfUnused();
    if (regs.all().empty() && !assocActive && awaited.empty() && dropAll()) return;
    if (associations != assocActive) {
        reconcile();
        return;
    }
    for (const QByteArray& place : places) reconcile(place);
    rewatchPolled();  // its watches are free for folders that had to be polled
}

bool State::dropAll()
{
    const int fresh = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fresh < 0) return false;
    // The reader polls `fd`: the new queue takes its number, and the old one goes with its watches.
    const bool swapped = ::dup3(fresh, fd, O_CLOEXEC) == fd;
    ::close(fresh);
    if (!swapped) return false;
    forgetPaths();
    table.takeAll();
    figureWatches = 0;
    return true;
}

void State::reconcile(const QByteArray& top)
{
    WatchedFolder* from = top.isEmpty() ? table.root() : table.find(top);
    // Ending: the descriptor's close ends every watch at once.
    if (!from || stop.load()) return;
    std::vector<QByteArray> dropped;
    table.forEachWithPath(from, top.isEmpty() ? QByteArrayLiteral("/") : top, [&](WatchedFolder* f, const QByteArray& path) {
        if (!f->watched() || stop.load(std::memory_order_relaxed) || wanted(path)) return;
        if (isLookout(path)) {
            if (!f->lookoutOnly) {
                f->names.clear();
                f->lookoutOnly = true;
                f->listed = true;
            }
            return;
        }
        const int wd = f->wd;
        if (table.dropWatch(f)) ::inotify_rm_watch(fd, wd);
        f->names.clear();
        f->listed = false;
        f->lookoutOnly = false;
        f->touched.reset();
        dropped.push_back(path);
    });
    for (auto it = dropped.rbegin(); it != dropped.rend(); ++it)
        if (WatchedFolder* f = table.find(*it)) table.prune(f);
    figureWatches = table.watchCount();
}

}  // namespace InotifyDetail
