// What the namespace and its folders both need of a path. Internal to platform/shell/.
#pragma once
#include "platform/shell/ItemIdList.h"
#include "platform/text/PathBytes.h"

#include <QString>

#include <sys/stat.h>

#include <utility>

namespace ShellPaths {

inline QByteArray encoded(const QString& path) { return PathBytes::encode(path); }

inline bool statPath(const QString& path, struct stat& st, bool follow)
{
    const QByteArray p = encoded(path);
    return (follow ? ::stat(p.constData(), &st) : ::lstat(p.constData(), &st)) == 0;
}

inline QString joinPath(const QString& base, const QString& name)
{
    if (base.endsWith(u'/')) return base + name;
    return base + u'/' + name;
}

inline bool isFolderKind(ItemIdList::Kind k)
{
    using Kind = ItemIdList::Kind;
    return k == Kind::Folder || k == Kind::Home || k == Kind::Volume || k == Kind::Computer;
}

// The mount point and label of a volume item's text.
inline std::pair<QString, QString> volumeParts(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul < 0) return {text, QString()};
    return {text.left(nul), text.mid(nul + 1)};
}

}  // namespace ShellPaths
