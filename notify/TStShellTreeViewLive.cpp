// The folder tree following changes made elsewhere, through its own monitor.
#include "notify/TStShellTreeView.h"

#include "notify/TreeNodes.h"
#include "notify/TStCustomShellController.h"
#include "platform/shell/ShellNamespace.h"

#include <QScrollBar>

using namespace TreeNodes;
// ---------------------------------------------------------------------------------------------
// Live updates

bool TStShellTreeView::isLeftOut(const TStShellItem& item)
{
    if (!(options_ & toShowHidden) && ShellNamespace::displayNameOf(item.Pidl()).startsWith(u'.')) return true;
    if (!(options_ & toShowFiles) && !item.IsFolder()) return true;
    return false;
}

void TStShellTreeView::shellChanged(TStShellItem* first, TStShellItem* second, TStNotifyEventsSet events)
{
    if (OnShellChangeNotify) OnShellChangeNotify(shellMonitor_, first, second, events);
    if (!first) return;
    const bool files = options_ & toShowFiles;

    if (events.Contains(neFolderCreate) || events.Contains(neDriveAdd) || (files && events.Contains(neFileCreate))) {
        scheduleCatchUp(NodeByList(first->Pidl().parent()));
        if (folderCreated(*first, events.Contains(neDriveAdd))) return;
    }
    if (events.Contains(neFolderDelete) || events.Contains(neDriveRemove) || (files && events.Contains(neFileDelete))) {
        scheduleCatchUp(NodeByList(first->Pidl().parent()));
        QTreeWidgetItem* node = NodeByList(first->Pidl());
        if (!node) node = NodeByPath(first->Path());
        if (node && node->parent()) removeNode(node);
        return;
    }
    if ((events.Contains(neFolderRename) || (files && events.Contains(neFileRename))) && second) {
        if (second->IsDesktop()) {
            if (QTreeWidgetItem* node = NodeByList(first->Pidl())) removeNode(node);
            return;
        }
        scheduleCatchUp(NodeByList(first->Pidl().parent()));
        scheduleCatchUp(NodeByList(second->Pidl().parent()));
        folderRenamed(*first, *second);
    }
    if (events.Contains(neNetShare) || events.Contains(neNetUnShare)) {
        if (QTreeWidgetItem* node = NodeByList(first->Pidl())) {
            if (TStShellFolder* f = FolderOf(node)) setNodeLook(node, *f);
        }
    }
    if (events.Contains(neMediaInsert) || events.Contains(neMediaRemove)) {
        if (QTreeWidgetItem* node = NodeByPath(first->Path())) {
            settingText_ = true;
            node->setText(0, first->DisplayName());
            node->setIcon(0, nodeIcon(icons_, first->IconIndex(), first->OpenIconIndex(), first->OverlayIconIndex()));
            settingText_ = false;
        }
    }
}

bool TStShellTreeView::folderCreated(TStShellItem& item, bool driveAdd)
{
    QTreeWidgetItem* parent = NodeByList(item.Pidl().parent());
    if (!parent) return false;
    if (isLeftOut(item)) return true;
    if (!IsFilled(parent)) {
        // Not listed yet: it will be when opened; make sure it can be.
        if (!pending_.contains(parent->data(0, FolderIndexRole).toInt()))
            parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        return false;
    }
    // Already there: it can only be among the parent's children, where it would go in their order.
    const ShellFolder desktop(ItemIdList::desktop());
    for (int i = insertPosition(parent, item.Pidl()); i < parent->childCount(); ++i) {
        const TStShellFolder* f = FolderOf(parent->child(i));
        if (f && f->Path() == item.Path()) return true;
        if (f && desktop.CompareIDs(f->SimplePidl(), item.SimplePidl()) != 0) break;
    }
    auto folder = std::make_unique<TStShellFolder>(controller_.get());
    folder->Assign(item);
    if (filtered_ && OnFilterItem) {
        bool accept = true;
        OnFilterItem(this, folder.get(), accept);
        if (!accept) return true;
    }
    keepTopThroughBurst();
    // A folder moved in brings its sub-folders along: it gets its button then.
    const bool hasChildren = driveAdd || folder->HasSubFolder();
    addNode(parent, std::move(folder), hasChildren);
    parent->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    return true;
}

void TStShellTreeView::keepTopThroughBurst()
{
    if (keepingTop_) return;
    keepingTop_ = true;
    QTreeWidgetItem* top = itemAt(0, 0);
    keptTop_ = top ? QPersistentModelIndex(indexFromItem(top)) : QPersistentModelIndex();
    keptTopY_ = top ? visualItemRect(top).top() : 0;
    setUpdatesEnabled(false);
    // A little later, not after each turn: finding the node and putting it back lay out the
    // whole tree, and a burst is handled in many turns. Nothing is painted meanwhile.
    keepTopTimer_.start();
}

void TStShellTreeView::scrolledWhileKeepingTop()
{
    // Scrolled meanwhile (the user, a selection): where that put the view is what counts, and
    // the nodes that come next keep that top.
    if (!keepingTop_ || puttingTopBack_) return;
    keepTopTimer_.stop();
    keepingTop_ = false;
    keptTop_ = QPersistentModelIndex();
    setUpdatesEnabled(true);
}

void TStShellTreeView::putTopBack()
{
    keepTopTimer_.stop();
    keepingTop_ = false;
    if (QTreeWidgetItem* top = keptTop_.isValid() ? itemFromIndex(keptTop_) : nullptr) {
        puttingTopBack_ = true;
        // Scrolled by rows, the bar counts rows, not pixels.
        if (verticalScrollMode() == ScrollPerItem) scrollToItem(top, PositionAtTop);
        else verticalScrollBar()->setValue(verticalScrollBar()->value() + visualItemRect(top).top() - keptTopY_);
        puttingTopBack_ = false;
    }
    keptTop_ = QPersistentModelIndex();
    setUpdatesEnabled(true);
}

void TStShellTreeView::removeNode(QTreeWidgetItem* node)
{
    QTreeWidgetItem* current = currentItem();
    if (current && isInside(current, node)) {
        // The selection moves on first: to the next node outside the removed ones, else to
        // the parent.
        QTreeWidgetItem* next = nextAfterSubtree(node);
        if (!next) next = node->parent();
        if (next) setCurrentItem(next);
    }
    quietSelection_ = true;
    forEachNode(node, [this](QTreeWidgetItem* n) {
        const int index = n->data(0, FolderIndexRole).toInt();
        if (shellMonitor_ && folders_[index] && IsFilled(n)) shellMonitor_->UnfollowFolder(folders_[index]->Path());
        if (selectedFolder_ && selectedFolder_ == folders_[index]) selectedFolder_ = nullptr;
        folders_.Free(index);
        pending_.remove(index);
        if (n == lastSelectedNode_) lastSelectedNode_ = nullptr;
        if (n == dropTargetNode_) dropTargetNode_ = nullptr;
    });
    delete node;
    quietSelection_ = false;
}

void TStShellTreeView::folderRenamed(TStShellItem& from, TStShellItem& to)
{
    // Paths are compared exactly: names that differ only in case are different folders here.
    TStShellFolder* entry = nullptr;
    for (int i = 0; i < folders_.Count() && !entry; ++i) {
        TStShellFolder* f = folders_[i];
        if (f && f->Path() == from.Path()) entry = f;
    }
    QTreeWidgetItem* node = entry ? NodeByList(entry->Pidl()) : nullptr;
    const bool sameParent = from.Pidl().parent() == to.Pidl().parent();
    if (!node || !sameParent || isLeftOut(to)) {
        // Moved elsewhere, renamed out of sight or into sight: gone here, new there.
        if (node && node->parent()) removeNode(node);
        if (!isLeftOut(to)) folderCreated(to, false);
        return;
    }
    const QString before = entry->Path();
    entry->Assign(to);
    if (shellMonitor_ && IsFilled(node)) {
        shellMonitor_->UnfollowFolder(before);
        shellMonitor_->FollowFolder(entry->Path());
    }
    setNodeLook(node, *entry);
    rebaseChildren(node);
    reposition(node);
}

void TStShellTreeView::rebaseChildren(QTreeWidgetItem* node)
{
    // The entries below a renamed folder still name the old path: make them anew from the new
    // list, in place, so that a selected one stays selected under its new path.
    const TStShellFolder* f = FolderOf(node);
    if (!f) return;
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        TStShellFolder* c = FolderOf(child);
        if (!c) continue;
        const ItemIdList list = f->Pidl().appended(c->Pidl().lastElement());
        auto fresh = TStShellFolder::CreateFromPidl(list, controller_.get());
        const QString before = c->Path();
        c->Assign(*fresh);
        if (shellMonitor_ && IsFilled(child)) {
            shellMonitor_->UnfollowFolder(before);
            shellMonitor_->FollowFolder(c->Path());
        }
        rebaseChildren(child);
    }
}
