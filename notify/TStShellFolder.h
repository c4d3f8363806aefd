#pragma once
#include "notify/TStShellItem.h"

// A shell item for a folder.
class TStShellFolder : public TStShellItem {
public:
    explicit TStShellFolder(TStCustomShellController* controller = nullptr);

    static std::unique_ptr<TStShellFolder> CreateFromPidl(const ItemIdList& pidl, TStCustomShellController* controller = nullptr);
    static std::unique_ptr<TStShellFolder> CreateFromPath(const QString& path, TStCustomShellController* controller = nullptr);

    // As the item's, except that the controller is not copied, and the simple list only when
    // the other has one.
    void Assign(const TStShellItem& source) override;

protected:
    explicit TStShellFolder(NoController);
};
