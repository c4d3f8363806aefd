#include "TemporaryHome.h"
#include "notify/ESsException.h"
#include "notify/FolderEnumerationJob.h"
#include "notify/TStShellTreeView.h"
#include "platform/shell/ShellNamespace.h"
#include "support/BoxRecorder.h"
#include "support/Waiting.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSemaphore>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i) texts.append(node->child(i)->text(0));
    return texts;
}

struct Selection {
    TStShellTreeView* sender = nullptr;
    QString path;
};

class TStShellTreeViewTest : public ::testing::Test {
protected:
    HomeFolder home;
    std::unique_ptr<TStShellTreeView> tree;
    QList<Selection> reported;

    void SetUp() override
    {
        for (const char* d : {"w/one/two/three/four", "w/one/sibling", "w/.hidden/inside", "w/after"})
            ASSERT_TRUE(QDir().mkpath(home.at(QString::fromLatin1(d))));
        makeTree();
    }

    void makeTree()
    {
        tree = std::make_unique<TStShellTreeView>();
        tree->OnFolderSelected = [this](TStShellTreeView* sender, TStShellFolder* folder) {
            reported.append({sender, folder ? folder->Path() : QStringLiteral("<none>")});
        };
    }

    // The first paint, which applies the start folder.
    void paint()
    {
        tree->show();
        tree->viewport()->repaint();
        QCoreApplication::processEvents();
    }

    QString selectedPath() const
    {
        return tree->SelectedFolder() ? tree->SelectedFolder()->Path() : QStringLiteral("<none>");
    }
    QTreeWidgetItem* node(const QString& rel) const { return tree->NodeByPath(home.at(rel)); }
};

TEST_F(TStShellTreeViewTest, StartsWithTheDesktopOpenAndItsLevelListed)
{
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_TRUE(tree->FolderOf(root)->IsDesktop());
    EXPECT_TRUE(root->isExpanded());
    EXPECT_TRUE(tree->IsFilled(root));
    const QStringList top = childTexts(root);
    ASSERT_GE(top.size(), 2);
    EXPECT_EQ(top.mid(0, 2), (QStringList{"Home", "Computer"}));
    // Levels below are listed only when opened.
    QTreeWidgetItem* homeNode = tree->NodeByPath(TemporaryHome::home());
    ASSERT_TRUE(homeNode);
    EXPECT_FALSE(tree->IsFilled(homeNode));
    EXPECT_EQ(homeNode->childCount(), 0);
    EXPECT_EQ(homeNode->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(tree->SelectedFolder(), nullptr);
}

TEST_F(TStShellTreeViewTest, OpeningANodeListsItWithoutWaitingForIt)
{
    QTreeWidgetItem* homeNode = tree->NodeByPath(TemporaryHome::home());
    ASSERT_TRUE(homeNode);
    homeNode->setExpanded(true);  // as a click on its button does
    // The listing runs elsewhere; the nodes come when it is done.
    EXPECT_FALSE(tree->IsFilled(homeNode));
    EXPECT_EQ(tree->PendingFills(), 1);
    ASSERT_TRUE(waitFor([&] { return tree->IsFilled(homeNode); }));
    EXPECT_TRUE(childTexts(homeNode).contains(QFileInfo(home.path()).fileName()));
    QTreeWidgetItem* ours = tree->NodeByPath(home.path());
    ASSERT_TRUE(ours);
    ours->setExpanded(true);
    ASSERT_TRUE(waitFor([&] { return tree->IsFilled(ours); }));
    EXPECT_EQ(childTexts(ours), QStringList{"w"});
    QTreeWidgetItem* w = node("w");
    ASSERT_TRUE(w);
    // "after" has no sub-folder: no button; "one" has some.
    w->setExpanded(true);
    ASSERT_TRUE(waitFor([&] { return tree->IsFilled(w); }));
    EXPECT_EQ(node("w/after")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    EXPECT_EQ(node("w/one")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(tree->PendingFills(), 0);
}

TEST_F(TStShellTreeViewTest, SelectFolderThreeLevelsDownExpandsTheWayAndSelects)
{
    const QString path = home.at("w/one/two/three");
    tree->SelectFolder(path);
    EXPECT_EQ(selectedPath(), path);
    ASSERT_TRUE(tree->SelectedFolder());
    EXPECT_TRUE(tree->SelectedFolder()->IsFileFolder());
    EXPECT_EQ(tree->SelectedFolder()->Pidl(), ShellNamespace::parse(path));
    EXPECT_EQ(tree->StartInFolder(), path);
    QTreeWidgetItem* target = node("w/one/two/three");
    ASSERT_TRUE(target);
    EXPECT_EQ(tree->currentItem(), target);
    for (const char* rel : {"w", "w/one", "w/one/two", "w/one/two/three"})
        EXPECT_TRUE(node(QString::fromLatin1(rel))->isExpanded()) << rel;
    EXPECT_EQ(childTexts(target), QStringList{"four"});
    EXPECT_TRUE(tree->NodeByPath(TemporaryHome::home())->isExpanded());
}

TEST_F(TStShellTreeViewTest, WhatCannotBeReachedFailsWithInvalidFolderAndKeepsTheSelection)
{
    const QString kept = home.at("w/one");
    tree->SelectFolder(kept);
    const QString cases[] = {
        home.at("w/missing"),            // not there
        home.at("w/.hidden"),            // hidden: never a node
        home.at("w/.hidden/inside"),     // below a hidden folder
        QStringLiteral("relative/path"),  // can't be parsed
        QString(),
    };
    for (const QString& path : cases) {
        try {
            tree->SelectFolder(path);
            ADD_FAILURE() << "no failure for " << path.toStdString();
        } catch (const ESsInvalidFolder& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Invalid folder"));
            EXPECT_EQ(e.ErrorCode(), 240);
        }
        EXPECT_EQ(selectedPath(), kept) << path.toStdString();
        EXPECT_EQ(tree->currentItem(), node("w/one"));
        EXPECT_EQ(tree->StartInFolder(), kept);
    }
}

TEST_F(TStShellTreeViewTest, AFolderMadeAfterItsParentWasListedCanStillBeSelected)
{
    tree->SelectFolder(home.at("w/one"));
    ASSERT_TRUE(QDir().mkpath(home.at("w/one/fresh/deeper")));
    tree->SelectFolder(home.at("w/one/fresh/deeper"));
    EXPECT_EQ(selectedPath(), home.at("w/one/fresh/deeper"));
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"fresh", "sibling", "two"}));
}

TEST_F(TStShellTreeViewTest, RefreshBringsANodeUpToDateAndKeepsWhatStays)
{
    tree->SelectFolder(home.at("w/one/two/three"));
    QTreeWidgetItem* three = node("w/one/two/three");
    ASSERT_TRUE(QDir(home.at("w/one/sibling")).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(home.at("w/one/new")));
    tree->Refresh(node("w/one"));
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"new", "two"}));
    EXPECT_EQ(node("w/one/two/three"), three);
    EXPECT_EQ(tree->currentItem(), three);
    EXPECT_TRUE(node("w/one/two")->isExpanded());
}

TEST_F(TStShellTreeViewTest, AFolderThatDoesNotAnswerHoldsNothingUp)
{
    ASSERT_TRUE(QDir().mkpath(home.at("w/slow/inner")));
    tree->SelectFolder(home.at("w/one"));
    // The listing of w/slow hangs, as on a volume that doesn't answer, until the gate opens.
    const ItemIdList slow = ShellNamespace::parse(home.at("w/slow"));
    const auto gate = std::make_shared<QSemaphore>();
    FolderEnumerationJob::setBeforeListing([gate, slow](const ItemIdList& folder) {
        if (folder == slow) gate->acquire();
    });
    struct Open {
        std::shared_ptr<QSemaphore> gate;
        ~Open()
        {
            FolderEnumerationJob::setBeforeListing({});
            gate->release(100);
        }
    } open{gate};
    tree->setFillWait(200);

    EXPECT_THROW(tree->SelectFolder(home.at("w/slow/inner")), ESsInvalidFolder);
    EXPECT_EQ(selectedPath(), home.at("w/one"));
    QTreeWidgetItem* slowNode = node("w/slow");
    ASSERT_TRUE(slowNode);
    EXPECT_FALSE(tree->IsFilled(slowNode));
    // Opening and closing it, and working elsewhere in the tree, go on meanwhile.
    slowNode->setExpanded(false);
    slowNode->setExpanded(true);
    tree->SelectFolder(home.at("w/one/two/three"));
    EXPECT_EQ(selectedPath(), home.at("w/one/two/three"));

    gate->release(100);
    ASSERT_TRUE(waitFor([&] { return tree->IsFilled(slowNode); }));
    EXPECT_EQ(childTexts(slowNode), QStringList{"inner"});
    tree->SelectFolder(home.at("w/slow/inner"));
    EXPECT_EQ(selectedPath(), home.at("w/slow/inner"));
}

TEST_F(TStShellTreeViewTest, ChildrenFollowTheNamespaceOrderAndHiddenOnesAreLeftOut)
{
    for (const char* d : {"s/beta", "s/Alpha", "s/gamma", "s/Beta2", "s/.dot", "s/10", "s/9"})
        ASSERT_TRUE(QDir().mkpath(home.at(QString::fromLatin1(d))));
    QFile(home.at("s/afile")).open(QIODevice::WriteOnly);
    tree->SelectFolder(home.at("s"));
    EXPECT_EQ(childTexts(node("s")), (QStringList{"10", "9", "Alpha", "beta", "Beta2", "gamma"}));
    // The same order as the shell compares them.
    const ShellFolder desktop(ItemIdList::desktop());
    QTreeWidgetItem* s = node("s");
    for (int i = 1; i < s->childCount(); ++i)
        EXPECT_LT(desktop.CompareIDs(tree->FolderOf(s->child(i - 1))->Pidl(), tree->FolderOf(s->child(i))->Pidl()), 0);
}

TEST_F(TStShellTreeViewTest, SelectSpecialFolderNoneSelectsTheDesktop)
{
    paint();
    tree->SelectFolder(home.at("w/one"));
    reported.clear();
    tree->SelectSpecialFolder(sfNone);
    ASSERT_TRUE(tree->SelectedFolder());
    EXPECT_TRUE(tree->SelectedFolder()->IsDesktop());
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_EQ(reported[0].path, TemporaryHome::desktop());
    EXPECT_EQ(reported[0].sender, tree.get());
    // Selecting what is selected already reports nothing.
    tree->SelectSpecialFolder(sfNone);
    EXPECT_EQ(reported.size(), 1);
}

TEST_F(TStShellTreeViewTest, BeforeTheFirstPaintNothingIsReportedThenTheLastSelectFolderIs)
{
    const QString path = home.at("w/one/two");
    tree->SelectFolder(path);
    EXPECT_EQ(selectedPath(), path);
    tree->SelectSpecialFolder(sfNone);
    EXPECT_TRUE(tree->SelectedFolder()->IsDesktop());
    EXPECT_TRUE(reported.isEmpty());
    paint();
    ASSERT_EQ(reported.size(), 1);
    EXPECT_EQ(reported[0].path, path);
    EXPECT_EQ(selectedPath(), path);
    EXPECT_EQ(tree->currentItem(), node("w/one/two"));
}

TEST_F(TStShellTreeViewTest, WithoutAnEarlierSelectFolderTheFirstPaintSelectsNothing)
{
    paint();
    EXPECT_TRUE(reported.isEmpty());
    EXPECT_EQ(tree->SelectedFolder(), nullptr);
    // From now on a selection is reported with its folder.
    tree->SelectFolder(home.at("w/after"));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_EQ(reported[0].path, home.at("w/after"));
    tree->setCurrentItem(node("w/one"));  // as a click does
    ASSERT_EQ(reported.size(), 2);
    EXPECT_EQ(reported[1].path, home.at("w/one"));
    EXPECT_EQ(selectedPath(), home.at("w/one"));
}

TEST_F(TStShellTreeViewTest, EditingALabelRenamesTheFolderOnDisk)
{
    paint();
    tree->SelectFolder(home.at("w/one/two"));
    QTreeWidgetItem* two = node("w/one/two");
    reported.clear();
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"sibling", "two"}));
    two->setExpanded(true);
    two->setText(0, "erste");  // what the label editor commits
    EXPECT_FALSE(QFileInfo::exists(home.at("w/one/two")));
    EXPECT_TRUE(QFileInfo(home.at("w/one/erste/three")).isDir());
    EXPECT_EQ(selectedPath(), home.at("w/one/erste"));
    EXPECT_EQ(tree->NodeByPath(home.at("w/one/erste")), two);
    // The node moved to its place among its siblings, still selected and open, and the
    // folders below it follow.
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"erste", "sibling"}));
    EXPECT_EQ(tree->currentItem(), two);
    EXPECT_TRUE(two->isExpanded());
    EXPECT_TRUE(tree->NodeByPath(home.at("w/one/erste/three")));
    EXPECT_FALSE(tree->NodeByPath(home.at("w/one/two/three")));
    ASSERT_FALSE(reported.isEmpty());
    EXPECT_EQ(reported.last().path, home.at("w/one/erste"));
}

TEST_F(TStShellTreeViewTest, ARenameThatWouldReplaceSomethingIsRefused)
{
    BoxRecorder boxes;
    tree->SelectFolder(home.at("w/one/two"));
    QTreeWidgetItem* two = node("w/one/two");
    for (const QString& name : {QStringLiteral("sibling"), QStringLiteral("a/b")}) {
        boxes.clear();
        two->setText(0, name);
        EXPECT_EQ(two->text(0), "two");
        EXPECT_TRUE(QFileInfo(home.at("w/one/two/three")).isDir());
        EXPECT_TRUE(QFileInfo(home.at("w/one/sibling")).isDir());
        EXPECT_EQ(boxes.boxes().size(), 1) << name.toStdString();
    }
    // An emptied label just goes back.
    boxes.clear();
    two->setText(0, QString());
    EXPECT_EQ(two->text(0), "two");
    EXPECT_TRUE(boxes.boxes().isEmpty());
}

TEST_F(TStShellTreeViewTest, TheMenuCopiesThePathAndMakesNewFolders)
{
    tree->SelectFolder(home.at("w/after"));
    std::unique_ptr<QMenu> menu(tree->CreateShellMenu(nullptr));
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts.append(a->text());
    EXPECT_EQ(texts, (QStringList{"Open in the file manager", "Copy path", "Rename", "New Folder"}));
    auto action = [&](const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return static_cast<QAction*>(nullptr);
    };
    action("Copy path")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), home.at("w/after"));
    action("New Folder")->trigger();
    action("New Folder")->trigger();
    EXPECT_TRUE(QFileInfo(home.at("w/after/New Folder")).isDir());
    EXPECT_TRUE(QFileInfo(home.at("w/after/New Folder (2)")).isDir());
    tree->SelectFolder(home.at("w/after"));
    EXPECT_EQ(childTexts(node("w/after")), (QStringList{"New Folder", "New Folder (2)"}));
}

TEST_F(TStShellTreeViewTest, DraggingANodeCarriesItsPathAsAUri)
{
    tree->SelectFolder(home.at("w/one"));
    EXPECT_EQ(tree->model()->mimeTypes(), QStringList{"text/uri-list"});
    std::unique_ptr<QMimeData> data(tree->model()->mimeData({tree->currentIndex()}));
    ASSERT_TRUE(data);
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0], QUrl::fromLocalFile(home.at("w/one")));
}

TEST_F(TStShellTreeViewTest, FilesDroppedOnANodeAreCopiedIntoItsFolder)
{
    BoxRecorder boxes;
    paint();
    tree->SelectFolder(home.at("w/after"));
    QFile f(home.at("w/note.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("text");
    f.close();
    QTreeWidgetItem* after = node("w/after");
    const QPoint at = tree->visualItemRect(after).center();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(home.at("w/note.txt"))});
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &drop);
    EXPECT_TRUE(QFileInfo(home.at("w/after/note.txt")).isFile());
    EXPECT_TRUE(QFileInfo(home.at("w/note.txt")).isFile());  // copied, not moved
    EXPECT_TRUE(boxes.boxes().isEmpty());
    // A folder can't go into itself.
    QMimeData self;
    self.setUrls({QUrl::fromLocalFile(home.at("w/after"))});
    QDragEnterEvent enterAgain(at, Qt::CopyAction, &self, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enterAgain);
    QDragMoveEvent onItself(at, Qt::CopyAction, &self, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &onItself);
    EXPECT_FALSE(onItself.isAccepted());
}

TEST_F(TStShellTreeViewTest, HoveringADragOverAClosedNodeOpensItAfterTheInterval)
{
    paint();
    tree->SelectFolder(home.at("w/after"));
    QTreeWidgetItem* one = node("w/one");
    ASSERT_FALSE(one->isExpanded());
    tree->setExpandInterval(50);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(home.at("w/after"))});
    const QPoint at = tree->visualItemRect(one).center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    EXPECT_TRUE(waitFor([&] { return one->isExpanded(); }));
    EXPECT_TRUE(waitFor([&] { return tree->IsFilled(one); }));
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(tree->viewport(), &leave);
}

}  // namespace
