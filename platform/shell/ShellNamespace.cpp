#include "platform/shell/ShellNamespace.h"

#include "platform/system/MountTable.h"
#include "platform/text/PathBytes.h"
#include "platform/polling/PollChooser.h"
#include "platform/text/PathRelations.h"
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

const QString kComputerParsingName = QStringLiteral("computer:///");

QByteArray encoded(const QString& path) { return PathBytes::encode(path); }

bool statPath(const QString& path, struct stat& st, bool follow)
{
    const QByteArray p = encoded(path);
    return (follow ? ::stat(p.constData(), &st) : ::lstat(p.constData(), &st)) == 0;
}

QString joinPath(const QString& base, const QString& name)
{
    if (base.endsWith(u'/')) return base + name;
    return base + u'/' + name;
}

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

bool isFolderKind(Kind k) { return k == Kind::Folder || k == Kind::Home || k == Kind::Volume || k == Kind::Computer; }

// The mount point and label of a volume item's text.
std::pair<QString, QString> volumeParts(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul < 0) return {text, QString()};
    return {text.left(nul), text.mid(nul + 1)};
}

int kindRank(Kind k)
{
    switch (k) {
    case Kind::Home: return 0;
    case Kind::Computer: return 1;
    case Kind::Volume: return 2;
    case Kind::Folder: return 3;
    case Kind::File: return 4;
    case Kind::Unknown: break;
    }
    return 5;
}

// The shell's order of two items of one folder: folders before files, then by name regardless
// of case; "/" first among volumes.
int compareElements(const ItemIdList& list, int i, const ItemIdList& other, int j)
{
    const Kind a = list.kind(i), b = other.kind(j);
    if (kindRank(a) != kindRank(b)) return kindRank(a) < kindRank(b) ? -1 : 1;
    QString na = list.text(i), nb = other.text(j);
    if (a == Kind::Volume) {
        const auto [ma, la] = volumeParts(na);
        const auto [mb, lb] = volumeParts(nb);
        if ((ma == u"/") != (mb == u"/")) return ma == u"/" ? -1 : 1;
        na = MountTable::volumeName(ma, la);
        nb = MountTable::volumeName(mb, lb);
    }
    if (const int c = na.compare(nb, Qt::CaseInsensitive)) return c < 0 ? -1 : 1;
    if (const int c = na.compare(nb, Qt::CaseSensitive)) return c < 0 ? -1 : 1;
    if (a == Kind::Unknown) {
        const QByteArray pa = list.payload(i), pb = other.payload(j);
        if (pa != pb) return pa < pb ? -1 : 1;
    }
    return 0;
}

bool hasVisibleSubFolder(const QString& path)
{
    DIR* d = ::opendir(encoded(path).constData());
    if (!d) return false;
    bool found = false;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        if (e->d_type == DT_DIR) { found = true; break; }
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            if (statPath(joinPath(path, PathBytes::decode(e->d_name, qsizetype(std::strlen(e->d_name)))), st, true) && S_ISDIR(st.st_mode)) {
                found = true;
                break;
            }
        }
    }
    ::closedir(d);
    return found;
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

ItemIdList parse(const QString& name)
{
    if (name == kComputerParsingName) return computerList();
    if (!name.startsWith(u'/')) return {};
    const QString path = QDir::cleanPath(name);
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

ShellFolder::ShellFolder(ItemIdList absolute) : list_(std::move(absolute)) {}

QString ShellFolder::path() const { return ShellNamespace::pathOf(list_); }

ItemIdList ShellFolder::ParseDisplayName(const QString& name) const
{
    if (list_.isDesktop()) return ShellNamespace::parse(name);
    const QString base = ShellNamespace::fileSystemPathOf(list_);
    if (base.isEmpty() || name.isEmpty() || name.startsWith(u'/')) return {};
    const ItemIdList absolute = ShellNamespace::parse(joinPath(base, name));
    const QString resolved = ShellNamespace::pathOf(absolute);
    // Only what lies inside this folder, named relative to it.
    const QString prefix = joinPath(base, QString());
    if (absolute.isNull() || !resolved.startsWith(prefix)) return {};
    ItemIdList relative = ItemIdList::desktop();
    const QStringList parts = resolved.mid(prefix.size()).split(u'/');
    for (int i = 0; i < parts.size(); ++i) {
        const bool last = i == parts.size() - 1;
        relative = relative.appended(ItemIdList::element(last ? absolute.lastKind() : Kind::Folder, parts[i]));
    }
    return relative;
}

std::shared_ptr<ShellFolder> ShellFolder::BindToObject(const ItemIdList& relative) const
{
    const ItemIdList absolute = list_.appended(relative);
    if (absolute.isNull()) return nullptr;
    if (!absolute.isDesktop() && !isFolderKind(absolute.lastKind())) return nullptr;
    return std::make_shared<ShellFolder>(absolute);
}

namespace {

// The children of a folder.
std::optional<QList<ItemIdList>> childrenOf(const ItemIdList& list, quint32 flags)
{
    QList<ItemIdList> children;
    const bool folders = flags & SHCONTF_FOLDERS;
    const bool files = flags & SHCONTF_NONFOLDERS;
    const bool hidden = flags & SHCONTF_INCLUDEHIDDEN;
    QString path;
    if (list.isNull()) return std::nullopt;
    if (list.isDesktop()) {
        if (folders) {
            children.append(ItemIdList::element(Kind::Home, ShellNamespace::homePath()));
            children.append(ShellNamespace::computerList());
        }
        path = ShellNamespace::desktopPath();
    } else if (list.lastKind() == Kind::Computer) {
        ShellNamespace::refreshVolumes();
        if (folders) {
            for (const ShellNamespace::Volume& v : ShellNamespace::volumes())
                children.append(ShellNamespace::volumeList(v.mountPoint, v.label).lastElement());
        }
        return children;
    } else {
        path = ShellNamespace::fileSystemPathOf(list);
        if (path.isEmpty() || !isFolderKind(list.lastKind())) return std::nullopt;
    }
    DIR* d = ::opendir(encoded(path).constData());
    if (!d) return list.isDesktop() ? std::optional(children) : std::nullopt;
    while (dirent* e = ::readdir(d)) {
        const QString name = PathBytes::decode(e->d_name, qsizetype(std::strlen(e->d_name)));
        if (name == u"." || name == u"..") continue;
        if (!hidden && name.startsWith(u'.')) continue;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = statPath(joinPath(path, name), st, true) && S_ISDIR(st.st_mode);
        }
        if (isDir ? folders : files) children.append(ItemIdList::element(isDir ? Kind::Folder : Kind::File, name));
    }
    ::closedir(d);
    return children;
}

}  // namespace

std::optional<QList<ItemIdList>> ShellNamespace::listChildren(const ItemIdList& folder, quint32 flags)
{
    return childrenOf(folder, flags);
}

std::optional<QList<ItemIdList>> ShellFolder::EnumObjects(quint32 flags) const { return childrenOf(list_, flags); }

quint32 ShellFolder::GetAttributesOf(const ItemIdList& relative, quint32 request) const
{
    const ItemIdList absolute = list_.appended(relative);
    if (absolute.isNull()) return 0;
    quint32 a = 0;
    const Kind kind = absolute.isDesktop() ? Kind::Unknown : absolute.lastKind();
    if (kind == Kind::Computer) {
        a = SFGAO_FOLDER | SFGAO_HASSUBFOLDER | SFGAO_FILESYSANCESTOR;
        return a & request;
    }
    if (kind == Kind::Unknown && !absolute.isDesktop()) return 0;
    const bool folder = absolute.isDesktop() || isFolderKind(kind);
    a = SFGAO_FILESYSTEM;
    if (folder) a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (absolute.isDesktop()) a |= SFGAO_HASSUBFOLDER;  // Home and Computer are always there
    // File system and folder come from the list alone; the rest needs the object.
    constexpr quint32 fromList = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (!(request & ~fromList)) return a & request;
    const QString path = ShellNamespace::pathOf(absolute);
    const QString name = QFileInfo(path).fileName();
    if (kind != Kind::Volume && kind != Kind::Home && name.startsWith(u'.')) a |= SFGAO_HIDDEN | SFGAO_GHOSTED;
    struct stat st;
    if (statPath(path, st, false)) {
        a |= SFGAO_CANCOPY | SFGAO_CANLINK | SFGAO_HASPROPSHEET;
        const bool topLevel = absolute.isDesktop() || kind == Kind::Home || kind == Kind::Volume;
        if (!topLevel) a |= SFGAO_CANRENAME | SFGAO_CANMOVE | SFGAO_CANDELETE;
        if (S_ISLNK(st.st_mode)) a |= SFGAO_LINK;
        if ((request & (SFGAO_READONLY | SFGAO_DROPTARGET))) {
            const bool writable = ::access(encoded(path).constData(), W_OK) == 0;
            if (!writable) a |= SFGAO_READONLY;
            if (folder && writable) a |= SFGAO_DROPTARGET;
        }
        if (kind == Kind::Volume) {
            const QString mount = volumeParts(absolute.lastText()).first;
            if (mount.startsWith(u"/media/") || mount.startsWith(u"/run/media/")) a |= SFGAO_REMOVABLE;
        }
        if (folder && !absolute.isDesktop() && (request & SFGAO_HASSUBFOLDER) && hasVisibleSubFolder(path))
            a |= SFGAO_HASSUBFOLDER;
    }
    return a & request;
}

QString ShellFolder::GetDisplayNameOf(const ItemIdList& relative, quint32 flags) const
{
    const ItemIdList absolute = list_.appended(relative);
    if (flags & SHGDN_FORPARSING) {
        if (flags & SHGDN_INFOLDER) return relative.lastText();
        return ShellNamespace::pathOf(absolute);
    }
    return ShellNamespace::displayNameOf(absolute);
}

int ShellFolder::CompareIDs(const ItemIdList& a, const ItemIdList& b) const
{
    const int na = a.count(), nb = b.count();
    for (int i = 0; i < na && i < nb; ++i) {
        if (const int c = compareElements(a, i, b, i)) return c;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

ItemIdList ShellFolder::SetNameOf(const ItemIdList& relative, const QString& newName) const
{
    if (newName.isEmpty() || newName.contains(u'/') || newName == u"." || newName == u"..") return {};
    const ItemIdList absolute = list_.appended(relative);
    const Kind kind = absolute.lastKind();
    if (kind != Kind::Folder && kind != Kind::File) return {};
    const QString from = ShellNamespace::pathOf(absolute);
    const QString to = joinPath(QFileInfo(from).path(), newName);
    // Never replaces another object of that name.
    if (::renameat2(AT_FDCWD, encoded(from).constData(), AT_FDCWD, encoded(to).constData(), RENAME_NOREPLACE) != 0)
        return {};
    return relative.parent().appended(ItemIdList::element(kind, newName));
}
