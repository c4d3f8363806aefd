#include "TemporaryHome.h"
#include "notify/TStShellTreeView.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

// The tree following changes made elsewhere, through its own monitor and the real service.
namespace {

QStringList childTexts(const QTreeWidgetItem* node)
{
    QStringList texts;
    for (int i = 0; node && i < node->childCount(); ++i) texts.append(node->child(i)->text(0));
    return texts;
}

bool move(const QString& from, const QString& to) { return QDir().rename(from, to); }

class TStShellTreeViewLiveTest : public ::testing::Test {
protected:
    HomeFolder home;
    std::unique_ptr<TStShellTreeView> tree;
    struct Report {
        QString path;
        bool oldNodeStillThere;
    };
    QList<Report> reported;
    QString watchedOldPath;  // whose node's presence each report notes

    void SetUp() override
    {
        for (const char* d : {"w/one/two/three", "w/one/sibling", "w/after"})
            ASSERT_TRUE(QDir().mkpath(home.at(QString::fromLatin1(d))));
        tree = std::make_unique<TStShellTreeView>();
        tree->OnFolderSelected = [this](TStShellTreeView*, TStShellFolder* folder) {
            reported.append({folder->Path(), !watchedOldPath.isEmpty() && tree->NodeByPath(watchedOldPath)});
        };
        tree->show();
        tree->viewport()->repaint();  // the first paint: selections are reported from now on
        QCoreApplication::processEvents();
        // w and w/one listed, and followed.
        tree->SelectFolder(home.at("w/one"));
        tree->SelectFolder(home.at("w/after"));
        ASSERT_TRUE(waitFor([&] { return tree->Settled(); }));
    }

    QTreeWidgetItem* node(const QString& rel) const { return tree->NodeByPath(home.at(rel)); }
    // A change seen by the tree: a folder made under a listed node shows up.
    void settle(const QString& marker = QStringLiteral("w/one/zz-marker"))
    {
        ASSERT_TRUE(QDir().mkpath(home.at(marker)));
        ASSERT_TRUE(waitFor([&] { return node(marker) != nullptr; })) << marker.toStdString();
    }
};

TEST_F(TStShellTreeViewLiveTest, AFolderMadeUnderAListedNodeAppearsAtOnceInOrder)
{
    ASSERT_TRUE(QDir().mkpath(home.at("w/one/rho")));
    ASSERT_TRUE(waitFor([&] { return node("w/one/rho") != nullptr; }));
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"rho", "sibling", "two"}));
    // It can be opened like any other.
    ASSERT_TRUE(QDir().mkpath(home.at("w/one/rho/inner")));
    tree->SelectFolder(home.at("w/one/rho/inner"));
    EXPECT_EQ(tree->SelectedFolder()->Path(), home.at("w/one/rho/inner"));
}

TEST_F(TStShellTreeViewLiveTest, ABurstOfNewFoldersAllShowThoughTheMonitorDropsNotices)
{
    // The monitor keeps 6 notices waiting and drops the rest; the tree lists the folder again.
    QStringList expected{"sibling", "two"};
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("burst%1").arg(i, 2, 10, QLatin1Char('0'));
        ASSERT_TRUE(QDir().mkdir(home.at("w/one/" + name)));
        expected.append(name);
    }
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    EXPECT_TRUE(waitFor([&] { return childTexts(node("w/one")) == expected; })) << childTexts(node("w/one")).join(' ').toStdString();
    // And the same for a burst of deletions.
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(QDir().rmdir(home.at(QStringLiteral("w/one/burst%1").arg(i, 2, 10, QLatin1Char('0')))));
    EXPECT_TRUE(waitFor([&] { return childTexts(node("w/one")) == QStringList({"sibling", "two"}); }))
        << childTexts(node("w/one")).join(' ').toStdString();
}

TEST_F(TStShellTreeViewLiveTest, HiddenFoldersAndFoldersUnderUnlistedNodesAddNoNode)
{
    ASSERT_TRUE(QDir().mkpath(home.at("w/one/.secret")));
    ASSERT_TRUE(QDir().mkpath(home.at("w/one/two/three/below")));  // three is not listed
    settle();
    EXPECT_EQ(node("w/one/.secret"), nullptr);
    EXPECT_EQ(node("w/one/two/three/below"), nullptr);
    EXPECT_FALSE(tree->IsFilled(node("w/one/two")));
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"sibling", "two", "zz-marker"}));
}

TEST_F(TStShellTreeViewLiveTest, ADeletedSelectedFolderHandsTheSelectionOnFirst)
{
    struct Case {
        const char* selected;
        const char* next;
    } cases[] = {
        {"w/one/sibling", "w/one/two"},  // the next sibling
        {"w/after", "w/one"},            // the next sibling, with a sub-tree of its own
    };
    for (const Case& c : cases) {
        const QString gone = home.at(QString::fromLatin1(c.selected));
        tree->SelectFolder(gone);
        reported.clear();
        watchedOldPath = gone;
        ASSERT_TRUE(QDir(gone).removeRecursively());
        ASSERT_TRUE(waitFor([&] { return tree->NodeByPath(gone) == nullptr; })) << c.selected;
        ASSERT_EQ(reported.size(), 1) << c.selected;
        EXPECT_EQ(reported[0].path, home.at(QString::fromLatin1(c.next)));
        EXPECT_TRUE(reported[0].oldNodeStillThere) << "the selection moves before the node goes";
        EXPECT_EQ(tree->SelectedFolder()->Path(), home.at(QString::fromLatin1(c.next)));
        EXPECT_EQ(tree->currentItem(), node(QString::fromLatin1(c.next)));
    }
}

TEST_F(TStShellTreeViewLiveTest, AFolderDeletedAboveTheSelectionTakesItAlong)
{
    tree->SelectFolder(home.at("w/one/two/three"));
    reported.clear();
    ASSERT_TRUE(QDir(home.at("w/one/two")).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return node("w/one/two") == nullptr; }));
    EXPECT_EQ(node("w/one/two/three"), nullptr);
    ASSERT_TRUE(tree->SelectedFolder());
    EXPECT_FALSE(tree->SelectedFolder()->Path().startsWith(home.at("w/one/two")));
    EXPECT_EQ(tree->SelectedFolder(), tree->FolderOf(tree->currentItem()));
}

TEST_F(TStShellTreeViewLiveTest, AFolderRenamedElsewhereKeepsItsNodeUnderTheNewName)
{
    tree->SelectFolder(home.at("w/one/two/three"));
    QTreeWidgetItem* two = node("w/one/two");
    ASSERT_TRUE(move(home.at("w/one/two"), home.at("w/one/alpha")));
    ASSERT_TRUE(waitFor([&] { return node("w/one/alpha") != nullptr; }));
    EXPECT_EQ(node("w/one/alpha"), two);
    EXPECT_EQ(two->text(0), "alpha");
    EXPECT_EQ(childTexts(node("w/one")), (QStringList{"alpha", "sibling"}));
    // The selected folder below it now has its new path.
    EXPECT_EQ(tree->SelectedFolder()->Path(), home.at("w/one/alpha/three"));
}

TEST_F(TStShellTreeViewLiveTest, AFolderMovedToAnotherListedFolderMovesThere)
{
    ASSERT_TRUE(move(home.at("w/one/sibling"), home.at("w/after/sibling")));
    ASSERT_TRUE(waitFor([&] { return node("w/after/sibling") != nullptr && node("w/one/sibling") == nullptr; }));
    EXPECT_EQ(childTexts(node("w/one")), QStringList{"two"});
    // Moved in from outside what the tree has listed, with a sub-folder: it can be opened.
    QTemporaryDir outside;
    ASSERT_TRUE(QDir().mkpath(outside.filePath("brought/inner")));
    ASSERT_TRUE(move(outside.filePath("brought"), home.at("w/after/brought")));
    ASSERT_TRUE(waitFor([&] { return node("w/after/brought") != nullptr; }));
    EXPECT_EQ(node("w/after/brought")->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(node("w/after/sibling")->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
}

TEST_F(TStShellTreeViewLiveTest, NewFoldersLeaveTheTopmostVisibleNodeWhereItWas)
{
    tree->resize(260, 110);  // a few rows: the tree scrolls
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(QDir().mkdir(home.at(QStringLiteral("w/one/z%1").arg(i, 2, 10, QLatin1Char('0')))));
    QTreeWidgetItem* one = node("w/one");
    one->setExpanded(true);
    ASSERT_TRUE(waitFor([&] { return tree->IsFilled(one) && node("w/one/z19"); }));
    struct Case {
        const char* what;
        QStringList made;  // under w/one, all at once
    } cases[] = {
        {"one folder above the top node", {"aa"}},
        {"a burst above it", {"b00", "b01", "b02", "b03", "b04", "b05", "b06", "b07", "b08", "b09"}},
        {"one below it", {"zzz"}},
    };
    for (const Case& c : cases) {
        QTreeWidgetItem* top = node("w/one/sibling");
        tree->scrollToItem(top, QAbstractItemView::PositionAtTop);
        QCoreApplication::processEvents();
        ASSERT_EQ(tree->itemAt(0, 0), top) << c.what;
        const int y = tree->visualItemRect(top).top();
        for (const QString& name : c.made) ASSERT_TRUE(QDir().mkdir(home.at("w/one/" + name)));
        ASSERT_TRUE(waitFor([&] {
            for (const QString& name : c.made)
                if (!node("w/one/" + name)) return false;
            return true;
        })) << c.what;
        ASSERT_TRUE(waitFor([&] { return tree->Settled(); })) << c.what;
        EXPECT_EQ(tree->itemAt(0, 0), top) << c.what;
        EXPECT_EQ(tree->visualItemRect(top).top(), y) << c.what;
        EXPECT_TRUE(tree->updatesEnabled()) << c.what;
    }
}

}  // namespace

namespace {

// The tree's monitor leaves file events out unless it shows files or someone listens to every
// change through it: either way a file made under a listed node must still reach them.
TEST_F(TStShellTreeViewLiveTest, FileEventsReachTheTreeWhenItShowsFilesOrSomeoneListens)
{
    struct Case {
        const char* what;
        bool showFiles;
        bool listen;
    } cases[] = {{"files shown", true, false}, {"a listener", false, true}, {"both", true, true}};
    for (const Case& c : cases) {
        auto t = std::make_unique<TStShellTreeView>();
        if (c.showFiles) t->setOptions(t->Options() | toShowFiles);
        QStringList heard;
        if (c.listen) {
            t->OnShellChangeNotify = [&heard](TObject*, TStShellItem* item, TStShellItem*, TStNotifyEventsSet events) {
                if (item && events.Contains(neFileCreate)) heard.append(item->Path());
            };
        }
        t->show();
        QCoreApplication::processEvents();
        t->SelectFolder(home.at("w/one"));
        ASSERT_TRUE(waitFor([&] { return t->Settled(); })) << c.what;
        const QString file = home.at(QStringLiteral("w/one/%1.txt").arg(QString::fromLatin1(c.what).replace(u' ', u'-')));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << c.what;
        f.close();
        if (c.listen) {
            EXPECT_TRUE(waitFor([&] { return heard.contains(file); })) << c.what;
        }
        if (c.showFiles) {
            EXPECT_TRUE(waitFor([&] { return t->NodeByPath(file) != nullptr; })) << c.what;
        }
        ASSERT_TRUE(QFile::remove(file)) << c.what;
    }
}

}  // namespace
