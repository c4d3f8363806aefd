#include "notify/TStShellFolder.h"

#include "notify/ESsException.h"
#include "notify/TStShellItemList.h"
#include "platform/shell/ShellNamespace.h"

TStShellFolder::TStShellFolder(TStCustomShellController* controller) : TStShellItem(controller) {}

TStShellFolder::TStShellFolder(NoController) : TStShellItem(NoController{}) {}

std::unique_ptr<TStShellFolder> TStShellFolder::CreateFromPidl(const ItemIdList& pidl, TStCustomShellController* controller)
{
    std::unique_ptr<TStShellFolder> folder(new TStShellFolder(NoController{}));
    folder->MakeFromPidl(pidl, controller, false);
    return folder;
}

std::unique_ptr<TStShellFolder> TStShellFolder::CreateFromPath(const QString& path, TStCustomShellController* controller)
{
    const ItemIdList pidl = ShellNamespace::desktopFolder()->ParseDisplayName(path);
    if (pidl.isNull()) throw ESsInvalidFolder();
    std::unique_ptr<TStShellFolder> folder(new TStShellFolder(NoController{}));
    folder->MakeFromPidl(pidl, controller, true);
    return folder;
}

std::vector<std::unique_ptr<TStShellFolder>> TStShellFolder::MakeChildren(const TStShellItem& parent, quint32 contentFlags,
                                                                           TStCustomShellController* controller)
{
    std::vector<std::unique_ptr<TStShellFolder>> children;
    const ItemIdList& list = parent.Pidl();
    if (list.isNull()) return children;
    const std::shared_ptr<ShellFolder> desktop = ShellNamespace::desktopFolder();
    std::shared_ptr<ShellFolder> folder = list.isDesktop() ? desktop : desktop->BindToObject(list);
    if (!folder) return children;
    const auto found = folder->EnumObjects(contentFlags);
    if (!found) return children;
    for (const ItemIdList& child : *found) {
        auto made = CreateFromPidl(list.appended(child), controller);
        made->FParentFolder = folder;
        children.push_back(std::move(made));
    }
    return children;
}

void TStShellFolder::Assign(const TStShellItem& source)
{
    FDate = source.FDate;
    FSize = source.FSize;
    FDisplayName = source.FDisplayName;
    FIconIndex = source.FIconIndex;
    FOpenIconIndex = source.FOpenIconIndex;
    FOverlayIconIndex = source.FOverlayIconIndex;
    FIsDesktop = source.FIsDesktop;
    FIsFileFolder = source.FIsFileFolder;
    FIsFileSystem = source.FIsFileSystem;
    FPath = source.FPath;
    FTypeName = source.FTypeName;
    DOSDate = source.DOSDate;
    HaveDetails = source.HaveDetails;
    ParentList = source.ParentList;
    FColText = source.FColText;
    FPidl = source.FPidl.clone();
    if (!source.FSimplePidl.isNull()) FSimplePidl = source.FSimplePidl.clone();
    FParentFolder = FPidl.isNull() || FPidl.isDesktop() ? nullptr
                                                        : ShellNamespace::desktopFolder()->BindToObject(FPidl.parent());
    if (const auto* other = dynamic_cast<const TStShellFolder*>(&source)) {
        FFolderCount = other->FFolderCount;
        FHiddenCount = other->FHiddenCount;
        FItemCount = other->FItemCount;
    }
}

qint32 TStShellFolder::FolderCount()
{
    if (FFolderCount == -1 && ParentList) {
        FFolderCount = 0;
        for (int i = 0; i < ParentList->Count(); ++i)
            if (TStShellItem* item = (*ParentList)[i]; item && item->IsFolder()) ++FFolderCount;
    }
    return FFolderCount;
}

qint32 TStShellFolder::HiddenCount()
{
    if (FHiddenCount == -1 && ParentList) {
        FHiddenCount = 0;
        for (int i = 0; i < ParentList->Count(); ++i)
            if (TStShellItem* item = (*ParentList)[i]; item && item->IsHidden()) ++FHiddenCount;
    }
    return FHiddenCount;
}

qint32 TStShellFolder::ItemCount()
{
    if (!ParentList) return FItemCount;
    FItemCount = 0;
    for (int i = 0; i < ParentList->Count(); ++i)
        if (TStShellItem* item = (*ParentList)[i]; item && !item->IsFolder()) ++FItemCount;
    return FItemCount;
}
