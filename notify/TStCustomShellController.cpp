#include "notify/TStCustomShellController.h"

#include "platform/shell/ShellNamespace.h"

TStCustomShellController::TStCustomShellController(QObject* owner) : TSsComponent(owner) {}

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
