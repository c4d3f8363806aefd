#pragma once
#include "platform/changes/ChangeBackend.h"
#include "platform/inotify/NameSet.h"
#include "platform/inotify/WatchTable.h"

#include <QByteArray>
#include <QMultiHash>
#include <QString>

#include <map>
#include <utility>
#include <vector>

// A folder a registration watches: under the path it was given (links kept) and where that
// path leads (links resolved), which is where the kernel's events name it.
struct WatchRoot {
    QString user;
    QByteArray real;
    bool recursive = false;
};

struct Registration {
    quint32 id = 0;
    WatchRequest req;
    WatchRoot root;                               // Scope::Folder
    QMultiHash<QByteArray, QString> followed;     // Scope::Followed: real path -> the paths given

    quint64 job = 0;          // the walk it waits for; 0 once its folders are watched
    bool watching = false;    // its folders are watched and it has been told so
    bool toldWatching = false;            // that notice has gone out
    std::vector<ChangeNotice> early;      // what came for it before that, in order

    // Its folder went away: quiet until a folder is back at its place. Meanwhile the nearest
    // folder above it that exists is watched.
    bool retired = false;
    QByteArray lookout;
    quint64 backFrom = 0;     // the first notice it hears since its folder came back
    bool backTellsAll = false; // its folder was replaced unheard of (a volume): its return is news to all

    bool toldLimit = false;   // the watch limit is told once
    bool toldRefusal = false; // so is a folder that cannot be watched
    qint64 lastFree = -1;
    quint32 drive = 0;

    // Its window holds too many notices: none are queued for it from `quietFrom` on; what it
    // knew then is kept, and compared with what is known when it has caught up.
    bool heldBack = false;
    quint64 quietFrom = 0;
    quint64 quietTo = 0;      // notices up to here are told by that comparison
    std::vector<std::pair<QByteArray, NameSet>> knew;
    int queued = 0;           // its notices waiting in the outbox
    std::map<quint64, int> foundByComparison;  // items told it by each comparison after an overflow

    // Folders of it that are polled; its Watching notice waits for their first walks.
    std::vector<quint64> polledAreas;
    int pollsUnsettled = 0;
    std::vector<ChangeNotice> waitingForPolls;
    bool toldPolled = false;

    // Whether a notice of that serial number is not for it (held back, or from before its
    // folder came back).
    bool quietFor(quint64 serial) const { return serial < backFrom || heldBackFor(serial); }
    // Whether a notice of that serial number is told by the comparison after a hold-back.
    bool heldBackFor(quint64 serial) const
    {
        if (heldBack) return serial > quietFrom;
        return serial > quietFrom && serial <= quietTo;
    }
    // Whether a volume mounted or unmounted at `real` lies where it listens (whether or not its
    // folder is there now).
    bool coversVolumeAt(const QByteArray& real) const
    {
        if (req.scope != WatchRequest::Scope::Folder) return false;
        return root.recursive ? BytePath::isAtOrUnder(real, root.real)
                              : real == root.real || BytePath::parentOf(real) == root.real;
    }
};

// How a notice concerns a path: as an item of its folder, or as a folder whose contents changed.
enum class Concern { Item, Contents };

class Registrations {
public:
    Registration* find(quint32 id);
    Registration& add(quint32 id, const WatchRequest& request, const WatchRoot& root);
    void remove(quint32 id) { regs_.erase(id); }
    std::map<quint32, Registration>& all() { return regs_; }
    const std::map<quint32, Registration>& all() const { return regs_; }

    // Whether some registration needs the folder watched (a lookout aside).
    bool needed(const QByteArray& real) const;
    // Whether every folder at and below `real` is kept watched already (a registration that
    // covers it with its sub-folders has its walk done).
    bool keptWatched(const QByteArray& real) const;
    // The registrations whose folder is at or below `path`.
    std::vector<quint32> rootsAt(const QByteArray& path) const;
    bool anyRetired() const;
    bool wants(quint32 mask) const;

    // The paths under which `reg` hears of the object at `real`, each handed to `place`.
    template <class F>
    void placesOf(const Registration& reg, const QByteArray& real, Concern concern, F place) const;

private:
    std::map<quint32, Registration> regs_;
};

// Helpers of placesOf, out of line.
namespace RegistrationPaths {
// `user` followed by the part of `real` below `realRoot`.
QString below(const QString& user, const QByteArray& realRoot, const QByteArray& real);
QString child(const QString& userFolder, std::string_view name);
}  // namespace RegistrationPaths

template <class F>
void Registrations::placesOf(const Registration& reg, const QByteArray& real, Concern concern, F place) const
{
    if (reg.retired) return;
    switch (reg.req.scope) {
    case WatchRequest::Scope::Folder: {
        const WatchRoot& r = reg.root;
        if (real == r.real) {
            place(r.user);
        } else if (concern == Concern::Contents) {
            if (r.recursive && BytePath::isUnder(real, r.real)) place(RegistrationPaths::below(r.user, r.real, real));
        } else if (r.recursive ? BytePath::isUnder(real, r.real) : BytePath::parentOf(real) == r.real) {
            place(RegistrationPaths::below(r.user, r.real, real));
        }
        break;
    }
    case WatchRequest::Scope::Followed: {
        for (auto it = reg.followed.constFind(real); it != reg.followed.constEnd() && it.key() == real; ++it) place(*it);
        if (concern == Concern::Contents) break;
        const qsizetype slash = real.lastIndexOf('/');
        if (slash < 0) break;
        const QByteArray parent = slash == 0 ? QByteArray("/") : real.left(slash);
        if (parent == real) break;
        const std::string_view name(real.constData() + slash + 1, size_t(real.size() - slash - 1));
        for (auto it = reg.followed.constFind(parent); it != reg.followed.constEnd() && it.key() == parent; ++it)
            place(RegistrationPaths::child(*it, name));
        break;
    }
    case WatchRequest::Scope::Computer: break;
    }
}
