#pragma once
#include "notify/FolderEnumerationJob.h"
#include "notify/TStShellFolder.h"
#include "notify/TStShellFolderList.h"
#include "notify/TStShellNotification.h"
#include "notify/TStSpecialRootFolder.h"
#include "platform/shell/ItemIdList.h"

#include <QColor>
#include <QElapsedTimer>
#include <QIcon>
#include <QFlags>
#include <QHash>
#include <QPersistentModelIndex>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

class QMenu;
class TStCustomShellController;

// What the folder tree offers; bit n is member n.
enum TStTreeOption : quint32 {
    toAllowRename = 1u << 0,      // labels can be edited, which renames the folder
    toAllowDrag = 1u << 1,        // a node can be dragged out (as text/uri-list)
    toAllowDrop = 1u << 2,        // files can be dropped on a node
    toColorCompressed = 1u << 3,  // compressed folders are drawn in CompressedColor
    toExpandTopNode = 1u << 4,    // the root is expanded after a fill
    toExtendedMenu = 1u << 5,     // (our menu has no extended commands)
    toShellMenu = 1u << 6,        // the context menu: open, copy path, rename, new folder
    toShowFiles = 1u << 7,        // files as well as folders
    toShowHidden = 1u << 8,       // hidden objects (names starting with ".")
};
Q_DECLARE_FLAGS(TStTreeOptionsSet, TStTreeOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TStTreeOptionsSet)

class TStShellTreeView;
using TStFolderSelectedEvent = std::function<void(TStShellTreeView* Sender, TStShellFolder* Folder)>;
using TStEnumItemEvent = std::function<void(TStShellTreeView* Sender, TStShellItem* ShellItem, bool& Accept)>;

// The folder tree: the shell namespace from the desktop down, folders only, each level listed
// when it is first opened. Listing runs off the main thread; a volume that doesn't answer leaves
// its node empty instead of freezing the window. A monitor of its own keeps the nodes in step
// with folders created, deleted and renamed elsewhere.
class TStShellTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit TStShellTreeView(QWidget* owner = nullptr);
    ~TStShellTreeView() override;

    // Expands the way to the folder and selects it; StartInFolder then holds the path. A path
    // that can't be parsed or reached through the nodes (hidden, outside the root) fails with
    // ESsInvalidFolder "Invalid folder" and leaves the selection as it was.
    void SelectFolder(const QString& path);
    // sfNone selects the root (the desktop). A special folder without a place here fails with
    // ESsShellError.
    void SelectSpecialFolder(TStSpecialRootFolder folder);
    // The selected node's folder (owned by the tree); none until something has been selected.
    TStShellFolder* SelectedFolder() const { return selectedFolder_; }

    // Makes a folder under the selected one ("New Folder", then "New Folder (2)" ...); true when
    // it was made. Read-only parent: ESsInvalidFolder "Cannot create folder: Parent folder is
    // read-only" (241).
    bool AddFolder(const QString& name = QString());
    // Lists a node's children again, keeping the expanded nodes expanded.
    void Refresh(QTreeWidgetItem* node);

    QString StartInFolder() const { return startInFolder_; }
    TStTreeOptionsSet Options() const { return options_; }
    void setOptions(TStTreeOptionsSet options);
    void setExpandInterval(int ms) { expandInterval_ = ms; }

    // The node of a folder (first in tree order), none when there is none.
    QTreeWidgetItem* NodeByList(const ItemIdList& list) const;
    QTreeWidgetItem* NodeByPath(const QString& path) const;
    // The folder entry of a node; none for a node whose entry is gone.
    TStShellFolder* FolderOf(const QTreeWidgetItem* node) const;
    // Whether a node's children have been listed.
    bool IsFilled(const QTreeWidgetItem* node) const;
    // The folders of the nodes, by the index each node holds.
    const TStShellFolderList& Folders() const { return folders_; }
    // Number of listings still running.
    int PendingFills() const { return int(pending_.size()); }
    // Nothing under way: no listing, no folder waiting for its watch, no listing due again.
    bool Settled() const;

    // The context menu for the selected folder (the caller owns it).
    QMenu* CreateShellMenu(QWidget* parent);

    TStFolderSelectedEvent OnFolderSelected;
    TStEnumItemEvent OnFilterItem;
    TStShellNotifyEvent3 OnShellChangeNotify;

    // How long SelectFolder waits, in all, for the listings it needs on its way down; a level
    // not listed by then fails it.
    static constexpr int kFillWaitMs = 5000;
    void setFillWait(int ms) { fillWaitMs_ = ms; }
    // How long a folder must be quiet before it is listed again after a change.
    static constexpr int kCatchUpMs = 250;
    static constexpr int kCatchUpMaxMs = 2000;

protected:
    bool viewportEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The monitor asks for file events only when the tree shows files or OnShellChangeNotify
    // is assigned (looked at when options change and when the tree is shown).
    void monitorWhatIsShown();
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum Role { FolderIndexRole = Qt::UserRole + 1, FilledRole };

    void fillTree();
    ItemIdList rootList() const;
    quint32 enumFlags() const;
    QTreeWidgetItem* makeNode(std::unique_ptr<TStShellFolder> folder, bool hasChildren);
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, std::unique_ptr<TStShellFolder> folder, bool hasChildren);
    void setNodeLook(QTreeWidgetItem* node, TStShellFolder& folder);
    // Lists a node's children (again: brings a listed node up to date) off the main thread.
    void startFill(QTreeWidgetItem* node, bool again = false);
    // The same, waiting at most timeoutMs; false when the listing did not come in time (its
    // nodes then come when it does).
    bool fillNow(QTreeWidgetItem* node, int timeoutMs, bool again = false);
    void applyFill(QTreeWidgetItem* node, const FolderEnumerationJob::Result& result);
    void fillFinished(int index, const FolderEnumerationJob* finished);
    // Lists a listed node again a little later: the monitor drops notices in a burst, and the
    // first one it lets through brings the node up to date.
    void scheduleCatchUp(QTreeWidgetItem* node);
    void catchUp();
    void nodeExpanded(QTreeWidgetItem* node);
    void expandNode(QTreeWidgetItem* node, int timeoutMs);
    int insertPosition(QTreeWidgetItem* parent, const ItemIdList& list) const;
    void reposition(QTreeWidgetItem* node);

    QTreeWidgetItem* selectList(const ItemIdList& list);
    void currentChanged(QTreeWidgetItem* node);
    void reportSelection(QTreeWidgetItem* node);
    void applyStartFolder();

    void shellChanged(TStShellItem* first, TStShellItem* second, TStNotifyEventsSet events);
    bool folderCreated(TStShellItem& item, bool driveAdd);
    // Nodes added in a burst leave the topmost visible node where it was: it is noted before the
    // first one and put back kKeepTopMs later (finding it lays out the tree), unless the view
    // was scrolled meanwhile.
    static constexpr int kKeepTopMs = 40;
    void keepTopThroughBurst();
    void putTopBack();
    void scrolledWhileKeepingTop();
    void removeNode(QTreeWidgetItem* node);
    void folderRenamed(TStShellItem& from, TStShellItem& to);
    void rebaseChildren(QTreeWidgetItem* node);
    bool isLeftOut(const TStShellItem& item);

    void labelEdited(QTreeWidgetItem* node);
    void dropOn(QTreeWidgetItem* node, const QMimeData* data, Qt::DropAction action);
    void setDropTarget(QTreeWidgetItem* node);

    std::unique_ptr<TStCustomShellController> controller_;
    TStShellFolderList folders_;  // entries never reused; none once their node is removed
    QHash<int, std::shared_ptr<FolderEnumerationJob>> pending_;  // by folder index
    QHash<quint64, QIcon> icons_;
    QTimer expandTimer_;
    QTimer scrollTimer_;
    QTimer catchUpTimer_;
    QSet<int> catchUp_;  // folder indexes
    QElapsedTimer catchUpSince_;
    TStShellNotification* shellMonitor_ = nullptr;

    TStShellFolder* selectedFolder_ = nullptr;
    QTreeWidgetItem* lastSelectedNode_ = nullptr;
    QTreeWidgetItem* dropTargetNode_ = nullptr;
    int rootFolderIndex_ = -1;
    bool startFolderSet_ = false;
    bool quietSelection_ = false;
    bool settingText_ = false;
    bool busyCursor_ = false;
    bool keepingTop_ = false;
    bool puttingTopBack_ = false;
    QTimer keepTopTimer_;
    QPersistentModelIndex keptTop_;
    int keptTopY_ = 0;

    QString rootFolder_;
    TStSpecialRootFolder specialRootFolder_ = sfDesktop;
    QString startInFolder_;
    TStSpecialRootFolder specialStartInFolder_ = sfNone;
    TStTreeOptionsSet options_ = toAllowRename | toAllowDrag | toAllowDrop | toExpandTopNode | toShellMenu;
    int maxNotifications_ = 5;
    int fillWaitMs_ = kFillWaitMs;
    int expandInterval_ = 2000;
    bool filtered_ = false;
    QColor compressedColor_ = QColor(0, 0, 255);
};
