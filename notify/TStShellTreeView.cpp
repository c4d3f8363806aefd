#include "notify/TStShellTreeView.h"

#include "notify/TreeNodes.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "notify/TreeDropOperation.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"
#include "platform/shell/SystemImageList.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSet>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {


}  // namespace

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
    return pending_.isEmpty() && catchUp_.isEmpty() && !catchUpTimer_.isActive() &&
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
}

quint32 TStShellTreeView::enumFlags() const
{
    quint32 flags = SHCONTF_FOLDERS;
    if (options_ & toShowFiles) flags |= SHCONTF_NONFOLDERS;
    if (options_ & toShowHidden) flags |= SHCONTF_INCLUDEHIDDEN;
    return flags;
}

// ---------------------------------------------------------------------------------------------
// Filling

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

void TStShellTreeView::startFill(QTreeWidgetItem* node, bool again)
{
    const TStShellFolder* folder = FolderOf(node);
    if (!folder || (IsFilled(node) && !again)) return;
    const int index = node->data(0, FolderIndexRole).toInt();
    if (pending_.contains(index)) return;
    // The result comes back as a queued call on this thread; the job is known by its address.
    pending_.insert(index, FolderEnumerationJob::start(folder->Pidl(), enumFlags(), [this, index](FolderEnumerationJob* job) {
        connect(job, &FolderEnumerationJob::finished, this, [this, index, job] { fillFinished(index, job); },
                Qt::QueuedConnection);
    }));
}

bool TStShellTreeView::fillNow(QTreeWidgetItem* node, int timeoutMs, bool again)
{
    if (IsFilled(node) && !again) return true;
    if (!FolderOf(node)) return false;
    startFill(node, again);
    const int index = node->data(0, FolderIndexRole).toInt();
    const std::shared_ptr<FolderEnumerationJob> job = pending_.value(index);
    if (!job || !job->wait(timeoutMs)) return false;
    pending_.remove(index);
    applyFill(node, job->result());
    return true;
}

void TStShellTreeView::fillFinished(int index, const FolderEnumerationJob* finished)
{
    // A listing that was waited for, dropped or started again meanwhile has nothing to say.
    const std::shared_ptr<FolderEnumerationJob> job = pending_.value(index);
    if (job && job.get() == finished) {
        pending_.remove(index);
        QTreeWidgetItem* node = nullptr;
        if (TStShellFolder* f = folders_[index]) node = NodeByList(f->Pidl());
        if (node && node->data(0, FolderIndexRole).toInt() == index) applyFill(node, job->result());
    }
    if (pending_.isEmpty()) {
        if (busyCursor_) {
            busyCursor_ = false;
            QApplication::restoreOverrideCursor();
        }
    }
}

void TStShellTreeView::scheduleCatchUp(QTreeWidgetItem* node)
{
    if (!node || !IsFilled(node)) return;
    catchUp_.insert(node->data(0, FolderIndexRole).toInt());
    // Waits for a quiet moment, but not for ever while changes keep coming.
    if (!catchUpTimer_.isActive()) catchUpSince_.start();
    if (catchUpSince_.elapsed() < kCatchUpMaxMs) catchUpTimer_.start();
}

void TStShellTreeView::catchUp()
{
    const QSet<int> due = std::exchange(catchUp_, {});
    for (int index : due) {
        const TStShellFolder* f = folders_[index];
        QTreeWidgetItem* node = f ? NodeByList(f->Pidl()) : nullptr;
        if (node && IsFilled(node)) startFill(node, true);
    }
}

void TStShellTreeView::applyFill(QTreeWidgetItem* node, const FolderEnumerationJob::Result& result)
{
    TStShellFolder* folder = FolderOf(node);
    if (!folder) return;
    // A node listed before is brought up to date: what is gone goes, what is new comes.
    const bool again = IsFilled(node);
    node->setData(0, FilledRole, true);

    // The monitor follows every folder the tree has listed (see OnFolderFollowed).
    QList<ItemIdList> children;
    if (result.readable) {
        for (const FolderEnumerationJob::Child& c : result.children) children.append(c.relative);
        if (shellMonitor_ && folder->IsFileFolder()) shellMonitor_->FollowFolder(folder->Path());
    }
    QHash<QByteArray, const FolderEnumerationJob::Child*> known;
    for (const FolderEnumerationJob::Child& c : result.children) known.insert(c.relative.bytes(), &c);
    QSet<QByteArray> present;
    if (again) {
        keepTopThroughBurst();  // what comes and goes above it must not move what the user sees
        QSet<QByteArray> listed;
        for (const ItemIdList& child : children) listed.insert(folder->Pidl().appended(child).bytes());
        for (int i = node->childCount() - 1; i >= 0; --i) {
            QTreeWidgetItem* c = node->child(i);
            const TStShellFolder* f = FolderOf(c);
            if (f && listed.contains(f->Pidl().bytes())) present.insert(f->Pidl().bytes());
            else if (result.readable) removeNode(c);
        }
    }

    struct Made {
        std::unique_ptr<TStShellFolder> folder;
        bool hasChildren;
        ItemIdList relative;  // all share the parent: their own item orders them
    };
    std::vector<Made> made;
    for (const ItemIdList& child : children) {
        const FolderEnumerationJob::Child* c = known.value(child.bytes());
        const ItemIdList absolute = folder->Pidl().appended(child);
        if (present.contains(absolute.bytes())) continue;
        auto f = TStShellFolder::CreateFromPidl(absolute, controller_.get());
        if (filtered_ && OnFilterItem) {
            bool accept = true;
            OnFilterItem(this, f.get(), accept);
            if (!accept) continue;
        }
        // A child that appeared after the listing gets a button; opening it tells the truth.
        const bool hasChildren = c ? c->hasChildren : f->IsFolder();
        made.push_back({std::move(f), hasChildren, child});
    }
    const ShellFolder desktop(ItemIdList::desktop());
    std::stable_sort(made.begin(), made.end(), [&desktop](const Made& a, const Made& b) {
        return desktop.CompareIDs(a.relative, b.relative) < 0;
    });

    setUpdatesEnabled(false);
    if (node->childCount() == 0) {
        // A first listing goes in at once, in order: one by one, each child costs a search for
        // its place and a change of the view.
        QList<QTreeWidgetItem*> nodes;
        nodes.reserve(qsizetype(made.size()));
        for (Made& m : made) nodes.append(makeNode(std::move(m.folder), m.hasChildren));
        settingText_ = true;
        node->addChildren(nodes);
        settingText_ = false;
    } else {
        for (Made& m : made) addNode(node, std::move(m.folder), m.hasChildren);
    }
    if (!node->childCount()) node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    else node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (!keepingTop_) setUpdatesEnabled(true);
}

void TStShellTreeView::nodeExpanded(QTreeWidgetItem* node)
{
    if (IsFilled(node)) return;
    startFill(node);
    if (!busyCursor_ && !pending_.isEmpty()) {
        busyCursor_ = true;
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
}

void TStShellTreeView::expandNode(QTreeWidgetItem* node, int timeoutMs)
{
    fillNow(node, timeoutMs);
    node->setExpanded(true);
}

void TStShellTreeView::Refresh(QTreeWidgetItem* node)
{
    // Listed again in place: nodes that still exist keep their state (expanded, selected).
    if (!node || !FolderOf(node)) return;
    QList<ItemIdList> expanded;
    forEachNode(node, [&](QTreeWidgetItem* n) {
        if (n != node && n->isExpanded() && IsFilled(n))
            if (const TStShellFolder* f = FolderOf(n)) expanded.append(f->Pidl());
    });
    fillNow(node, fillWaitMs_, IsFilled(node));
    for (const ItemIdList& l : expanded) {
        if (QTreeWidgetItem* n = NodeByList(l)) fillNow(n, fillWaitMs_, true);
    }
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

