#pragma once
#include "notify/TStShellItem.h"

#include <vector>

// A shell item for a folder, with counts of the items of the list it sits in.
class TStShellFolder : public TStShellItem {
public:
    explicit TStShellFolder(TStCustomShellController* controller = nullptr);

    static std::unique_ptr<TStShellFolder> CreateFromPidl(const ItemIdList& pidl, TStCustomShellController* controller = nullptr);
    static std::unique_ptr<TStShellFolder> CreateFromPath(const QString& path, TStCustomShellController* controller = nullptr);
    // The children of a folder (SHCONTF_* flags) as folders made with the controller, their
    // parent folder bound once; empty when the folder can't be read.
    static std::vector<std::unique_ptr<TStShellFolder>> MakeChildren(const TStShellItem& parent, quint32 contentFlags,
                                                                    TStCustomShellController* controller);

    // As the item's, except that the file attributes and the controller are not copied, the
    // simple list only when the other has one, and the three counts too.
    void Assign(const TStShellItem& source) override;

    // Over the items of ParentList: folders and hidden ones (counted once and kept), and
    // non-folders (counted at every read).
    qint32 FolderCount();
    qint32 HiddenCount();
    qint32 ItemCount();

    qint32 Level() const { return FLevel; }
    void SetLevel(qint32 level) { FLevel = level; }
    bool ComboItem = false;

protected:
    explicit TStShellFolder(NoController);

    qint32 FFolderCount = -1;
    qint32 FHiddenCount = -1;
    qint32 FItemCount = -1;
    qint32 FLevel = -1;
};
