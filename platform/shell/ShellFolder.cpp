#include "platform/shell/ShellNamespace.h"

#include "platform/shell/ShellPaths.h"
#include "platform/system/MountTable.h"
#include "platform/text/PathBytes.h"

#include <QDir>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

using Kind = ItemIdList::Kind;

namespace {

using namespace ShellPaths;

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
