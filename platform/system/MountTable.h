#pragma once
#include <QList>
#include <QString>

// The mounted file systems, as the kernel's mount table lists them, and the volumes among them
// that the namespace shows under Computer.
namespace MountTable {

struct Mount {
    QString mountPoint;
    QString fsType;
    QString source;  // the device or other source named by the table
    friend bool operator==(const Mount&, const Mount&) = default;
};

// Parses the text of a mount table in the kernel's mountinfo format (escapes such as "\040"
// undone); lines it can't read are skipped.
QList<Mount> parse(const QByteArray& mountinfo);

// The current table of this process.
QList<Mount> current();

// The path of the table; reading it tells of changes by an exceptional-condition poll.
QString tablePath();

// Whether a mount point is shown as a volume: "/" and every mount under /media, /run/media
// and /mnt.
bool isVolume(const QString& mountPoint);

// The name a volume is shown by: "File System" for "/", else its label, else the mount
// folder's name.
QString volumeName(const QString& mountPoint, const QString& label);

// The label of a mount's source device (from /dev/disk/by-label); empty when it has none.
QString labelOf(const Mount& mount);

}  // namespace MountTable
