#include "notify/TStCustomShellController.h"

#include "platform/shell/ShellNamespace.h"

TStCustomShellController::TStCustomShellController(QObject* owner) : TSsComponent(owner)
{
    FDesktopFolder = ShellNamespace::desktopFolder();
}

TStCustomShellController::~TStCustomShellController() = default;

QString TStCustomShellController::GetDisplayName(const ShellFolder* folder, const ItemIdList& child, quint32 form) const
{
    if (!folder || child.isNull()) return {};
    return folder->GetDisplayNameOf(child, form);
}

TStFileInfo TStCustomShellController::GetFileInfo(const ItemIdList& absolute) const
{
    TStFileInfo info;
    const ShellNamespace::FileInfo closed = ShellNamespace::fileInfo(absolute, SFGAO_FOLDER | SFGAO_SHARE | SFGAO_LINK, false);
    info.Attributes = closed.attributes;
    info.DisplayName = closed.displayName;
    info.IconIndex = closed.iconIndex;
    info.OpenIconIndex = info.IconIndex;
    if (info.Attributes & SFGAO_FOLDER) info.OpenIconIndex = ShellNamespace::fileInfo(absolute, 0, true).iconIndex;
    return info;
}

ItemIdList TStCustomShellController::RenameItem(const ItemIdList& absolute, const QString& newName) const
{
    if (absolute.isNull() || absolute.isDesktop()) return {};
    const ItemIdList parent = absolute.parent();
    const std::shared_ptr<ShellFolder> folder = parent.isDesktop() ? FDesktopFolder : FDesktopFolder->BindToObject(parent);
    if (!folder) return {};
    const ItemIdList renamed = folder->SetNameOf(absolute.lastElement(), newName);
    if (renamed.isNull()) return {};
    return parent.appended(renamed);
}
