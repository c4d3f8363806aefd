#pragma once
#include "platform/changes/ChangeBackend.h"
#include "platform/changes/ShellChangeEvents.h"
#include "platform/system/MountTable.h"
#include "platform/inotify/Registrations.h"
#include "platform/inotify/WatchTable.h"
#include "platform/polling/FolderPoller.h"
#include "platform/polling/PollChooser.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// The state the inotify backend's two threads share, and what each does with it. The reader
// thread reads the kernel's events and the main thread's requests; the walker thread does
// everything that touches a path (listing folders, placing watches, free space, looking for
// folders that went away), so that a slow volume holds up the walker alone. Both work under
// `mutex` only between system calls on paths. The main thread never takes `mutex`: it hands
// requests over and takes notices out, each under a small lock of its own.
//
// The member functions are defined by job: events (EventReading.cpp), the order of notices and
// moves (MovePairing.cpp), who hears what (NoticeRouting.cpp), walking folders (TreeWalk.cpp), the
// walks registrations wait for (WalkJobs.cpp), folders renamed during a walk (MovedDuringWalk.cpp),
// comparing (OverflowRescan.cpp), volumes and free space (Volumes.cpp), association files and
// folders looked out for (AssociationFiles.cpp).

namespace InotifyDetail {

using Clock = std::chrono::steady_clock;

// A notice as read, before it is told to the registrations that hear it. Paths are real.
struct Raw {
    enum class Type {
        Item,          // `mask` about `path`
        FolderChange,  // something inside the folder `path` changed (UPDATEDIR)
        Move,          // the first half of a move, waiting for its second
        Rename,        // `path` became `path2`
        Media,         // `mask` about the volume mounted at `path` (list in `first`)
        Targeted,      // for registration `target` alone: `kind`, mask + lists, `text`
        Assoc,         // an association file changed
        Announced,     // told by the program (lists in `first`, `second`)
        Barrier,       // what a folder that came holds: `inner`, once its listing `job` is done
    };
    Type type = Type::Item;
    ChangeNotice::Kind kind = ChangeNotice::Kind::Notice;
    quint32 mask = 0;
    QByteArray path;
    QByteArray path2;
    bool isDir = false;
    quint32 target = 0;
    quint32 cookie = 0;
    Clock::time_point since;
    ItemIdList first;
    ItemIdList second;
    QString text;
    std::vector<quint32> retireAfter;  // registrations whose folder this notice takes away
    quint64 read = 0;                  // the read from the kernel that made it
    quint64 serial = 0;                // its place among all notices
    quint64 compare = 0;               // the comparison after an overflow that found it
    quint64 job = 0;                   // Barrier
    bool done = false;                 // Barrier
    std::vector<Raw> inner;            // Barrier
    quint32 onlyFor = 0;               // found by that registration's poller: for it alone

    static Raw of(Type type, quint32 mask, QByteArray path = {})
    {
        Raw r;
        r.type = type;
        r.mask = mask;
        r.path = std::move(path);
        return r;
    }
};

// A folder a registration has polled (on a network or FUSE file system, or left without a kernel
// watch by the limit).
struct PolledArea {
    quint32 reg = 0;
    quint64 walk = 0;        // the poller's area: registrations of the same tree share its walks
    bool joined = false;     // joined walks under way: the next one is its first
    bool rootAway = false;   // the registration's own folder was found gone
    QByteArray root;
    bool recursive = false;
    bool limit = false;      // polled for want of kernel watches
    bool settled = false;    // its first walk is done
    bool retiring = false;   // kernel watches cover it again: it goes after one more walk
    qsizetype folders = 0;   // it and the folders below it, as last walked
    QString fsType;
    Clock::time_point since = Clock::now();  // polled from then on
    // What the kernel's events told of paths in it since the walk before last: a poll that finds
    // the same is not told again, and one that finds otherwise starts from what was told.
    struct Told {
        Clock::time_point at;
        bool exists = false;
        bool isDir = false;
        QByteArray movedTo;  // renamed there (told so)
    };
    std::unordered_map<std::string, Told> told;
    bool covers(const QByteArray& path) const
    {
        return recursive ? BytePath::isAtOrUnder(path, root) : path == root || BytePath::parentOf(path) == root;
    }
};

// One folder for the walker to list.
struct ScanTask {
    enum class Mode {
        Baseline,  // watch and learn what it holds; report nothing of it
        Report,    // a folder that came: watch it and report all it holds as created
        Resync,    // compare what it holds with what was known, report the difference
        Follow,    // resolve `user` for registration `target` and watch that folder
        Remount,   // a volume was mounted (`target` 1) or unmounted at `path`: see what changed
    };
    ScanTask(QByteArray path = {}, Mode mode = Mode::Baseline, quint64 job = 0, bool jobRoot = false, bool urgent = false)
        : path(std::move(path)), mode(mode), job(job), jobRoot(jobRoot), urgent(urgent)
    {
    }
    QByteArray path;
    Mode mode = Mode::Baseline;
    quint64 job = 0;      // the walk it belongs to; 0 for none
    bool jobRoot = false;
    bool urgent = false;  // a folder that just came: before any long walk
    bool announce = false;  // Report: the folder itself is told as made once it is watched
    size_t movesSeen = 0;  // the renames (`State::movedFolders`) its path takes in already
    quint32 target = 0;   // Follow
    QString user;         // Follow
};

// A walk that registrations wait for.
struct WalkJob {
    QByteArray root;
    bool recursive = false;
    int outstanding = 0;
    std::vector<quint32> regs;
    int refused = 0;
    QByteArray firstRefused;
    QString firstWhy;
    bool limit = false;
    QString rootRefusal;  // the walk's own folder could not be watched
    QString followed;     // a folder followed: told when it is watched
    bool reporting = false;  // a folder that came, all it holds reported
    bool barrier = false;    // ... and told in its place in the order of notices
    quint64 rewatch = 0;     // a polled area (the watch limit) tried with kernel watches again
    quint64 compare = 0;     // part of the comparison after an overflow
};

// The comparison after an overflow: its walks, and who is told what it found once they are done.
struct Comparison {
    int walks = 0;
    std::vector<quint32> regs;
};

// A folder whose appearance is awaited (an association folder that does not exist yet).
struct Awaited {
    QByteArray path;
    QByteArray lookout;  // the nearest folder above it that exists, watched
};

// What the walker reads of one folder.
struct Entry {
    std::string name;
    bool isDir = false;
};

struct State {
    State() = default;
    ~State();
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    // --- set once ---
    std::mutex wakeMutex;
    std::function<void()> wake;  // cleared when the backend goes
    int fd = -1;
    int wakeFd = -1;
    int mountFd = -1;
    QString startError;
    std::atomic<bool> stop{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> pauseSeen{false};  // the reader has seen `paused` and reads no more
    std::atomic<int> queueLimit{32768};

    // --- requests from the main thread (requestMutex) ---
    std::mutex requestMutex;
    std::vector<std::function<void()>> requests;
    QString failRequested;
    QSet<quint32> resolving;  // registrations whose folder is looked at aside (a remote mount)

    // --- notices for the main thread (outboxMutex) ---
    std::mutex outboxMutex;
    std::deque<ChangeNotice> outbox;
    QHash<quint32, int> queued;  // per registration, in the outbox

    // --- figures the main thread reads ---
    std::atomic<int> figureWatches{0};
    std::atomic<qint64> figureEntries{0};
    std::atomic<qint64> figureBytes{0};
    std::atomic<int> figureWalks{0};
    std::atomic<qint64> figureListed{0};

    // --- everything else (mutex) ---
    std::mutex mutex;
    std::condition_variable walkerWake;
    bool failed = false;
    QString failure;
    WatchTable table;
    Registrations regs;
    std::deque<Raw> pending;
    QHash<quint32, Raw*> moves;  // by cookie; deque elements keep their address
    QHash<quint64, Raw*> barriers;  // by listing job
    Raw* barrierNow = nullptr;      // where the listing under way tells what it finds
    quint64 compareNow = 0;         // the comparison the listing under way belongs to
    std::map<quint64, Comparison> comparisons;
    quint64 nextComparison = 1;
    std::vector<ChangeNotice> fresh;  // told, not yet in the outbox
    quint64 handedSinceTrim = 0;  // notices handed over since freed heap was last given back
    quint64 readSerial = 0;
    quint64 noticeSerial = 0;
    std::deque<ScanTask> urgent;
    std::vector<ScanTask> tasks;  // taken from the back
    std::map<quint64, WalkJob> jobs;
    quint64 nextJob = 1;
    bool lookoutsDue = false;
    int walkerBusy = 0;
    // The walker's last listed folder, kept open while the walk goes on: its sub-folders, listed
    // next, are opened and checked by their name in it rather than by their whole path. Let go
    // when the walker rests, so that it never keeps a volume from being unmounted.
    struct HeldFolder {
        QByteArray path;
        int fd = -1;
        quint64 device = 0, inode = 0;
        void release();
    } held;
    bool heldStillThere() const;  // the table has the held folder where it was
    // Watched folders renamed while the walker had work queued, in order: a queued folder
    // below one of them is looked for where it went.
    std::vector<std::pair<QByteArray, QByteArray>> movedFolders;
    // Folders that were gone when the walker came, before the reader had read why: a rename
    // read later finds them where they went. Kept until a read begun after them took all there was.
    struct Missed {
        ScanTask task;
        quint64 read;
    };
    std::vector<Missed> missed;
    // volumes
    QList<MountTable::Mount> mounts;
    QSet<QByteArray> pseudoMounts;
    std::vector<QByteArray> remoteMounts;  // network and FUSE mount points
    Clock::time_point nextFreeCheck = Clock::now();
    // associations
    bool assocActive = false;
    bool assocResolved = false;
    QSet<QByteArray> assocDirs;
    // Association files being written: told once, when the writer closes them (a truncating
    // write is two changes to the kernel, which may be read apart).
    QHash<QByteArray, Clock::time_point> assocWriting;
    std::vector<Awaited> awaited;
    // lists of the last folder told (notices come in runs from one folder)
    QString lastFolder;
    ItemIdList lastFolderList;
    QString lastDir;
    ItemIdList lastDirList;
    QSet<QString> roots;
    // the path of the folder of the last event
    const WatchedFolder* pathCacheFolder = nullptr;
    quint64 pathCacheGeneration = 0;
    QByteArray pathCache;

    // === EventReading.cpp ===
    void processRead(const char* buf, qsizetype len);
    void selfEvent(quint32 mask, WatchedFolder* folder, const QByteArray& dir);
    void movedTo(quint32 cookie, const QByteArray& path, bool isDir, bool report);
    void folderRenamed(const QByteArray& from, const QByteArray& to, quint64 serial);
    void unmounted(WatchedFolder* folder);
    void returning(const QByteArray& path, quint64 serial);
    // Registrations whose folder is at `path` again hear it come back, with what it is known to
    // hold; false when there were none.
    bool backAtPlace(const QByteArray& path);
    const QByteArray& pathOf(const WatchedFolder* folder);
    void forgetPaths() { pathCacheFolder = nullptr; }

    // === MovePairing.cpp ===
    Raw item(quint32 mask, const QByteArray& path, bool isDir) const;
    void push(Raw r);
    void pushMove(Raw r);
    void resolveMovedOut(Raw& r);
    // Lists a folder that came and reports all it holds; what is read after it waits until
    // then, so that notices keep the order of the changes.
    void reportFolder(const QByteArray& path) { listInOrder(path, ScanTask::Mode::Report); }
    // The same with another task: what is read after it waits until that is done.
    quint64 listInOrder(const QByteArray& path, ScanTask::Mode mode, quint32 target = 0, bool announce = false);
    // A folder renamed in or around a tree being listed so: what the listing finds from now on
    // is told after the rename, under the new name.
    void listingsRenamed(const QByteArray& from, const QByteArray& to);
    // A watched folder that another one took the place of (a volume mounted over it or
    // unmounted from it): it is told gone, and the folder there now, if any, made with all it
    // holds. Registrations whose own folder it was hear it go and come back by their lookout.
    void replaced(const QByteArray& path, std::vector<quint32> ownersGone);
    void flush();
    // Hands what was told over to the main thread.
    void handOver();
    // The listing under way is first in line: what it found so far is told now.
    void tellListingSoFar();
    int moveTimeoutMs() const;  // until a move or a listing waited for is given up

    // === NoticeRouting.cpp ===
    void tell(Raw& r);
    void out(Registration& reg, ChangeNotice n);
    void targeted(quint32 id, ChangeNotice::Kind kind, quint32 mask, const ItemIdList& first, const QString& text = QString());
    ItemIdList listFor(const QString& path, bool isDir);
    void forgetLists();
    // The paths of a registration's own folders (its root, or those it follows).
    QStringList ownPlaces(const Registration& reg) const;

    // === TreeWalk.cpp ===
    void walkerRun();
    void queueScan(ScanTask task, bool urgently);
    void scan(ScanTask task, std::unique_lock<std::mutex>& lock);
    void follow(const ScanTask& task, std::unique_lock<std::mutex>& lock);
    // Places a watch on `path` without listing it (a lookout); false when it cannot be.
    bool watchOnly(const QByteArray& path, std::unique_lock<std::mutex>& lock);
    bool wanted(const QByteArray& real) const;
    // A mount of a pseudo file system (/proc, /sys ...): never walked.
    bool isPseudoMount(const QByteArray& real) const;
    bool walkUnderWay(const QByteArray& real) const;
    void updateFigures();

    // === MovedDuringWalk.cpp ===
    // Takes `path` where the renames read since the first `seen` of `movedFolders` have taken
    // it; false when none touched it.
    bool renamedSince(QByteArray& path, size_t seen) const;
    bool followMoved(const ScanTask& task);  // queues it again where its folder went
    bool missedFolder(const ScanTask& task);  // kept for a rename yet to be read
    void findMissed(const QByteArray& from, const QByteArray& to);
    void queueDrained();  // the reader took everything the kernel had

    // === WalkJobs.cpp ===
    quint64 startWalk(quint32 id, const QByteArray& root, bool recursive);
    void finishTask(const ScanTask& task, int children);
    void taskFailed(const ScanTask& task, int error, bool watching);
    void jobDone(quint64 job);
    // Drops the watches nothing needs any more, at and below `top` (everywhere when empty).
    void reconcile(const QByteArray& top = QByteArray());
    // Nothing is wanted any more: every kernel watch ends at once, with the descriptor that held
    // them (one by one they cost a system call each). False when no new descriptor could be had.
    bool dropAll();
    // `startedAlready`: it was told it is watching while its folder was still being looked at.
    void addRegistration(quint32 id, const WatchRequest& request, const WatchRoot& root, bool startedAlready = false);
    void removeRegistration(quint32 id);
    void limitReached(const QByteArray& path);
    void refusedLater(const QByteArray& path, const QString& why);

    // === OverflowRescan.cpp ===
    // Applies a listing of `folder` (at `path`) in the task's mode; returns the sub-folders to
    // list next.
    std::vector<ScanTask> applyListing(WatchedFolder* folder, const QByteArray& path, std::vector<Entry>& entries,
                                       const ScanTask& task);
    void reportGone(WatchedFolder* folder, const QByteArray& path, std::string_view name, bool isDir);
    void overflow();
    // A walk of the comparison `id` is done: once all are, each registration hears how much it found.
    void comparisonWalkDone(quint64 id);
    void holdBack(Registration& reg);
    void catchUp(Registration& reg);
    std::vector<std::pair<QByteArray, NameSet>> knownTo(const Registration& reg);

    // === Volumes.cpp ===
    QList<MountTable::Mount> readMounts() const;
    void notePseudoMounts();
    void mountsChanged();
    // The walker's part: whatever was watched at and below a mount point that is another folder
    // now goes, and a registration whose own folder is not the one it watched hears it go.
    void remount(const ScanTask& task, std::unique_lock<std::mutex>& lock);
    void freeSpaceDuty(std::unique_lock<std::mutex>& lock);
    bool wantsFreeSpace() const;
    void noteFreeSpace(Registration& reg, qint64 free);

    // === InotifyBackend.cpp ===
    // Registrations whose own folder, on a network or FUSE mount, is still being looked at
    // aside. One whose server has not answered by `due` starts all the same, told that the
    // folder does not answer, so that it holds up no start after it.
    struct Unresolved {
        Clock::time_point due;
        QString folder;
        QString fsType;
        bool started = false;
    };
    std::map<quint32, Unresolved> unresolved;
    // Starts those due; returns the milliseconds until the next is due (-1: none).
    int unresolvedDue();
    // The look at its folder came back: `why` is empty, or says what is wrong with the folder.
    void resolved(quint32 id, const WatchRequest& request, const WatchRoot& root, const QString& why);

    // === PolledAreas.cpp ===
    std::unique_ptr<FolderPoller> poller;  // taken away under `mutex` when the backend goes
    std::map<quint64, PolledArea> polled;  // by an id of its own
    quint64 nextPolled = 1;
    // Adds an area polled for `reg`, walked by the poller's area `walk`.
    PolledArea& addPolled(Registration& reg, quint64 walk);
    // The poller's area `walk` is no longer walked once no area needs it.
    void releaseWalk(quint64 walk);
    void pollWalkedFor(quint64 id, PolledArea& a, FolderPoller::Walked& w);
    // Polls what the kernel cannot hear of a registration's folder (a network or FUSE mount).
    void pollRemote(Registration& reg);
    // Network and FUSE mounts made inside a watched tree are polled too; those gone are not.
    void pollMountsChanged();
    void pollArea(Registration& reg, const PollChooser::Area& a, bool mountedLater);
    void stopPolling(Registration& reg);
    // What a poller's walk found: told once, what the kernel's events told already left out.
    void pollWalked(FolderPoller::Walked& w);
    void notePolledTold(const Raw& r);
    void pollSettled(Registration& reg);
    // Whether the walker may touch `path`: on a network or FUSE mount only while that mount's
    // poller finds it answering. What it may not touch is covered by the poller alone.
    bool mayTouch(const QByteArray& path) const;
    // A first walk that has not come back in a while (a server that does not answer) holds the
    // registration's start up no longer: it is told that the folder does not answer. Returns
    // the milliseconds until the next such wait ends (-1: none).
    int unansweredPolls();
    std::optional<Clock::time_point> firstWalkDue;  // the earliest such wait ends then
    // A folder that got no kernel watch (the limit) is polled instead, with what it holds
    // reported as created when it just came.
    void pollUnwatched(const ScanTask& task);
    // The line that tells how many folders are polled for want of kernel watches, once.
    QString polledLimitText(Registration& reg);
    // Polled folders are tried with kernel watches again (watches were freed).
    void rewatchPolled();
    void rewatchDone(const WalkJob& job);
    Clock::time_point nextRewatch;
    quint64 lastRewatched = 0;  // areas are tried in turn, so that one too large holds up none

    // === AssociationFiles.cpp ===
    void startAssociations();
    void stopAssociationsIfUnused();
    void lookoutDuty(std::unique_lock<std::mutex>& lock);
    bool isLookout(const QByteArray& real) const;
    // What the kernel is asked to report of the folder at `real`.
    quint32 maskFor(const QByteArray& real) const;
    // An association file changed (`mask` as the kernel told it): true when that is to be told
    // now, false while a write goes on.
    bool associationChanged(const QByteArray& path, quint32 mask);
    // Writes whose close never came (a watch placed without close events, a writer that keeps
    // the file open): told once they have been quiet for a while.
    void associationWritesDue();
    int associationWaitMs() const;
};

// The events asked of the kernel: only changes (opening, reading and closing never make one).
quint32 watchMask();
bool isAssociationFile(std::string_view name);

}  // namespace InotifyDetail
