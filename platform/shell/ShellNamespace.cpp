#include "platform/shell/ShellNamespace.h"

#include "platform/system/MountTable.h"
#include "platform/text/PathBytes.h"
#include "platform/polling/PathReach.h"
#include "platform/polling/PollChooser.h"
#include "platform/text/PathRelations.h"
#include "platform/shell/ShellPaths.h"
#include "platform/shell/SystemImageList.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMutex>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using Kind = ItemIdList::Kind;

namespace {

using namespace ShellPaths;

const QString kComputerParsingName = QStringLiteral("computer:///");

struct VolumeCache {
    QMutex mutex;
    bool loaded = false;
    QList<ShellNamespace::Volume> volumes;
};

VolumeCache& volumeCache()
{
    static VolumeCache c;
    return c;
}

}  // namespace


namespace ShellNamespace {

QString Volume::name() const { return MountTable::volumeName(mountPoint, label); }

QString homePath()
{
    static const QString home = QDir::cleanPath(QDir::homePath());
    return home;
}

QString desktopPath()
{
    // Read once: the user's folder settings are a file, and names are asked for often.
    static QMutex mutex;
    static QString cached;
    QMutexLocker lock(&mutex);
    if (cached.isEmpty()) {
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        cached = !desktop.isEmpty() && QFileInfo(desktop).isDir() ? QDir::cleanPath(desktop) : homePath();
    }
    return cached;
}

double shellVersion() { return 6.0; }

void refreshVolumes()
{
    QList<Volume> list;
    for (const MountTable::Mount& m : MountTable::current()) {
        if (!MountTable::isVolume(m.mountPoint)) continue;
        bool seen = false;
        for (const Volume& v : list) seen = seen || v.mountPoint == m.mountPoint;
        if (!seen) list.append(Volume{m.mountPoint, MountTable::labelOf(m)});
    }
    std::sort(list.begin(), list.end(), [](const Volume& a, const Volume& b) {
        if ((a.mountPoint == u"/") != (b.mountPoint == u"/")) return a.mountPoint == u"/";
        return a.mountPoint < b.mountPoint;
    });
    if (list.isEmpty() || list.first().mountPoint != u"/") list.prepend(Volume{QStringLiteral("/"), QString()});
    VolumeCache& c = volumeCache();
    QMutexLocker lock(&c.mutex);
    c.volumes = list;
    c.loaded = true;
}

QList<Volume> volumes()
{
    VolumeCache& c = volumeCache();
    {
        QMutexLocker lock(&c.mutex);
        if (c.loaded) return c.volumes;
    }
    refreshVolumes();
    QMutexLocker lock(&c.mutex);
    return c.volumes;
}

ItemIdList computerList() { return ItemIdList::element(Kind::Computer); }

ItemIdList volumeList(const QString& mountPoint, const QString& label)
{
    QString text = mountPoint;
    if (!label.isEmpty()) text += QChar(0) + label;
    return computerList().appended(ItemIdList::element(Kind::Volume, text));
}

ItemIdList listForPath(const QString& absolutePath, bool isFolder)
{
    if (!absolutePath.startsWith(u'/')) return {};
    const QString path = QDir::cleanPath(absolutePath);
    // The root whose path is the longest prefix: Home or a volume.
    const QString home = homePath();
    auto covers = [&path](const QString& root) { return PathRelations::isAtOrUnder(path, root); };
    QString rootPath;
    ItemIdList list;
    if (home != u"/" && covers(home)) {
        rootPath = home;
        list = ItemIdList::desktop().appended(ItemIdList::element(Kind::Home, home));
    }
    for (const Volume& v : volumes()) {
        if (covers(v.mountPoint) && (rootPath.isEmpty() || v.mountPoint.size() > rootPath.size())) {
            rootPath = v.mountPoint;
            list = volumeList(v.mountPoint, v.label);
        }
    }
    if (rootPath.isEmpty()) {
        rootPath = QStringLiteral("/");
        list = volumeList(rootPath, QString());
    }
    if (path.size() == rootPath.size()) return list;
    const QStringList parts = path.mid(rootPath == u"/" ? 1 : rootPath.size() + 1).split(u'/');
    for (int i = 0; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        list = list.appended(ItemIdList::element(last && !isFolder ? Kind::File : Kind::Folder, parts[i]));
    }
    return list;
}

namespace {

// The mount table as this thread read it lately: a tree of thousands of items asks once per
// item, and reading the table each time would cost more than the item itself. A mount made in
// the last quarter second may be missed.
const QList<MountTable::Mount>& recentMounts()
{
    thread_local QList<MountTable::Mount> mounts;
    thread_local QElapsedTimer age;
    if (!age.isValid() || age.elapsed() > 250) {
        mounts = MountTable::current();
        age.start();
    }
    return mounts;
}

}  // namespace

ItemIdList parse(const QString& name)
{
    if (name == kComputerParsingName) return computerList();
    if (!name.startsWith(u'/')) return {};
    const QString path = QDir::cleanPath(name);
    // A path on a network or FUSE mount is not looked at here (this may be the window's thread,
    // and its server may not answer): taken as a folder, which is what is parsed from a name
    // typed or stored; whoever uses it finds out the rest off this thread.
    if (PathReach::asksRemote(recentMounts(), encoded(path))) return listForPath(path, true);
    struct stat st;
    if (statPath(path, st, true)) return listForPath(path, S_ISDIR(st.st_mode));
    if (statPath(path, st, false)) return listForPath(path, false);  // a link to nothing
    return {};
}

QString pathOf(const ItemIdList& absolute)
{
    if (absolute.isNull()) return {};
    // One pass over the items: this runs for every item of every event.
    QString path;
    qsizetype at = 0;
    ItemIdList::Kind kind;
    QByteArrayView text;
    for (bool first = true; absolute.next(at, kind, text); first = false) {
        if (first && (kind == Kind::Folder || kind == Kind::File)) path = desktopPath();
        switch (kind) {
        case Kind::Home: path = PathBytes::decode(text.data(), text.size()); break;
        case Kind::Computer: path = kComputerParsingName; break;
        case Kind::Volume: path = volumeParts(PathBytes::decode(text.data(), text.size())).first; break;
        case Kind::Folder:
        case Kind::File:
            if (path == kComputerParsingName) return {};
            // Grown in place: a new string per item would copy the path once per level.
            if (!path.endsWith(u'/')) path += u'/';
            path += PathBytes::decode(text.data(), text.size());
            break;
        case Kind::Unknown: return {};
        }
    }
    return at == 0 ? desktopPath() : path;
}

QString fileSystemPathOf(const ItemIdList& absolute)
{
    const QString path = pathOf(absolute);
    return path.startsWith(u'/') ? path : QString();
}

QString displayNameOf(const ItemIdList& absolute)
{
    if (absolute.isNull()) return {};
    switch (absolute.lastKind()) {
    case Kind::Home: return QStringLiteral("Home");
    case Kind::Computer: return QStringLiteral("Computer");
    case Kind::Volume: {
        const auto [mount, label] = volumeParts(absolute.lastText());
        return MountTable::volumeName(mount, label);
    }
    case Kind::Folder:
    case Kind::File: return absolute.lastText();
    case Kind::Unknown: break;
    }
    return absolute.isDesktop() ? QStringLiteral("Desktop") : QString();
}

std::shared_ptr<ShellFolder> desktopFolder()
{
    // Holds nothing but the empty list: one serves everybody.
    static const std::shared_ptr<ShellFolder> desktop = std::make_shared<ShellFolder>(ItemIdList::desktop());
    return desktop;
}

ItemIdList specialFolderLocation(int csidl)
{
    auto existing = [](const QString& path) { return path.isEmpty() ? ItemIdList() : parse(path); };
    auto standard = [&](QStandardPaths::StandardLocation l) {
        return existing(QStandardPaths::writableLocation(l));
    };
    auto dataHome = [] { return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation); };
    auto configHome = [] { return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation); };
    switch (csidl) {
    case CSIDL_DESKTOP: return ItemIdList::desktop();
    case CSIDL_DRIVES: return computerList();
    case CSIDL_DESKTOPDIRECTORY: return parse(desktopPath());
    case CSIDL_PERSONAL: return standard(QStandardPaths::DocumentsLocation);
    case CSIDL_TEMPLATES: {
        // Templates has no Qt location; the XDG default is used when the folder exists.
        return existing(joinPath(homePath(), QStringLiteral("Templates")));
    }
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU: return standard(QStandardPaths::ApplicationsLocation);
    case CSIDL_COMMON_PROGRAMS:
    case CSIDL_COMMON_STARTMENU: return existing(QStringLiteral("/usr/share/applications"));
    case CSIDL_STARTUP: return existing(joinPath(configHome(), QStringLiteral("autostart")));
    case CSIDL_COMMON_STARTUP: return existing(QStringLiteral("/etc/xdg/autostart"));
    case CSIDL_BITBUCKET: return existing(joinPath(dataHome(), QStringLiteral("Trash/files")));
    case CSIDL_FONTS: return existing(joinPath(dataHome(), QStringLiteral("fonts")));
    case CSIDL_APPDATA: return existing(configHome());
    case CSIDL_INTERNET_CACHE: return standard(QStandardPaths::GenericCacheLocation);
    default: return {};
    }
}


FileInfo fileInfo(const ItemIdList& absolute, quint32 requestedAttributes, bool openIcon)
{
    FileInfo info;
    if (absolute.isNull()) return info;
    info.displayName = displayNameOf(absolute);
    const ItemIdList parent = absolute.isDesktop() ? ItemIdList::desktop() : absolute.parent();
    ShellFolder folder(parent);
    const ItemIdList child = absolute.isDesktop() ? ItemIdList::desktop() : absolute.lastElement();
    // An item on a network or FUSE mount is never touched here (this is the window's thread, and
    // its server may not answer): what the list tells is all it gets.
    quint32 ask = requestedAttributes;
    if (ask && !absolute.isDesktop()) {
        const QString path = pathOf(absolute);
        if (const MountTable::Mount* m = path.isEmpty() ? nullptr : PollChooser::mountOf(recentMounts(), encoded(path));
            m && PollChooser::isRemoteType(m->fsType))
            ask &= SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    }
    info.attributes = ask ? folder.GetAttributesOf(child, ask) : 0;
    QString icon;
    switch (absolute.lastKind()) {
    case Kind::Home: icon = QStringLiteral("user-home"); info.typeName = QStringLiteral("Folder"); break;
    case Kind::Computer: icon = QStringLiteral("computer"); info.typeName = QStringLiteral("System Folder"); break;
    case Kind::Volume: {
        const QString mount = volumeParts(absolute.lastText()).first;
        const bool removable = mount.startsWith(u"/media/") || mount.startsWith(u"/run/media/");
        icon = removable ? QStringLiteral("drive-removable-media") : QStringLiteral("drive-harddisk");
        info.typeName = QStringLiteral("Volume");
        break;
    }
    case Kind::Folder:
        icon = openIcon ? QStringLiteral("folder-open") : QStringLiteral("folder");
        info.typeName = QStringLiteral("Folder");
        break;
    case Kind::File: {
        // By name only: making an icon never reads the file.
        static const QMimeDatabase db;
        const QMimeType type = db.mimeTypeForFile(absolute.lastText(), QMimeDatabase::MatchExtension);
        icon = type.iconName();
        info.typeName = type.comment();
        break;
    }
    case Kind::Unknown:
        if (absolute.isDesktop()) {
            icon = QStringLiteral("user-desktop");
            info.typeName = QStringLiteral("System Folder");
        }
        break;
    }
    if (!icon.isEmpty()) info.iconIndex = SystemImageList::indexOf(icon);
    return info;
}

}  // namespace ShellNamespace
