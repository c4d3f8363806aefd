// The folder tree: selecting a folder, the start folder and what is reported of the selection.
#include "notify/TStShellTreeView.h"

#include "notify/TreeNodes.h"
#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "platform/shell/ShellNamespace.h"

#include <QApplication>
#include <QDeadlineTimer>

using namespace TreeNodes;
// ---------------------------------------------------------------------------------------------
// Selecting

QTreeWidgetItem* TStShellTreeView::selectList(const ItemIdList& list)
{
    // The nearest ancestor already in the tree, and the lists on the way down from it.
    QList<ItemIdList> way;
    ItemIdList at = list;
    QTreeWidgetItem* node = NodeByList(at);
    while (!node && !at.isNull() && !at.isDesktop()) {
        way.prepend(at);
        at = at.parent();
        node = NodeByList(at);
    }
    if (!node) throw ESsInvalidFolder();

    // One bound for the whole way down, however deep.
    const QDeadlineTimer deadline(fillWaitMs_);
    auto left = [&deadline] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    setUpdatesEnabled(false);
    expandNode(node, left());
    auto childWith = [this](QTreeWidgetItem* parent, const ItemIdList& list) -> QTreeWidgetItem* {
        for (int i = 0; i < parent->childCount(); ++i) {
            const TStShellFolder* f = FolderOf(parent->child(i));
            if (f && f->Pidl() == list) return parent->child(i);
        }
        return nullptr;
    };
    for (const ItemIdList& step : way) {
        QTreeWidgetItem* next = childWith(node, step);
        if (!next && IsFilled(node)) {
            // Made since the node was listed, and its notice not seen yet: list it again.
            fillNow(node, left(), true);
            next = childWith(node, step);
        }
        if (!next) break;
        node = next;
        expandNode(node, left());
    }
    const TStShellFolder* found = FolderOf(node);
    if (!found || !(found->Pidl() == list)) {
        setUpdatesEnabled(true);
        throw ESsInvalidFolder();
    }
    scrollToItem(node);
    setUpdatesEnabled(true);
    setCurrentItem(node);
    selectedFolder_ = FolderOf(node);
    return node;
}

void TStShellTreeView::SelectFolder(const QString& path)
{
    const ItemIdList list = ShellNamespace::parse(path);
    if (list.isNull()) throw ESsInvalidFolder();
    selectList(list);
    startInFolder_ = path;
}

void TStShellTreeView::SelectSpecialFolder(TStSpecialRootFolder folder)
{
    const ItemIdList list = ShellNamespace::specialFolderLocation(SpecialFolderCsidl(folder));
    if (list.isNull()) throw ESsShellError();
    selectList(list);
}

void TStShellTreeView::currentChanged(QTreeWidgetItem* node)
{
    if (!startFolderSet_ || quietSelection_ || !node) return;
    reportSelection(node);
}

void TStShellTreeView::reportSelection(QTreeWidgetItem* node)
{
    lastSelectedNode_ = node;
    TStShellFolder* folder = FolderOf(node);
    if (!folder) return;
    selectedFolder_ = folder;
    if (OnFolderSelected) OnFolderSelected(this, folder);
}

void TStShellTreeView::applyStartFolder()
{
    startFolderSet_ = true;
    ItemIdList start;
    if (!startInFolder_.isEmpty()) start = ShellNamespace::parse(startInFolder_);
    else if (specialStartInFolder_ != sfNone)
        start = ShellNamespace::specialFolderLocation(SpecialFolderCsidl(specialStartInFolder_));
    if (start.isNull()) return;
    QTreeWidgetItem* node = NodeByList(start);
    if (!node) {
        try {
            quietSelection_ = true;
            node = selectList(start);
        } catch (const ESsException&) {
            node = nullptr;
        }
        quietSelection_ = false;
    }
    if (!node) node = topLevelItem(0);
    if (!node) return;
    quietSelection_ = true;
    setCurrentItem(node);
    quietSelection_ = false;
    scrollToItem(node);
    reportSelection(node);
}

bool TStShellTreeView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Paint && !startFolderSet_) applyStartFolder();
    return QTreeWidget::viewportEvent(event);
}
