#pragma once
#include "notify/TSsComponent.h"
#include "platform/shell/ItemIdList.h"

#include <QString>

#include <memory>

class ShellFolder;

// What SHGetFileInfo tells of an item.
struct TStFileInfo {
    quint32 Attributes = 0;  // of SFGAO_FOLDER, SFGAO_SHARE, SFGAO_LINK
    QString DisplayName;
    int IconIndex = -1;
    int OpenIconIndex = -1;
};

// Supplies what shell items need: names and icon information. Making one never touches the
// file system. It knows items only by their lists: items ask it, never the other way round.
// Main thread only.
class TStCustomShellController : public TSsComponent {
    Q_OBJECT
public:
    explicit TStCustomShellController(QObject* owner = nullptr);
    ~TStCustomShellController() override;

    // The name the folder gives its child in the form asked (0 normal, 0x8000 for parsing: the
    // full path or parsing name); empty when there is none.
    QString GetDisplayName(const ShellFolder* folder, const ItemIdList& child, quint32 form) const;
    TStFileInfo GetFileInfo(const ItemIdList& absolute) const;
    // Renames the file-system object that an absolute list names, in its folder; its new
    // absolute list, none when the rename failed (a name in use is never replaced).
    ItemIdList RenameItem(const ItemIdList& absolute, const QString& newName) const;

private:
    std::shared_ptr<ShellFolder> FDesktopFolder;
};
