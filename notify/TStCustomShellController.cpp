#include "notify/TStCustomShellController.h"

#include "notify/TStShellFolder.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/shell/ShellNamespace.h"
#include "platform/shell/SystemImageList.h"

#include <QLocale>

TStCustomShellController::TStCustomShellController(QObject* owner) : TSsComponent(owner)
{
    FDesktopFolder = ShellNamespace::desktopFolder();
    // Learned by name from the icon theme: nothing is written anywhere to find them.
    FDosExeIndex = SystemImageList::indexOf(QStringLiteral("application-x-executable"));
    FOverlayIndex = SystemImageList::indexOf(QStringLiteral("emblem-symbolic-link"));
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

ItemIdList TStCustomShellController::RenameItem(const TStShellItem& item, const QString& newName) const
{
    if (item.Pidl().isNull() || item.Pidl().isDesktop() || !item.ParentFolder()) return {};
    const ItemIdList renamed = item.ParentFolder()->SetNameOf(item.SimplePidl(), newName);
    if (renamed.isNull()) return {};
    return item.Pidl().parent().appended(renamed);
}

void TStCustomShellController::ShowPropertySheet(const TStShellItem& item) const
{
    auto& it = const_cast<TStShellItem&>(item);  // details load on first reading
    QStringList lines;
    lines << QStringLiteral("Name: %1").arg(item.DisplayName());
    lines << QStringLiteral("Location: %1").arg(item.Path());
    lines << QStringLiteral("Type: %1").arg(ShellNamespace::fileInfo(item.Pidl(), 0, false).typeName);
    if (item.IsFileSystem()) {
        if (item.IsFile()) lines << QStringLiteral("Size: %1 bytes").arg(QLocale().toString(it.Size()));
        if (it.Date().isValid()) lines << QStringLiteral("Modified: %1").arg(QLocale().toString(it.Date(), QLocale::LongFormat));
    }
    ModalBoxes::information(lines.join(u'\n'));
}

std::vector<std::unique_ptr<TStShellFolder>> TStCustomShellController::MakeChildren(const TStShellItem& parent, quint32 contentFlags)
{
    std::vector<std::unique_ptr<TStShellFolder>> children;
    const ItemIdList& list = parent.Pidl();
    if (list.isNull()) return children;
    std::shared_ptr<ShellFolder> folder = list.isDesktop() ? FDesktopFolder : FDesktopFolder->BindToObject(list);
    if (!folder) return children;
    const auto found = folder->EnumObjects(contentFlags);
    if (!found) return children;
    for (const ItemIdList& child : *found) {
        auto made = TStShellFolder::CreateFromPidl(list.appended(child), this);
        made->SetParentFolder(folder);
        children.push_back(std::move(made));
    }
    return children;
}
