#pragma once
#include "platform/shell/ItemIdList.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The shell namespace: a tree of named objects from the Desktop down, each named by an absolute
// item identifier list.
//
//   Desktop (the user's desktop folder; its list is the empty one)
//     Home ($HOME)
//     Computer (virtual, parsing name "computer:///")
//       "/" (shown as "File System") and every volume mounted under /media, /run/media, /mnt
//     the sub-folders (and files) of the desktop folder
//
// A path parses under the root (Home or a volume) that is its longest prefix, so /home/u/Docs is
// Home ▸ Docs and /tmp/x is Computer ▸ File System ▸ tmp ▸ x. Names and paths come from the list
// alone: the list of a file that no longer exists still gives its full path.

// Attribute bits, as the shell's folder interface reports them.
constexpr quint32 SFGAO_CANCOPY = 0x1;
constexpr quint32 SFGAO_CANMOVE = 0x2;
constexpr quint32 SFGAO_CANLINK = 0x4;
constexpr quint32 SFGAO_CANRENAME = 0x10;
constexpr quint32 SFGAO_CANDELETE = 0x20;
constexpr quint32 SFGAO_HASPROPSHEET = 0x40;
constexpr quint32 SFGAO_DROPTARGET = 0x100;
constexpr quint32 SFGAO_GHOSTED = 0x8000;
constexpr quint32 SFGAO_LINK = 0x10000;
constexpr quint32 SFGAO_SHARE = 0x20000;
constexpr quint32 SFGAO_READONLY = 0x40000;
constexpr quint32 SFGAO_HIDDEN = 0x80000;
constexpr quint32 SFGAO_VALIDATE = 0x1000000;
constexpr quint32 SFGAO_REMOVABLE = 0x2000000;
constexpr quint32 SFGAO_COMPRESSED = 0x4000000;
constexpr quint32 SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr quint32 SFGAO_FOLDER = 0x20000000;
constexpr quint32 SFGAO_FILESYSTEM = 0x40000000;
constexpr quint32 SFGAO_HASSUBFOLDER = 0x80000000;

// Name forms.
constexpr quint32 SHGDN_NORMAL = 0x0;
constexpr quint32 SHGDN_INFOLDER = 0x1;
constexpr quint32 SHGDN_FORPARSING = 0x8000;

// What an enumeration lists.
constexpr quint32 SHCONTF_FOLDERS = 0x20;
constexpr quint32 SHCONTF_NONFOLDERS = 0x40;
constexpr quint32 SHCONTF_INCLUDEHIDDEN = 0x80;

// Special folder numbers.
constexpr int CSIDL_DESKTOP = 0x0;
constexpr int CSIDL_INTERNET = 0x1;
constexpr int CSIDL_PROGRAMS = 0x2;
constexpr int CSIDL_CONTROLS = 0x3;
constexpr int CSIDL_PRINTERS = 0x4;
constexpr int CSIDL_PERSONAL = 0x5;
constexpr int CSIDL_FAVORITES = 0x6;
constexpr int CSIDL_STARTUP = 0x7;
constexpr int CSIDL_RECENT = 0x8;
constexpr int CSIDL_SENDTO = 0x9;
constexpr int CSIDL_BITBUCKET = 0xa;
constexpr int CSIDL_STARTMENU = 0xb;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x10;
constexpr int CSIDL_DRIVES = 0x11;
constexpr int CSIDL_NETWORK = 0x12;
constexpr int CSIDL_NETHOOD = 0x13;
constexpr int CSIDL_FONTS = 0x14;
constexpr int CSIDL_TEMPLATES = 0x15;
constexpr int CSIDL_COMMON_STARTMENU = 0x16;
constexpr int CSIDL_COMMON_PROGRAMS = 0x17;
constexpr int CSIDL_COMMON_STARTUP = 0x18;
constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 0x19;
constexpr int CSIDL_APPDATA = 0x1a;
constexpr int CSIDL_PRINTHOOD = 0x1b;
constexpr int CSIDL_ALTSTARTUP = 0x1d;
constexpr int CSIDL_COMMON_ALTSTARTUP = 0x1e;
constexpr int CSIDL_COMMON_FAVORITES = 0x1f;
constexpr int CSIDL_INTERNET_CACHE = 0x20;
constexpr int CSIDL_COOKIES = 0x21;
constexpr int CSIDL_HISTORY = 0x22;
constexpr int CSIDL_CONNECTIONS = 0x31;

// A folder of the namespace, bound from its absolute list (the shell's folder interface).
// Items are named relative to the folder by one-item lists. Main thread only.
class ShellFolder {
public:
    explicit ShellFolder(ItemIdList absolute);

    const ItemIdList& list() const { return list_; }
    // The folder's parsing name: its path, or "computer:///" for Computer.
    QString path() const;

    // On the desktop: an absolute path or parsing name. Elsewhere: a name (or relative path)
    // inside this folder. None when nothing of that name exists.
    ItemIdList ParseDisplayName(const QString& name) const;
    // The folder that `relative` names below this one; null when it names no folder.
    std::shared_ptr<ShellFolder> BindToObject(const ItemIdList& relative) const;
    // One-item lists of the children (SHCONTF_* flags), in no particular order; nothing when
    // the folder can't be read.
    std::optional<QList<ItemIdList>> EnumObjects(quint32 flags) const;
    // The SFGAO_* bits among `request` that the child has. An empty `relative` asks about
    // the folder itself. Answers come from the list and the object's current state; a child
    // that no longer exists keeps what its list tells (file system, folder).
    quint32 GetAttributesOf(const ItemIdList& relative, quint32 request) const;
    // SHGDN_NORMAL: the name shown; SHGDN_FORPARSING: the full path or parsing name.
    QString GetDisplayNameOf(const ItemIdList& relative, quint32 flags) const;
    // The shell's order of two children: negative, zero or positive.
    int CompareIDs(const ItemIdList& a, const ItemIdList& b) const;
    // Renames a file-system child; its new one-item list, none on failure.
    ItemIdList SetNameOf(const ItemIdList& relative, const QString& newName) const;

private:
    ItemIdList list_;
};

namespace ShellNamespace {

// SHGetDesktopFolder.
std::shared_ptr<ShellFolder> desktopFolder();

// The desktop's ParseDisplayName: none for an empty, relative or missing path.
ItemIdList parse(const QString& pathOrParsingName);

// The list of a file-system path, made without touching the object (for objects that are gone
// or not yet looked at). Safe on any thread.
ItemIdList listForPath(const QString& absolutePath, bool isFolder);

ItemIdList computerList();
ItemIdList volumeList(const QString& mountPoint, const QString& label);

// Full path (parsing name) and shown name of an absolute list; empty for none and for lists
// that name no namespace object.
QString pathOf(const ItemIdList& absolute);
QString displayNameOf(const ItemIdList& absolute);
// The file-system path of an absolute list; empty when it names nothing in the file system.
QString fileSystemPathOf(const ItemIdList& absolute);

// The children of an absolute folder list as EnumObjects gives them: safe on a worker thread.
// None when it can't be read.
std::optional<QList<ItemIdList>> listChildren(const ItemIdList& folder, quint32 flags);

// SHGetSpecialFolderLocation: none when the special folder has no place here.
ItemIdList specialFolderLocation(int csidl);

// The version the namespace answers for the shell library.
double shellVersion();

QString desktopPath();
QString homePath();

struct Volume {
    QString mountPoint;
    QString label;
    QString name() const;
};
// The volumes under Computer, "/" first. Safe on any thread.
QList<Volume> volumes();
// Reads the mount table again (after it changed).
void refreshVolumes();

// SHGetFileInfo for an absolute list.
struct FileInfo {
    QString displayName;
    quint32 attributes = 0;  // of the requested SFGAO_* bits
    int iconIndex = -1;      // into SystemImageList
    QString typeName;
};
FileInfo fileInfo(const ItemIdList& absolute, quint32 requestedAttributes, bool openIcon);

}  // namespace ShellNamespace
