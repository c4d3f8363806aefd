#pragma once
#include "platform/shell/ItemIdList.h"

#include <QString>

#include <memory>

class ShellFolder;
class TStCustomShellController;

// A snapshot of one object of the shell namespace (file, folder, volume, virtual folder), named
// by its absolute item identifier list: its full path (parsing name), display name and
// file-system flags are set when it is made, from the list alone, so the item of a file that no
// longer exists still has its path. Attributes and icons are asked for when read.
// Main thread only.
class TStShellItem {
public:
    // An empty item; with no controller it makes (and owns) one.
    explicit TStShellItem(TStCustomShellController* controller = nullptr);
    virtual ~TStShellItem();
    TStShellItem(const TStShellItem&) = delete;
    TStShellItem& operator=(const TStShellItem&) = delete;

    // The item that an absolute list names. With no list: an empty item without a controller.
    static std::unique_ptr<TStShellItem> CreateFromPidl(const ItemIdList& pidl, TStCustomShellController* controller = nullptr);
    // An item for one call, with a controller lent for that call: copies of it keep a
    // controller of their own, as copies of an item that owns its controller do.
    static std::unique_ptr<TStShellItem> CreateForCall(const ItemIdList& pidl, TStCustomShellController* lent);
    // Parses a path or parsing name; ESsInvalidFolder ("Invalid folder", 240) when it can't.
    static std::unique_ptr<TStShellItem> CreateFromPath(const QString& path, TStCustomShellController* controller = nullptr);

    // Copies names, flags, details, icon indexes and both lists; binds the parent folder afresh;
    // shares the other's controller without owning it, unless the other owns it or only has it
    // lent (then this item keeps a controller of its own, so that the copy outlives the source).
    virtual void Assign(const TStShellItem& source);

    // Set when the item is made.
    const QString& Path() const { return FPath; }
    const QString& DisplayName() const { return FDisplayName; }
    bool IsDesktop() const { return FIsDesktop; }
    bool IsFile() const { return FIsFile; }
    bool IsFileFolder() const { return FIsFileFolder; }
    bool IsFileSystem() const { return FIsFileSystem; }
    const ItemIdList& Pidl() const { return FPidl; }
    const ItemIdList& SimplePidl() const { return FSimplePidl; }
    const std::shared_ptr<ShellFolder>& ParentFolder() const { return FParentFolder; }
    TStCustomShellController* Controller() const { return FController; }

    // Asked of the parent folder when read.
    bool CanRename() const;
    bool IsReadOnly() const;
    bool HasRemovableMedia() const;
    bool IsCompressed() const;
    bool IsFolder() const;
    bool HasSubFolder() const;

    // Icons: indexes into the system image list, loaded together on first reading.
    int IconIndex();
    int OpenIconIndex();
    int OverlayIconIndex();  // 0 shared, 1 shortcut, -1 none

    // The media refresh of the notification component: the shell revalidates, then the name
    // and icon of the medium now in the drive replace the item's.
    void RefreshForMedia();

protected:
    friend class TStShellFolder;
    // What Assign copies but the controller: the names, icons, kinds and lists; the simple
    // list only when the source has one, if `simpleOnlyWhenGiven`.
    void AssignLook(const TStShellItem& source, bool simpleOnlyWhenGiven);
    struct NoController {};
    explicit TStShellItem(NoController);
    // Steps of making an item from a list (CreateFromPidl); `displayFirst` reads the display
    // name before the path, as CreateFromPath does.
    void MakeFromPidl(const ItemIdList& pidl, TStCustomShellController* controller, bool displayFirst);
    void SetController(TStCustomShellController* controller, bool own);
    bool Attribute(quint32 bit, bool falseForDesktop) const;
    void LoadIcons();

    TStCustomShellController* FController = nullptr;
    QString FDisplayName;
    qint32 FIconIndex = -1;
    bool FIsDesktop = false;
    bool FIsFile = false;
    bool FIsFileFolder = false;
    bool FIsFileSystem = false;
    qint32 FOpenIconIndex = -1;
    qint32 FOverlayIconIndex = -1;
    std::shared_ptr<ShellFolder> FParentFolder;
    QString FPath;
    ItemIdList FPidl;
    ItemIdList FSimplePidl;
    bool OwnController = false;
    bool LentController = false;
};
