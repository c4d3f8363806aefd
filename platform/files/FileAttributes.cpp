#include "platform/files/FileAttributes.h"

#include "platform/text/PathBytes.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace FileAttributes {

unsigned of(const QString& path)
{
    const QByteArray name = PathBytes::encode(path);
    struct stat st {};
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0) return Invalid;
    unsigned attributes = 0;
    if (QFileInfo(path).fileName().startsWith(u'.')) attributes |= Hidden;
    if (!(st.st_mode & S_IWUSR)) attributes |= ReadOnly;
    if (S_ISDIR(st.st_mode))
        attributes |= Directory;
    else if (!S_ISREG(st.st_mode))
        attributes |= System;
    return attributes;
}

Details detailsOf(const QByteArray& path)
{
    struct stat st {};
    Details d;
    d.exists = ::stat(path.constData(), &st) == 0 || ::lstat(path.constData(), &st) == 0;
    if (!d.exists) return d;
    d.modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).addMSecs(st.st_mtim.tv_nsec / 1000000);
    d.isFolder = S_ISDIR(st.st_mode);
    d.size = st.st_size;
    return d;
}

qint64 linkSize(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? qint64(st.st_size) : 0;
}

}  // namespace FileAttributes
