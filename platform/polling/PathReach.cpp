#include "platform/polling/PathReach.h"

#include "platform/polling/PollChooser.h"

#include <climits>

#include <sys/stat.h>
#include <unistd.h>

namespace PathReach {

bool asksRemote(const QList<MountTable::Mount>& mounts, const QByteArray& path)
{
    return remoteMount(mounts, path) != nullptr;
}

const MountTable::Mount* remoteMount(const QList<MountTable::Mount>& mounts, const QByteArray& path)
{
    bool anyRemote = false;
    for (const MountTable::Mount& m : mounts) anyRemote = anyRemote || PollChooser::isRemoteType(m.fsType);
    if (!anyRemote || !path.startsWith('/')) return nullptr;
    auto remote = [&](const QByteArray& p) -> const MountTable::Mount* {
        const MountTable::Mount* m = PollChooser::mountOf(mounts, p);
        return m && PollChooser::isRemoteType(m->fsType) ? m : nullptr;
    };
    // Resolved name by name, as the kernel would: each step is judged by the table before it
    // is looked at, so nothing of a remote mount is ever asked.
    QList<QByteArray> rest = path.split('/');
    QByteArray done = "/";
    int links = 0;
    while (!rest.isEmpty()) {
        const QByteArray part = rest.takeFirst();
        if (part.isEmpty() || part == ".") continue;
        if (part == "..") {
            const qsizetype slash = done.lastIndexOf('/');
            done = slash <= 0 ? QByteArray("/") : done.left(slash);
            continue;
        }
        const QByteArray next = done == "/" ? "/" + part : done + "/" + part;
        if (const MountTable::Mount* m = remote(next)) return m;
        struct stat st {};
        if (::lstat(next.constData(), &st) != 0) return nullptr;  // not there: nothing further is asked
        if (!S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        if (++links > 40) return nullptr;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(next.constData(), target, sizeof target);
        if (n <= 0 || size_t(n) >= sizeof target) return nullptr;
        const QByteArray to(target, n);
        if (to.startsWith('/')) done = "/";
        rest = to.split('/') + rest;
    }
    return remote(done);
}

}  // namespace PathReach
