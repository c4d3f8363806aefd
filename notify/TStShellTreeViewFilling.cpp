// The folder tree: listing a node's children off the main thread and bringing listed nodes up
// to date.
#include "notify/TStShellTreeView.h"

#include "notify/TreeNodes.h"
#include "notify/TStCustomShellController.h"
#include "platform/shell/ShellNamespace.h"

#include <QApplication>

#include <algorithm>
#include <utility>

using namespace TreeNodes;
// ---------------------------------------------------------------------------------------------
// Filling

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
