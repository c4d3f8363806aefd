#include "notify/TStShellTreeView.h"

#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "notify/TreeDropOperation.h"
#include "platform/ModalBoxes.h"
#include "platform/ShellNamespace.h"
#include "platform/SystemImageList.h"

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

constexpr int kPollMs = 15;

QIcon makeNodeIcon(int iconIndex, int openIconIndex, int overlayIndex)
{
    const QIcon closed = SystemImageList::icon(iconIndex);
    const QIcon open = SystemImageList::icon(openIconIndex);
    if (closed.isNull() && open.isNull()) return {};
    const int s = SystemImageList::kSmallSize;
    auto withOverlay = [&](const QIcon& base) {
        QPixmap pm = base.pixmap(s, s);
        if (overlayIndex < 0 || pm.isNull()) return pm;
        const QIcon emblem = QIcon::fromTheme(overlayIndex == 1 ? QStringLiteral("emblem-symbolic-link")
                                                                : QStringLiteral("emblem-shared"));
        if (!emblem.isNull()) {
            QPainter p(&pm);
            p.drawPixmap(0, s / 2, emblem.pixmap(s / 2, s / 2));
        }
        return pm;
    };
    QIcon icon;
    icon.addPixmap(withOverlay(closed.isNull() ? open : closed), QIcon::Normal);
    icon.addPixmap(withOverlay(open.isNull() ? closed : open), QIcon::Selected);
    return icon;
}

// Nodes share a handful of icons; making each anew would cost a pixmap per node.
QIcon nodeIcon(QHash<quint64, QIcon>& made, int iconIndex, int openIconIndex, int overlayIndex)
{
    const quint64 key = (quint64(quint32(iconIndex)) << 32) ^ (quint64(quint32(openIconIndex)) << 8) ^
                        quint64(quint8(overlayIndex));
    auto it = made.find(key);
    if (it == made.end()) it = made.insert(key, makeNodeIcon(iconIndex, openIconIndex, overlayIndex));
    return it.value();
}

// Next node in tree order after a node's whole sub-tree.
QTreeWidgetItem* nextAfterSubtree(QTreeWidgetItem* node)
{
    for (QTreeWidgetItem* n = node; n; n = n->parent()) {
        QTreeWidgetItem* parent = n->parent();
        if (!parent) {
            QTreeWidget* tree = n->treeWidget();
            const int i = tree ? tree->indexOfTopLevelItem(n) : -1;
            return (tree && i >= 0 && i + 1 < tree->topLevelItemCount()) ? tree->topLevelItem(i + 1) : nullptr;
        }
        const int i = parent->indexOfChild(n);
        if (i + 1 < parent->childCount()) return parent->child(i + 1);
    }
    return nullptr;
}

bool isInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor)
{
    for (const QTreeWidgetItem* n = node; n; n = n->parent())
        if (n == ancestor) return true;
    return false;
}

template <typename F>
void forEachNode(QTreeWidgetItem* node, const F& f)
{
    f(node);
    for (int i = 0; i < node->childCount(); ++i) forEachNode(node->child(i), f);
}

}  // namespace

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

    pollTimer_.setInterval(kPollMs);
    connect(&pollTimer_, &QTimer::timeout, this, &TStShellTreeView::pollFills);
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

double TStShellTreeView::ShellVersion() const { return ShellNamespace::shellVersion(); }

bool TStShellTreeView::Settled() const
{
    return pending_.isEmpty() && catchUp_.isEmpty() && !catchUpTimer_.isActive() &&
           (!shellMonitor_ || shellMonitor_->FollowsUnderWay() == 0);
}

void TStShellTreeView::setRootFolder(const QString& path)
{
    rootFolder_ = path;
    fillTree();
}

void TStShellTreeView::setSpecialRootFolder(TStSpecialRootFolder folder)
{
    if (NeedsShell47(folder) && ShellVersion() < 4.7) throw ESsShellError();
    specialRootFolder_ = folder;
    fillTree();
}

void TStShellTreeView::setSpecialStartInFolder(TStSpecialRootFolder folder)
{
    if (NeedsShell47(folder) && ShellVersion() < 4.7) throw ESsShellError();
    specialStartInFolder_ = folder;
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

void TStShellTreeView::setMaxNotifications(int value)
{
    maxNotifications_ = value;
    if (shellMonitor_) shellMonitor_->SetMaxNotifications(value);
}

void TStShellTreeView::setFiltered(bool value)
{
    if (filtered_ == value) return;
    filtered_ = value;
    fillTree();
    if (QTreeWidgetItem* top = topLevelItem(0)) reportSelection(top);
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
    pollTimer_.stop();
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

QTreeWidgetItem* TStShellTreeView::addNode(QTreeWidgetItem* parent, std::unique_ptr<TStShellFolder> folder,
                                           bool hasChildren)
{
    auto* node = new QTreeWidgetItem;
    node->setFlags(node->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    node->setData(0, FilledRole, false);
    node->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicator);
    setNodeLook(node, *folder);
    const ItemIdList list = folder->Pidl();
    node->setData(0, FolderIndexRole, folders_.Add(std::move(folder)));
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
    node->setText(0, folder.DisplayName());
    node->setIcon(0, nodeIcon(icons_, folder.IconIndex(), folder.OpenIconIndex(), folder.OverlayIconIndex()));
    if ((options_ & toColorCompressed) && folder.IsCompressed() && !folder.HasRemovableMedia())
        node->setForeground(0, compressedColor_);
    settingText_ = old;
}

int TStShellTreeView::insertPosition(QTreeWidgetItem* parent, const ItemIdList& list) const
{
    // Children are kept sorted, so a binary search finds the place.
    const ShellFolder desktop(ItemIdList::desktop());
    int lo = 0, hi = parent->childCount();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const TStShellFolder* f = FolderOf(parent->child(mid));
        if (f && desktop.CompareIDs(f->Pidl(), list) < 0) lo = mid + 1;
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
    pending_.insert(index, FolderEnumerationJob::start(folder->Pidl(), enumFlags()));
    if (!pollTimer_.isActive()) pollTimer_.start();
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

void TStShellTreeView::pollFills()
{
    QList<int> done;
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        if (it.value()->isDone()) done.append(it.key());
    for (int index : done) {
        const std::shared_ptr<FolderEnumerationJob> job = pending_.take(index);
        QTreeWidgetItem* node = nullptr;
        if (TStShellFolder* f = folders_[index]) node = NodeByList(f->Pidl());
        if (node && node->data(0, FolderIndexRole).toInt() == index) applyFill(node, job->result());
    }
    if (pending_.isEmpty()) {
        pollTimer_.stop();
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
        made.push_back({std::move(f), hasChildren});
    }
    const ShellFolder desktop(ItemIdList::desktop());
    std::stable_sort(made.begin(), made.end(), [&desktop](const Made& a, const Made& b) {
        return desktop.CompareIDs(a.folder->Pidl(), b.folder->Pidl()) < 0;
    });

    setUpdatesEnabled(false);
    for (Made& m : made) addNode(node, std::move(m.folder), m.hasChildren);
    if (!node->childCount()) node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    else node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    setUpdatesEnabled(true);
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

void TStShellTreeView::ResetSelectedFolder()
{
    quietSelection_ = true;
    setCurrentItem(nullptr);
    clearSelection();
    quietSelection_ = false;
    selectedFolder_ = nullptr;
    lastSelectedNode_ = nullptr;
    startInFolder_.clear();
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
    if (NodeByPath(item.Path())) return true;
    auto folder = std::make_unique<TStShellFolder>(controller_.get());
    folder->Assign(item);
    if (filtered_ && OnFilterItem) {
        bool accept = true;
        OnFilterItem(this, folder.get(), accept);
        if (!accept) return true;
    }
    QTreeWidgetItem* top = itemAt(0, 0);
    const int topY = top ? visualItemRect(top).top() : 0;
    setUpdatesEnabled(false);
    // A folder moved in brings its sub-folders along: it gets its button then.
    const bool hasChildren = driveAdd || folder->HasSubFolder();
    addNode(parent, std::move(folder), hasChildren);
    parent->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (top) {
        // Keep the topmost visible node where it was.
        verticalScrollBar()->setValue(verticalScrollBar()->value() + visualItemRect(top).top() - topY);
    }
    setUpdatesEnabled(true);
    return true;
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
    if (name == f->DisplayName()) return;
    const ItemIdList parentList = f->Pidl().parent();
    ItemIdList renamed;
    if (!name.isEmpty() && (options_ & toAllowRename) && !parentList.isNull())
        renamed = ShellFolder(parentList).SetNameOf(f->Pidl().lastElement(), name);
    if (renamed.isNull()) {
        setNodeLook(node, *f);
        if (!name.isEmpty())
            ModalBoxes::error(QStringLiteral("Cannot rename %1 to %2").arg(f->DisplayName(), name));
        return;
    }
    auto fresh = TStShellFolder::CreateFromPidl(parentList.appended(renamed), controller_.get());
    f->Assign(*fresh);
    setNodeLook(node, *f);
    rebaseChildren(node);
    reposition(node);
    if (node == currentItem()) reportSelection(node);
}

bool TStShellTreeView::RenameFolder(const QString& newName)
{
    QTreeWidgetItem* node = currentItem();
    TStShellFolder* f = FolderOf(node);
    if (!f || newName.isEmpty()) return false;
    const QString before = f->Path();
    settingText_ = true;
    node->setText(0, newName);
    settingText_ = false;
    labelEdited(node);
    return FolderOf(node) && FolderOf(node)->Path() != before;
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
