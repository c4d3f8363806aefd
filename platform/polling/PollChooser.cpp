#include "platform/polling/PollChooser.h"

#include "platform/text/PathBytes.h"

namespace PollChooser {

namespace {

bool atOrUnder(const QByteArray& path, const QByteArray& top)
{
    if (top == "/") return path.startsWith('/');
    return path == top || (path.startsWith(top) && path.size() > top.size() && path[top.size()] == '/');
}

}  // namespace

bool isRemoteType(const QString& fsType)
{
    static const QStringList network = {
        QStringLiteral("nfs"),   QStringLiteral("nfs4"),  QStringLiteral("cifs"),     QStringLiteral("smb3"),
        QStringLiteral("smbfs"), QStringLiteral("9p"),    QStringLiteral("afs"),      QStringLiteral("ceph"),
        QStringLiteral("glusterfs"), QStringLiteral("lustre"), QStringLiteral("gfs2"), QStringLiteral("ocfs2"),
        QStringLiteral("davfs"), QStringLiteral("ncpfs"), QStringLiteral("coda"),     QStringLiteral("virtiofs"),
        QStringLiteral("fuse"),  QStringLiteral("fuseblk"),
    };
    return fsType.startsWith(QLatin1String("fuse.")) || network.contains(fsType);
}

const MountTable::Mount* mountOf(const QList<MountTable::Mount>& mounts, const QByteArray& path)
{
    const MountTable::Mount* best = nullptr;
    qsizetype bestLength = -1;
    // The last of equal mount points is the one on top.
    for (const MountTable::Mount& m : mounts) {
        const QByteArray point = PathBytes::encode(m.mountPoint);
        if (!atOrUnder(path, point) || point.size() < bestLength) continue;
        best = &m;
        bestLength = point.size();
    }
    return best;
}

std::vector<Area> remoteAreas(const QList<MountTable::Mount>& mounts, const QByteArray& root, bool recursive)
{
    std::vector<Area> areas;
    const MountTable::Mount* own = mountOf(mounts, root);
    if (own && isRemoteType(own->fsType)) {
        areas.push_back({root, recursive, PathBytes::encode(own->mountPoint), own->fsType});
    }
    if (!recursive) return areas;
    for (const MountTable::Mount& m : mounts) {
        const QByteArray point = PathBytes::encode(m.mountPoint);
        if (point == root || !atOrUnder(point, root) || !isRemoteType(m.fsType)) continue;
        // A walk stays on its own mount, so each remote mount below is an area of its own (one
        // that another mount hides is not).
        if (mountOf(mounts, point) != &m) continue;
        areas.push_back({point, true, point, m.fsType});
    }
    return areas;
}

}  // namespace PollChooser
