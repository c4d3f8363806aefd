#include "notify/TStShellItem.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "platform/shell/ShellNamespace.h"

namespace {

// Cut from a network item's display name ("docs on server" shows as "docs").
const QString SNetworkNameOn = QStringLiteral(" on ");

}  // namespace

TStShellItem::TStShellItem(TStCustomShellController* controller)
{
    SetController(controller ? controller : new TStCustomShellController, controller == nullptr);
}

TStShellItem::TStShellItem(NoController) {}

TStShellItem::~TStShellItem()
{
    if (OwnController) delete FController;
}

void TStShellItem::SetController(TStCustomShellController* controller, bool own)
{
    if (OwnController && FController != controller) delete FController;
    FController = controller;
    OwnController = own;
}

std::unique_ptr<TStShellItem> TStShellItem::CreateFromPidl(const ItemIdList& pidl, TStCustomShellController* controller)
{
    std::unique_ptr<TStShellItem> item(new TStShellItem(NoController{}));
    item->MakeFromPidl(pidl, controller, false);
    return item;
}

std::unique_ptr<TStShellItem> TStShellItem::CreateForCall(const ItemIdList& pidl, TStCustomShellController* lent)
{
    std::unique_ptr<TStShellItem> item(new TStShellItem(NoController{}));
    item->MakeFromPidl(pidl, lent, false);
    item->LentController = lent != nullptr;
    return item;
}

std::unique_ptr<TStShellItem> TStShellItem::CreateFromPath(const QString& path, TStCustomShellController* controller)
{
    const ItemIdList pidl = ShellNamespace::desktopFolder()->ParseDisplayName(path);
    if (pidl.isNull()) throw ESsInvalidFolder();
    std::unique_ptr<TStShellItem> item(new TStShellItem(NoController{}));
    item->MakeFromPidl(pidl, controller, true);
    return item;
}

void TStShellItem::MakeFromPidl(const ItemIdList& pidl, TStCustomShellController* controller, bool displayFirst)
{
    FIconIndex = -1;
    if (pidl.isNull()) return;
    FPidl = pidl.clone();
    FSimplePidl = pidl.lastElement();
    auto desktop = ShellNamespace::desktopFolder();
    const ItemIdList parentList = pidl.isDesktop() ? ItemIdList() : pidl.parent();
    FParentFolder = parentList.isNull() ? nullptr : desktop->BindToObject(parentList);
    if (!FParentFolder) FParentFolder = desktop;
    SetController(controller ? controller : new TStCustomShellController, controller == nullptr);
    if (FParentFolder->list() == parentList) {
        // The parent would answer from its list with this item put back on: the item's own
        // list gives the same names without making it again (this runs for every event).
        FPath = ShellNamespace::pathOf(FPidl);
        FDisplayName = ShellNamespace::displayNameOf(FPidl);
    } else {
        // Both names are asked of the parent for the simple list: the object itself is not opened.
        if (displayFirst) FDisplayName = FController->GetDisplayName(FParentFolder.get(), FSimplePidl, SHGDN_NORMAL);
        FPath = FController->GetDisplayName(FParentFolder.get(), FSimplePidl, SHGDN_FORPARSING);
        if (!displayFirst) FDisplayName = FController->GetDisplayName(FParentFolder.get(), FSimplePidl, SHGDN_NORMAL);
    }
    if (FPath.startsWith(QStringLiteral("\\\\"))) {
        const qsizetype on = FDisplayName.indexOf(SNetworkNameOn);
        if (on >= 0) FDisplayName.truncate(on);
    }
    const quint32 a = FParentFolder->GetAttributesOf(FSimplePidl, SFGAO_FILESYSTEM | SFGAO_FOLDER);
    FIsFileSystem = a & SFGAO_FILESYSTEM;
    FIsFileFolder = FIsFileSystem && (a & SFGAO_FOLDER);
    FIsFile = FIsFileSystem && !FIsFileFolder;
    FIsDesktop = ILIsEqual(pidl, ShellNamespace::specialFolderLocation(CSIDL_DESKTOP));
}

void TStShellItem::AssignLook(const TStShellItem& s, bool simpleOnlyWhenGiven)
{
    FDisplayName = s.FDisplayName;
    FIconIndex = s.FIconIndex;
    FOpenIconIndex = s.FOpenIconIndex;
    FOverlayIconIndex = s.FOverlayIconIndex;
    FIsDesktop = s.FIsDesktop;
    FIsFileFolder = s.FIsFileFolder;
    FIsFileSystem = s.FIsFileSystem;
    FPath = s.FPath;
    FPidl = s.FPidl.clone();
    if (!simpleOnlyWhenGiven || !s.FSimplePidl.isNull()) FSimplePidl = s.FSimplePidl.clone();
    FParentFolder = FPidl.isNull() || FPidl.isDesktop() ? nullptr
                                                        : ShellNamespace::desktopFolder()->BindToObject(FPidl.parent());
}

void TStShellItem::Assign(const TStShellItem& s)
{
    AssignLook(s, false);
    // A controller the source owns dies with the source (a notice's items live for one call):
    // sharing it would leave this copy pointing at nothing, so the copy keeps one of its own.
    if (!s.OwnController && !s.LentController) {
        SetController(s.FController, false);
    } else if (!FController) {
        SetController(new TStCustomShellController, true);
    }
}

bool TStShellItem::Attribute(quint32 bit, bool falseForDesktop) const
{
    if (falseForDesktop && FIsDesktop) return false;
    if (!FParentFolder) return false;
    return FParentFolder->GetAttributesOf(FSimplePidl, bit) & bit;
}

bool TStShellItem::CanRename() const { return Attribute(SFGAO_CANRENAME, true); }
bool TStShellItem::IsReadOnly() const { return Attribute(SFGAO_READONLY, true); }
bool TStShellItem::HasRemovableMedia() const { return Attribute(SFGAO_REMOVABLE, true); }
bool TStShellItem::IsCompressed() const { return Attribute(SFGAO_COMPRESSED, true); }
bool TStShellItem::IsFolder() const { return Attribute(SFGAO_FOLDER, false); }
bool TStShellItem::HasSubFolder() const { return Attribute(SFGAO_HASSUBFOLDER, true); }

void TStShellItem::LoadIcons()
{
    if (!FController || FPidl.isNull()) return;
    const TStFileInfo info = FController->GetFileInfo(FPidl);
    FIconIndex = info.IconIndex;
    FOpenIconIndex = info.OpenIconIndex;
    FOverlayIconIndex = (info.Attributes & SFGAO_SHARE) ? 0 : (info.Attributes & SFGAO_LINK) ? 1 : -1;
}

int TStShellItem::IconIndex()
{
    if (FIconIndex == -1) LoadIcons();
    return FIconIndex;
}

int TStShellItem::OpenIconIndex()
{
    if (FIconIndex == -1) LoadIcons();
    return FOpenIconIndex;
}

int TStShellItem::OverlayIconIndex()
{
    if (FIconIndex == -1) LoadIcons();
    return FOverlayIconIndex;
}

void TStShellItem::RefreshForMedia()
{
    if (FParentFolder) FParentFolder->GetAttributesOf(ItemIdList::desktop(), SFGAO_VALIDATE);
    if (FPidl.isNull()) return;
    ShellNamespace::refreshVolumes();
    const ShellNamespace::FileInfo info = ShellNamespace::fileInfo(FPidl, 0, false);
    FDisplayName = info.displayName;
    FIconIndex = info.iconIndex;
}
