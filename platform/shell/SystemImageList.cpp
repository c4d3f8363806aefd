#include "platform/shell/SystemImageList.h"

#include <QApplication>
#include <QHash>
#include <QStringList>
#include <QStyle>

namespace SystemImageList {
namespace {

struct Store {
    QStringList names;
    QHash<QString, int> index;
    QHash<int, QIcon> icons;
};

Store& store()
{
    static Store s;
    return s;
}

QIcon fallback(const QString& name)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return {};
    QStyle* style = QApplication::style();
    if (name == u"folder-open") return style->standardIcon(QStyle::SP_DirOpenIcon);
    if (name.startsWith(u"folder") || name == u"user-desktop") return style->standardIcon(QStyle::SP_DirIcon);
    if (name == u"user-home") return style->standardIcon(QStyle::SP_DirHomeIcon);
    if (name == u"computer") return style->standardIcon(QStyle::SP_ComputerIcon);
    if (name.startsWith(u"drive-removable")) return style->standardIcon(QStyle::SP_DriveFDIcon);
    if (name.startsWith(u"drive")) return style->standardIcon(QStyle::SP_DriveHDIcon);
    return style->standardIcon(QStyle::SP_FileIcon);
}

}  // namespace

int indexOf(const QString& iconName)
{
    Store& s = store();
    auto it = s.index.constFind(iconName);
    if (it != s.index.constEnd()) return *it;
    s.names.append(iconName);
    const int i = int(s.names.size() - 1);
    s.index.insert(iconName, i);
    return i;
}

QIcon icon(int index)
{
    Store& s = store();
    if (index < 0 || index >= s.names.size()) return {};
    auto it = s.icons.constFind(index);
    if (it != s.icons.constEnd()) return *it;
    const QString& name = s.names[index];
    QIcon made = QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : fallback(name);
    s.icons.insert(index, made);
    return made;
}

}  // namespace SystemImageList
