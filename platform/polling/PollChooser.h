#pragma once
#include "platform/system/MountTable.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// Which folders of a watch inotify cannot hear in full, decided from the mount table alone.
namespace PollChooser {

// Whether changes on a file system of that type can be made where this kernel does not see
// them: network file systems and every FUSE file system (sshfs, bindfs, gvfsd-fuse, rclone ...).
bool isRemoteType(const QString& fsType);

struct Area {
    QByteArray root;     // the folder polled (the watch's own, or a mount point inside it)
    bool recursive = false;
    QByteArray lane;     // the mount point it lies on: one walk at a time per mount
    QString fsType;
};

// The mount that holds `path` (the longest mount point at or above it); null when none does.
const MountTable::Mount* mountOf(const QList<MountTable::Mount>& mounts, const QByteArray& path);

// The areas of a watch of `root` (real path) that are on remote file systems: the whole watch when
// its folder is, and for a recursive watch every remote mount below it.
std::vector<Area> remoteAreas(const QList<MountTable::Mount>& mounts, const QByteArray& root, bool recursive);

}  // namespace PollChooser
