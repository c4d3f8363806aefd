#include "platform/files/FileAttributes.h"

#include "platform/text/PathBytes.h"

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

}  // namespace FileAttributes
