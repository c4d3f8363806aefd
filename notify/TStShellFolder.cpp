#include "notify/TStShellFolder.h"

#include "notify/ESsException.h"
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

void TStShellFolder::Assign(const TStShellItem& source) { AssignLook(source, true); }
