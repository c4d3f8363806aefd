// The folder tree: renaming, new folders, the context menu, drag and drop.
#include "notify/TStShellTreeView.h"

#include "notify/TreeNodes.h"
#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "notify/TreeDropOperation.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

using namespace TreeNodes;
// ---------------------------------------------------------------------------------------------
// Renaming and new folders

bool TStShellTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (trigger != QAbstractItemView::NoEditTriggers && trigger != QAbstractItemView::AllEditTriggers) {
        const TStShellFolder* f = FolderOf(itemFromIndex(index));
        if (!(options_ & toAllowRename) || !f || !f->CanRename()) return false;
    }
    return QTreeWidget::edit(index, trigger, event);
}

void TStShellTreeView::labelEdited(QTreeWidgetItem* node)
{
    TStShellFolder* f = FolderOf(node);
    if (!f) return;
    const QString name = node->text(0);
    if (name == PathBytes::forDisplay(f->DisplayName())) return;  // as shown: not renamed
    ItemIdList renamed;
    if (!name.isEmpty() && (options_ & toAllowRename)) renamed = controller_->RenameItem(f->Pidl(), name);
    if (renamed.isNull()) {
        setNodeLook(node, *f);
        if (!name.isEmpty())
            ModalBoxes::error(QStringLiteral("Cannot rename %1 to %2").arg(f->DisplayName(), name));
        return;
    }
    auto fresh = TStShellFolder::CreateFromPidl(renamed, controller_.get());
    f->Assign(*fresh);
    setNodeLook(node, *f);
    rebaseChildren(node);
    reposition(node);
    if (node == currentItem()) reportSelection(node);
}

bool TStShellTreeView::AddFolder(const QString& name)
{
    QTreeWidgetItem* parent = currentItem();
    TStShellFolder* f = FolderOf(parent);
    if (!f) return false;
    const QString base = ShellNamespace::fileSystemPathOf(f->Pidl());
    if (base.isEmpty()) return false;
    if (f->IsReadOnly()) throw ESsInvalidFolder(QStringLiteral("Cannot create folder: Parent folder is read-only"), 241);
    const QString stem = name.isEmpty() ? QStringLiteral("New Folder") : name;
    const QStringList siblings = QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    auto taken = [&](const QString& candidate) {
        return std::any_of(siblings.begin(), siblings.end(),
                           [&](const QString& s) { return s.compare(candidate, Qt::CaseInsensitive) == 0; });
    };
    QString candidate = stem;
    for (int n = 2; taken(candidate); ++n) candidate = QStringLiteral("%1 (%2)").arg(stem).arg(n);
    const QString path = QDir(base).filePath(candidate);
    if (!QDir().mkdir(path)) return false;
    // Show it at once; the monitor's notice finds it there.
    if (IsFilled(parent)) {
        auto item = TStShellFolder::CreateFromPidl(ShellNamespace::parse(path), controller_.get());
        folderCreated(*item, false);
    } else {
        parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Context menu

QMenu* TStShellTreeView::CreateShellMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QTreeWidgetItem* node = currentItem();
    TStShellFolder* f = FolderOf(node);
    const QString path = f ? ShellNamespace::fileSystemPathOf(f->Pidl()) : QString();
    QAction* open = menu->addAction(QStringLiteral("Open in the file manager"), this, [path] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    });
    open->setEnabled(!path.isEmpty());
    QAction* copy = menu->addAction(QStringLiteral("Copy path"), this, [path] {
        QApplication::clipboard()->setText(path);
    });
    copy->setEnabled(!path.isEmpty());
    if (options_ & toAllowRename) {
        QAction* rename = menu->addAction(QStringLiteral("Rename"), this, [this, node] {
            if (node && node == currentItem()) editItem(node, 0);
        });
        rename->setEnabled(f && f->CanRename());
    }
    menu->addSeparator();
    QAction* add = menu->addAction(QStringLiteral("New Folder"), this, [this] {
        ModalBoxes::guarded([this] { AddFolder(); });
    });
    add->setEnabled(!path.isEmpty());
    return menu;
}

void TStShellTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        // A right click selects the node under it.
        if (QTreeWidgetItem* node = itemAt(event->pos())) setCurrentItem(node);
    }
    if (!(options_ & toShellMenu) || !FolderOf(currentItem())) return;
    QMenu* menu = CreateShellMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// ---------------------------------------------------------------------------------------------
// Drag and drop

QStringList TStShellTreeView::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* TStShellTreeView::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    QList<QUrl> urls;
    for (QTreeWidgetItem* node : items) {
        if (const TStShellFolder* f = FolderOf(node)) {
            const QString path = ShellNamespace::fileSystemPathOf(f->Pidl());
            if (!path.isEmpty()) urls.append(QUrl::fromLocalFile(path));
        }
    }
    if (urls.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void TStShellTreeView::startDrag(Qt::DropActions supportedActions)
{
    QTreeWidgetItem* node = currentItem();
    if (!(options_ & toAllowDrag) || !node) return;
    QMimeData* data = mimeData({node});
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(node->icon(0).pixmap(SystemImageList::kSmallSize));
    drag->exec(supportedActions & (Qt::CopyAction | Qt::MoveAction | Qt::LinkAction), Qt::CopyAction);
}

void TStShellTreeView::setDropTarget(QTreeWidgetItem* node)
{
    if (node == dropTargetNode_) return;
    if (dropTargetNode_) dropTargetNode_->setBackground(0, QBrush());
    dropTargetNode_ = node;
    if (node) node->setBackground(0, palette().highlight().color().lighter(160));
    expandTimer_.stop();
    if (node && expandInterval_ > 0) expandTimer_.start(expandInterval_);
}

void TStShellTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    if ((options_ & toAllowDrop) && event->mimeData()->hasUrls()) event->acceptProposedAction();
    else event->ignore();
}

void TStShellTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!(options_ & toAllowDrop) || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    QTreeWidgetItem* node = itemAt(pos);
    setDropTarget(node);
    // Scroll by one node near the edges.
    if (!scrollTimer_.isActive() && (pos.y() < 10 || pos.y() > viewport()->height() - 30)) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + (pos.y() < 10 ? -1 : 1) *
                                                                         verticalScrollBar()->singleStep());
        scrollTimer_.start();
    }
    const TStShellFolder* f = FolderOf(node);
    const QString target = f ? ShellNamespace::fileSystemPathOf(f->Pidl()) : QString();
    if (target.isEmpty() || !TreeDropOperation::canDrop(event->mimeData()->urls(), target)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TStShellTreeView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setDropTarget(nullptr);
    event->accept();
}

void TStShellTreeView::dropEvent(QDropEvent* event)
{
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    setDropTarget(nullptr);
    if (!(options_ & toAllowDrop) || !node) {
        event->ignore();
        return;
    }
    const Qt::DropAction action = event->dropAction() == Qt::MoveAction ? Qt::MoveAction : Qt::CopyAction;
    dropOn(node, event->mimeData(), action);
    event->setDropAction(action);
    event->accept();
}

void TStShellTreeView::dropOn(QTreeWidgetItem* node, const QMimeData* data, Qt::DropAction action)
{
    const TStShellFolder* f = FolderOf(node);
    const QString target = f ? ShellNamespace::fileSystemPathOf(f->Pidl()) : QString();
    if (target.isEmpty()) return;
    const QStringList failures = TreeDropOperation::run(data->urls(), target, action == Qt::MoveAction);
    if (!failures.isEmpty()) ModalBoxes::error(failures.join(u'\n'));
}
