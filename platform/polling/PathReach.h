#pragma once
#include "platform/system/MountTable.h"

#include <QByteArray>
#include <QList>

// Whether looking at a path would ask a network or FUSE server, which may never answer: decided
// from the mount table and from local folders alone, so that a thread that must never wait on a
// dead server (the window's) can tell before it touches the path.
namespace PathReach {

// True when `path` (absolute), or a link on its way, leads onto a network or FUSE mount. Only
// folders of local file systems are looked at (lstat, readlink), never one of such a mount.
bool asksRemote(const QList<MountTable::Mount>& mounts, const QByteArray& path);

// The network or FUSE mount that `path` leads onto, as asksRemote finds it; null when none.
const MountTable::Mount* remoteMount(const QList<MountTable::Mount>& mounts, const QByteArray& path);

}  // namespace PathReach
