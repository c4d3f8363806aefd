#pragma once
#include "platform/polling/TreeSnapshot.h"

#include <QByteArray>
#include <QHash>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// Polls folders by walking and comparing them, one thread per mount ("lane"), one walk at a
// time on each: a server that stops answering holds up the walks of its own mount alone. What a
// walk finds is handed to `walked` on the lane's thread.
class FolderPoller {
public:
    using Clock = std::chrono::steady_clock;

    struct Walked {
        quint64 area = 0;
        bool first = false;          // the walk that learnt what is there: no changes
        bool failed = false;         // the folder itself could not be read (gone, a dead server)
        bool gone = false;           // ... for it is not there: `changes` tell what went with it
        std::vector<PollChange> changes;
        std::shared_ptr<const TreeSnapshot> found;  // what the walk found (none when it failed)
        Clock::time_point startedAt; // what happened before this is in the walk
        qsizetype entries = 0;
        qsizetype folders = 0;
        std::chrono::milliseconds interval{0};  // until the next walk
    };

    explicit FolderPoller(std::function<void(Walked&)> walked);
    // Stops every lane; a lane held up in a walk is left behind (it ends by itself when its
    // walk returns).
    ~FolderPoller();
    FolderPoller(const FolderPoller&) = delete;
    FolderPoller& operator=(const FolderPoller&) = delete;

    // Starts polling `root` on the lane of mount `lane`; its first walk comes at once and learns
    // what is there, or with `reportAll` tells all of it as created.
    quint64 add(const QByteArray& lane, const QByteArray& root, bool recursive, bool reportAll = false);
    void remove(quint64 area);
    // The next walk of `area` comes at once.
    void pollSoon(quint64 area);
    // Whether the mount of lane `lane` is known to answer: a walk of it came back lately and
    // none has been under way for long. Other threads may then touch paths on it; a mount whose
    // server stops answering is found out by its own lane, which waits alone.
    bool answering(const QByteArray& lane) const;
    static constexpr auto kAnswerHeld = std::chrono::seconds(1);   // a walk under way longer: not answering
    static constexpr auto kAnswerKept = std::chrono::seconds(5);   // beyond the interval between walks

    // How long to rest between walks of that many entries: about 2 s for small trees, longer
    // for large ones.
    static std::chrono::milliseconds intervalFor(qsizetype entries);
    // Never less than this many times the processor time the last walk took, nor than this many
    // times the quickest of the last `kWalksRemembered` walks took: polling never keeps a core
    // busy, nor a slow server, and one walk held up once (a busy processor, a server's hiccup)
    // does not stretch the wait for the next.
    static constexpr int kRestFactor = 10;
    static constexpr int kWalksRemembered = 3;

    // The memory the snapshots take, and how many entries they hold.
    struct Figures {
        qint64 entries = 0;
        qint64 bytes = 0;
        qint64 walks = 0;
    };
    Figures figures() const;

private:
    struct Lane;
    std::function<void(Walked&)> walked_;
    mutable std::mutex mutex_;
    std::map<QByteArray, std::shared_ptr<Lane>> lanes_;
    QHash<quint64, QByteArray> laneOf_;
    quint64 next_ = 1;
};
