// The folder tree: making it, its properties, its root and nodes, and finding nodes.
#include "notify/TStShellTreeView.h"

#include "notify/TreeNodes.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"
#include "platform/shell/SystemImageList.h"

#include <QApplication>
#include <QScrollBar>

using namespace TreeNodes;

TStShellTreeView::TStShellTreeView(QWidget* owner) : QTreeWidget(owner)
{
    resize(180, 270);
    setHeaderHidden(true);
    setColumnCount(1);
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setIconSize(QSize(SystemImageList::kSmallSize, SystemImageList::kSmallSize));
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setOptions(options_);

    expandTimer_.setSingleShot(true);
    connect(&expandTimer_, &QTimer::timeout, this, [this] {
        if (dropTargetNode_ && !dropTargetNode_->isExpanded() &&
            dropTargetNode_->childIndicatorPolicy() != QTreeWidgetItem::DontShowIndicator)
            dropTargetNode_->setExpanded(true);
    });
    scrollTimer_.setSingleShot(true);
    scrollTimer_.setInterval(30);
    catchUpTimer_.setSingleShot(true);
    catchUpTimer_.setInterval(kCatchUpMs);
    connect(&catchUpTimer_, &QTimer::timeout, this, &TStShellTreeView::catchUp);
    keepTopTimer_.setSingleShot(true);
    keepTopTimer_.setInterval(kKeepTopMs);
    connect(&keepTopTimer_, &QTimer::timeout, this, &TStShellTreeView::putTopBack);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TStShellTreeView::scrolledWhileKeepingTop);

    connect(this, &QTreeWidget::itemExpanded, this, &TStShellTreeView::nodeExpanded);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { currentChanged(current); });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node, int) {
        if (!settingText_) labelEdited(node);
    });

    controller_ = std::make_unique<TStCustomShellController>();

    shellMonitor_ = new TStShellNotification(this);
    shellMonitor_->SetWatchSubFolders(true);
    // The tree's own refresh is best effort: a folder the system can no longer watch (its limit
    // on watches reached) just stops refreshing itself. A box here would stop the user for what
    // each watch already reports about its own folders.
    shellMonitor_->OnServiceError = [](QObject*, const QString&) {};
    shellMonitor_->OnShellChangeNotify = [this](QObject*, TStShellItem* oldItem, TStShellItem* newItem,
                                                TStNotifyEventsSet events) {
        shellChanged(oldItem, newItem, events);
    };
    // A folder's watch comes after its listing: once it is in place the folder is listed again,
    // so that what changed in between shows.
    shellMonitor_->OnFolderFollowed = [this](QObject*, const QString& folder) { scheduleCatchUp(NodeByPath(folder)); };
    shellMonitor_->SetMaxNotifications(maxNotifications_);
    monitorWhatIsShown();
    shellMonitor_->SetActive(true);

    fillTree();
}

TStShellTreeView::~TStShellTreeView()
{
    // No notice may reach a tree that is half gone.
    delete shellMonitor_;
    shellMonitor_ = nullptr;
    // Jobs still running finish on their own thread and are dropped unread.
    pending_.clear();
    if (busyCursor_) QApplication::restoreOverrideCursor();
    selectedFolder_ = nullptr;
    blockSignals(true);
    clear();
}

// ---------------------------------------------------------------------------------------------
// Properties

bool TStShellTreeView::Settled() const
{
    return pending_.isEmpty() && catchUp_.isEmpty() && !catchUpTimer_.isActive() && !keepingTop_ &&
           (!shellMonitor_ || shellMonitor_->FollowsUnderWay() == 0);
}

void TStShellTreeView::setOptions(TStTreeOptionsSet options)
{
    const bool refill = (options ^ options_) & (toShowFiles | toShowHidden);
    options_ = options;
    setDragEnabled(options_ & toAllowDrag);
    setAcceptDrops(options_ & toAllowDrop);
    viewport()->setAcceptDrops(options_ & toAllowDrop);
    if (refill && topLevelItemCount()) fillTree();
    monitorWhatIsShown();
}

void TStShellTreeView::monitorWhatIsShown()
{
    // Each event asked for costs the service a notice for the tree; it needs the files' only
    // when it shows files, or when someone hears every change through it.
    TStNotifyEventsSet events = TStNotifyEventsSet::All();
    if (!(options_ & toShowFiles) && !OnShellChangeNotify)
        events = events - TStNotifyEventsSet{neFileChange, neFileCreate, neFileDelete, neFileRename};
    if (shellMonitor_ && !(shellMonitor_->NotifyEvents() == events)) shellMonitor_->SetNotifyEvents(events);
}

void TStShellTreeView::showEvent(QShowEvent* event)
{
    // OnShellChangeNotify is assigned once the tree is made, before it is shown.
    monitorWhatIsShown();
    QTreeWidget::showEvent(event);
}

quint32 TStShellTreeView::enumFlags() const
{
    quint32 flags = SHCONTF_FOLDERS;
    if (options_ & toShowFiles) flags |= SHCONTF_NONFOLDERS;
    if (options_ & toShowHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    return flags;
}

// ---------------------------------------------------------------------------------------------
// The root and the nodes

ItemIdList TStShellTreeView::rootList() const
{
    if (specialRootFolder_ == sfNone) {
        const ItemIdList list = ShellNamespace::parse(rootFolder_);
        if (list.isNull()) throw ESsInvalidFolder();
        return list;
    }
    const ItemIdList list = ShellNamespace::specialFolderLocation(SpecialFolderCsidl(specialRootFolder_));
    if (list.isNull()) throw ESsShellError();
    return list;
}

void TStShellTreeView::fillTree()
{
    quietSelection_ = true;
    pending_.clear();
    selectedFolder_ = nullptr;
    lastSelectedNode_ = nullptr;
    dropTargetNode_ = nullptr;
    clear();
    folders_.Clear();
    rootFolderIndex_ = -1;
    quietSelection_ = false;

    if (specialRootFolder_ == sfNone && rootFolder_.isEmpty()) {
        startFolderSet_ = true;
        return;
    }
    const ItemIdList root = rootList();
    auto item = TStShellFolder::CreateFromPidl(root, controller_.get());
    QTreeWidgetItem* node = addNode(nullptr, std::move(item), true);
    rootFolderIndex_ = node->data(0, FolderIndexRole).toInt();
    fillNow(node, fillWaitMs_);
    if (options_ & toExpandTopNode) node->setExpanded(true);

    ItemIdList start;
    if (!startInFolder_.isEmpty()) start = ShellNamespace::parse(startInFolder_);
    else start = ShellNamespace::specialFolderLocation(SpecialFolderCsidl(specialStartInFolder_));
    if (!start.isNull()) {
        // Open what is already there on the way; the start folder is selected at the first paint.
        for (ItemIdList way = start; !way.isNull(); way = way.parent()) {
            if (QTreeWidgetItem* n = NodeByList(way)) {
                for (QTreeWidgetItem* up = n; up; up = up->parent())
                    if (up->childCount()) up->setExpanded(true);
                break;
            }
        }
        startFolderSet_ = false;
        return;
    }
    startFolderSet_ = true;
}

QTreeWidgetItem* TStShellTreeView::makeNode(std::unique_ptr<TStShellFolder> folder, bool hasChildren)
{
    auto* node = new QTreeWidgetItem;
    node->setFlags(node->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    node->setData(0, FilledRole, false);
    node->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicator);
    setNodeLook(node, *folder);
    node->setData(0, FolderIndexRole, folders_.Add(std::move(folder)));
    return node;
}

QTreeWidgetItem* TStShellTreeView::addNode(QTreeWidgetItem* parent, std::unique_ptr<TStShellFolder> folder,
                                           bool hasChildren)
{
    const ItemIdList list = folder->Pidl();
    QTreeWidgetItem* node = makeNode(std::move(folder), hasChildren);
    settingText_ = true;
    if (!parent) {
        addTopLevelItem(node);
    } else {
        parent->insertChild(insertPosition(parent, list), node);
    }
    settingText_ = false;
    return node;
}

void TStShellTreeView::setNodeLook(QTreeWidgetItem* node, TStShellFolder& folder)
{
    const bool old = settingText_;
    settingText_ = true;
    node->setText(0, PathBytes::forDisplay(folder.DisplayName()));
    node->setIcon(0, nodeIcon(icons_, folder.IconIndex(), folder.OpenIconIndex(), folder.OverlayIconIndex()));
    if ((options_ & toColorCompressed) && folder.IsCompressed() && !folder.HasRemovableMedia())
        node->setForeground(0, compressedColor_);
    settingText_ = old;
}

int TStShellTreeView::insertPosition(QTreeWidgetItem* parent, const ItemIdList& list) const
{
    // Children are kept sorted, so a binary search finds the place. They share the parent:
    // their own items order them (comparing whole lists decodes every level of both).
    const ShellFolder desktop(ItemIdList::desktop());
    const ItemIdList own = list.lastElement();
    int lo = 0, hi = parent->childCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const TStShellFolder* f = FolderOf(parent->child(mid));
        if (f && desktop.CompareIDs(f->SimplePidl(), own) < 0) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

void TStShellTreeView::reposition(QTreeWidgetItem* node)
{
    QTreeWidgetItem* parent = node->parent();
    const TStShellFolder* f = FolderOf(node);
    if (!parent || !f) return;
    const ShellFolder desktop(ItemIdList::desktop());
    const int from = parent->indexOfChild(node);
    auto order = [&](int i) {
        const TStShellFolder* g = FolderOf(parent->child(i));
        return g ? desktop.CompareIDs(g->Pidl(), f->Pidl()) : 0;
    };
    if ((from == 0 || order(from - 1) <= 0) && (from + 1 >= parent->childCount() || order(from + 1) >= 0)) return;
    // Taking a node out forgets what was expanded and selected in it; put both back.
    QList<QTreeWidgetItem*> expanded;
    forEachNode(node, [&](QTreeWidgetItem* n) {
        if (n->isExpanded()) expanded.append(n);
    });
    QTreeWidgetItem* current = currentItem();
    const bool wasCurrent = current && isInside(current, node);
    setUpdatesEnabled(false);
    quietSelection_ = true;
    parent->takeChild(from);
    parent->insertChild(insertPosition(parent, f->Pidl()), node);
    for (QTreeWidgetItem* n : expanded) n->setExpanded(true);
    if (wasCurrent) setCurrentItem(current);
    quietSelection_ = false;
    setUpdatesEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Looking up nodes

TStShellFolder* TStShellTreeView::FolderOf(const QTreeWidgetItem* node) const
{
    if (!node) return nullptr;
    bool ok = false;
    const int index = node->data(0, FolderIndexRole).toInt(&ok);
    return ok ? folders_[index] : nullptr;
}

bool TStShellTreeView::IsFilled(const QTreeWidgetItem* node) const
{
    return node && node->data(0, FilledRole).toBool();
}

QTreeWidgetItem* TStShellTreeView::NodeByList(const ItemIdList& list) const
{
    if (list.isNull()) return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<TStShellTreeView*>(this)); *it; ++it) {
        const TStShellFolder* f = FolderOf(*it);
        if (f && f->Pidl() == list) return *it;
    }
    return nullptr;
}

QTreeWidgetItem* TStShellTreeView::NodeByPath(const QString& path) const
{
    for (QTreeWidgetItemIterator it(const_cast<TStShellTreeView*>(this)); *it; ++it) {
        const TStShellFolder* f = FolderOf(*it);
        if (f && f->Path() == path) return *it;
    }
    return nullptr;
}

