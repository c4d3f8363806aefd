// The files that tie file types to programs (mimeapps.list in the XDG configuration folders,
// mimeinfo.cache in the applications folders), and folders looked out for: an association
// folder that does not exist yet, and the folder of a registration that went away, are awaited
// by watching the nearest folder above them that exists.
#include "platform/inotify/InotifyState.h"

#include "platform/text/PathBytes.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>

#include <sys/inotify.h>
#include <sys/stat.h>

namespace InotifyDetail {

namespace {

// The folders that may hold association files, links resolved where they exist.
std::vector<QByteArray> associationFolders()
{
    auto env = [](const char* name, const QString& fallback) {
        const QString v = qEnvironmentVariable(name);
        return v.isEmpty() ? fallback : v;
    };
    const QString home = QDir::homePath();
    QStringList dirs;
    dirs << env("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    dirs << env("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(u':', Qt::SkipEmptyParts);
    dirs << env("XDG_DATA_HOME", home + QStringLiteral("/.local/share")) + QStringLiteral("/applications");
    for (const QString& d : env("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")).split(u':', Qt::SkipEmptyParts))
        dirs << d + QStringLiteral("/applications");
    std::vector<QByteArray> found;
    for (const QString& d : dirs) {
        if (!d.startsWith(u'/')) continue;
        QByteArray path = PathBytes::encode(QDir::cleanPath(d));
        if (char* r = ::realpath(path.constData(), nullptr)) {
            path = r;
            std::free(r);
        }
        if (std::find(found.begin(), found.end(), path) == found.end()) found.push_back(path);
    }
    return found;
}

bool isDirectory(const QByteArray& path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray nearestExisting(QByteArray path)
{
    do {
        path = BytePath::parentOf(path);
    } while (!path.isEmpty() && !isDirectory(path));
    return path;
}

}  // namespace

bool isAssociationFile(std::string_view name)
{
    auto endsWith = [&](std::string_view tail) {
        return name.size() >= tail.size() && name.substr(name.size() - tail.size()) == tail;
    };
    return name == "mimeapps.list" || endsWith("-mimeapps.list") || name == "mimeinfo.cache" || name == "defaults.list";
}

namespace {
constexpr auto kUnclosedWrite = std::chrono::seconds(1);
}

quint32 State::maskFor(const QByteArray& real) const
{
    return watchMask() | (assocActive && assocDirs.contains(real) ? quint32(IN_CLOSE_WRITE) : 0u);
}

bool State::associationChanged(const QByteArray& path, quint32 mask)
{
    if (mask & IN_CLOSE_WRITE) return assocWriting.remove(path) > 0;
    if (mask & (IN_CREATE | IN_MODIFY)) {
        assocWriting.insert(path, Clock::now());
        return false;
    }
    // Attributes changed by the writer belong to its write; anything else (removed, renamed, a
    // new file moved in) is a change of its own.
    if ((mask & IN_ATTRIB) && assocWriting.contains(path)) return false;
    assocWriting.remove(path);
    return true;
}

void State::associationWritesDue()
{
    bool due = false;
    const auto now = Clock::now();
    for (auto it = assocWriting.begin(); it != assocWriting.end();) {
        if (now - it.value() >= kUnclosedWrite || stop.load()) {
            it = assocWriting.erase(it);
            due = true;
        } else {
            ++it;
        }
    }
    if (!due) return;
    Raw r;
    r.type = Raw::Type::Assoc;
    r.mask = SHCNE_ASSOCCHANGED;
    push(std::move(r));
}

int State::associationWaitMs() const
{
    if (assocWriting.isEmpty()) return -1;
    auto first = Clock::time_point::max();
    for (const Clock::time_point& t : assocWriting) first = std::min(first, t);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(first + kUnclosedWrite - Clock::now()).count() + 1;
    return int(std::clamp<long long>(ms, 0, 1000));
}

void State::startAssociations()
{
    if (assocActive) return;
    assocActive = true;
    assocResolved = false;
    lookoutsDue = true;
    walkerWake.notify_all();
}

void State::stopAssociationsIfUnused()
{
    if (!assocActive || regs.wants(SHCNE_ASSOCCHANGED)) return;
    assocActive = false;
    assocResolved = false;
    assocDirs.clear();
    assocWriting.clear();
    awaited.clear();
}

bool State::isLookout(const QByteArray& real) const
{
    for (const auto& [id, r] : regs.all())
        if (r.retired && r.lookout == real) return true;
    for (const Awaited& a : awaited)
        if (a.lookout == real) return true;
    return false;
}

void State::lookoutDuty(std::unique_lock<std::mutex>& lock)
{
    if (assocActive && !assocResolved) {
        lock.unlock();
        const std::vector<QByteArray> folders = associationFolders();
        lock.lock();
        if (!assocActive) return;
        assocResolved = true;
        assocDirs.clear();
        awaited.clear();
        for (const QByteArray& f : folders) {
            assocDirs.insert(f);
            awaited.push_back({f, {}});
        }
    }

    // Association folders: watched once they exist. The lookout's watch is in place before
    // the folder is looked for again, so that one made in between is not missed.
    for (size_t i = 0; i < awaited.size();) {
        const QByteArray path = awaited[i].path;
        bool found = false;
        for (int tries = 0; tries < 16 && !found; ++tries) {
            lock.unlock();
            const bool exists = isDirectory(path);
            const QByteArray above = exists ? QByteArray() : nearestExisting(path);
            lock.lock();
            if (i >= awaited.size() || awaited[i].path != path) return;  // changed meanwhile
            if (exists) {
                found = true;
                break;
            }
            if (above.isEmpty() || (above == awaited[i].lookout && table.find(above) && table.find(above)->watched())) break;
            awaited[i].lookout = above;
            watchOnly(above, lock);
            if (i >= awaited.size() || awaited[i].path != path) return;
        }
        if (found) {
            awaited.erase(awaited.begin() + qsizetype(i));
            queueScan({path, ScanTask::Mode::Baseline}, true);
        } else {
            ++i;
        }
    }

    // Registrations whose folder went away: back when a folder is at its place again.
    std::vector<quint32> waiting;
    for (const auto& [id, r] : regs.all())
        if (r.retired && r.req.scope == WatchRequest::Scope::Folder) waiting.push_back(id);
    for (quint32 id : waiting) {
        for (int tries = 0; tries < 16; ++tries) {
            Registration* reg = regs.find(id);
            if (!reg || !reg->retired) break;
            const QByteArray path = reg->root.real;
            lock.unlock();
            const bool exists = isDirectory(path);
            const QByteArray above = exists ? QByteArray() : nearestExisting(path);
            lock.lock();
            reg = regs.find(id);
            if (!reg || !reg->retired || reg->root.real != path) break;
            if (exists) {
                // Those watching from above hear a folder made there from the kernel, but not
                // a volume mounted back.
                if (reg->backTellsAll) push(item(SHCNE_MKDIR, path, true));
                backAtPlace(path);
                reportFolder(path);
                break;
            }
            if (above.isEmpty()) break;
            if (above == reg->lookout && table.find(above) && table.find(above)->watched()) break;
            reg->lookout = above;
            if (!watchOnly(above, lock)) {
                if (Registration* again = regs.find(id)) again->lookout.clear();
            }
        }
    }
    reconcile();
}

}  // namespace InotifyDetail
