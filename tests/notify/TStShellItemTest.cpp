#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "notify/TStShellFolder.h"
#include "notify/TStShellFolderList.h"
#include "notify/TStShellItem.h"
#include "platform/shell/ShellNamespace.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

class TStShellItemTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString at(const QString& rel) const { return dir.filePath(rel); }
};

TEST_F(TStShellItemTest, ItemWithoutAListIsEmptyAndHasNoController)
{
    const auto item = TStShellItem::CreateFromPidl(ItemIdList());
    EXPECT_TRUE(item->Path().isEmpty());
    EXPECT_TRUE(item->DisplayName().isEmpty());
    EXPECT_FALSE(item->IsDesktop() || item->IsFile() || item->IsFileFolder() || item->IsFileSystem());
    EXPECT_EQ(item->Controller(), nullptr);
    EXPECT_FALSE(item->IsFolder());
    EXPECT_EQ(item->IconIndex(), -1);
    // A plain new item makes its own controller.
    TStShellItem plain;
    EXPECT_NE(plain.Controller(), nullptr);
}

TEST_F(TStShellItemTest, FlagsOfFilesFoldersVirtualFoldersAndTheDesktop)
{
    ASSERT_TRUE(QDir().mkpath(at("folder")));
    touch(at("folder/file.txt"));
    struct Case {
        QString path;
        bool fileSystem, fileFolder, file;
        QString display;
    } cases[] = {
        {at("folder"), true, true, false, "folder"},
        {at("folder/file.txt"), true, false, true, "file.txt"},
        {"computer:///", false, false, false, "Computer"},
    };
    for (const Case& c : cases) {
        const auto item = TStShellItem::CreateFromPath(c.path);
        EXPECT_EQ(item->IsFileSystem(), c.fileSystem) << c.path.toStdString();
        EXPECT_EQ(item->IsFileFolder(), c.fileFolder) << c.path.toStdString();
        EXPECT_EQ(item->IsFile(), c.file) << c.path.toStdString();
        EXPECT_EQ(item->Path(), c.path);
        EXPECT_EQ(item->DisplayName(), c.display);
        EXPECT_FALSE(item->IsDesktop());
        EXPECT_EQ(item->SimplePidl(), item->Pidl().lastElement());
    }
    const auto desktop = TStShellItem::CreateFromPidl(ItemIdList::desktop());
    EXPECT_TRUE(desktop->IsDesktop());
    EXPECT_EQ(desktop->Path(), ShellNamespace::desktopPath());
    EXPECT_EQ(desktop->DisplayName(), QStringLiteral("Desktop"));
    // Guarded for the desktop without asking; IsFolder is asked.
    EXPECT_FALSE(desktop->CanRename());
    EXPECT_FALSE(desktop->HasSubFolder());
    EXPECT_TRUE(desktop->IsFolder());
}

TEST_F(TStShellItemTest, AttributePropertiesAskTheParentFolder)
{
    ASSERT_TRUE(QDir().mkpath(at("d/sub")));
    touch(at("d/f"));
    const auto d = TStShellItem::CreateFromPath(at("d"));
    EXPECT_TRUE(d->IsFolder());
    EXPECT_TRUE(d->HasSubFolder());
    EXPECT_TRUE(d->CanRename());
    EXPECT_FALSE(TStShellItem::CreateFromPath(at("d/f"))->HasSubFolder());
    EXPECT_FALSE(TStShellItem::CreateFromPath(at("d/f"))->IsFolder());
}

TEST_F(TStShellItemTest, ItemOfADeletedFileCarriesItsFullPath)
{
    touch(at("gone.txt"));
    const ItemIdList list = ShellNamespace::parse(at("gone.txt"));
    ASSERT_TRUE(QFile::remove(at("gone.txt")));
    const auto item = TStShellItem::CreateFromPidl(list);
    EXPECT_EQ(item->Path(), at("gone.txt"));
    EXPECT_EQ(item->DisplayName(), QStringLiteral("gone.txt"));
    EXPECT_TRUE(item->IsFile());
}

TEST_F(TStShellItemTest, UnparsablePathIsAnInvalidFolder)
{
    try {
        TStShellItem::CreateFromPath(at("missing"));
        FAIL() << "no exception";
    } catch (const ESsInvalidFolder& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid folder"));
        EXPECT_EQ(e.ErrorCode(), 240);
    }
    EXPECT_THROW(TStShellFolder::CreateFromPath(QStringLiteral("relative")), ESsException);
}

TEST_F(TStShellItemTest, IconsLoadTogetherOnFirstReading)
{
    writeFile(at(".hidden.txt"), "12345");
    const auto file = TStShellItem::CreateFromPath(at(".hidden.txt"));
    EXPECT_EQ(file->OverlayIconIndex(), -1);  // first reading fills all three
    EXPECT_GE(file->IconIndex(), 0);
    EXPECT_EQ(file->OpenIconIndex(), file->IconIndex());
    ASSERT_TRUE(QDir().mkpath(at("f")));
    ASSERT_TRUE(QFile::link(at("f"), at("link")));
    const auto folder = TStShellItem::CreateFromPath(at("f"));
    EXPECT_NE(folder->OpenIconIndex(), folder->IconIndex());
    EXPECT_EQ(TStShellItem::CreateFromPath(at("link"))->OverlayIconIndex(), 1);
}

TEST_F(TStShellItemTest, AssignCopiesAndOutlivesTheSource)
{
    ASSERT_TRUE(QDir().mkpath(at("x")));
    TStCustomShellController shared;
    auto source = TStShellItem::CreateFromPath(at("x"));  // owns its controller, as a notice's item does
    TStShellItem copy(&shared);
    copy.Assign(*source);
    source.reset();
    EXPECT_EQ(copy.Path(), at("x"));
    EXPECT_EQ(copy.DisplayName(), QStringLiteral("x"));
    EXPECT_TRUE(copy.IsFileFolder());
    EXPECT_EQ(copy.Pidl(), ShellNamespace::parse(at("x")));
    EXPECT_TRUE(copy.ParentFolder() != nullptr);
    EXPECT_GE(copy.IconIndex(), 0);  // its controller is still there
    EXPECT_FALSE(copy.IsFile());     // not copied

    TStShellItem sharer;
    TStShellItem keeper(&shared);
    sharer.Assign(keeper);
    EXPECT_EQ(sharer.Controller(), &shared);  // a controller nobody owns is shared

    TStShellFolder folder(&shared);
    auto item = TStShellItem::CreateFromPath(at("x"));
    folder.Assign(*item);
    EXPECT_EQ(folder.Controller(), &shared);
    EXPECT_EQ(folder.Path(), at("x"));

    // A notice's items borrow their component's controller for one call: a copy kept longer
    // must not borrow it too.
    auto lender = std::make_unique<TStCustomShellController>();
    auto lent = TStShellItem::CreateForCall(ShellNamespace::parse(at("x")), lender.get());
    EXPECT_EQ(lent->Controller(), lender.get());
    EXPECT_EQ(lent->Path(), at("x"));
    EXPECT_EQ(lent->DisplayName(), QStringLiteral("x"));
    const auto kept = TStShellItem::CreateFromPidl(ItemIdList());  // no controller of its own yet
    kept->Assign(*lent);
    EXPECT_NE(kept->Controller(), nullptr);
    EXPECT_NE(kept->Controller(), lender.get());
    lent.reset();
    lender.reset();
    EXPECT_GE(kept->IconIndex(), 0);
    EXPECT_EQ(kept->Path(), at("x"));
}

TEST_F(TStShellItemTest, ControllerRenamesAndGivesTheFileInfo)
{
    ASSERT_TRUE(QDir().mkpath(at("p/one")));
    ASSERT_TRUE(QDir().mkpath(at("p/two")));
    TStCustomShellController controller;
    const auto parent = TStShellItem::CreateFromPath(at("p"), &controller);
    EXPECT_EQ(parent->Controller(), &controller);
    const ItemIdList renamed = controller.RenameItem(ShellNamespace::parse(at("p/one")), QStringLiteral("three"));
    ASSERT_FALSE(renamed.isNull());
    EXPECT_EQ(ShellNamespace::pathOf(renamed), at("p/three"));
    EXPECT_TRUE(controller.RenameItem(ShellNamespace::parse(at("p/two")), QStringLiteral("three")).isNull());  // never replaces
    const TStFileInfo info = controller.GetFileInfo(parent->Pidl());
    EXPECT_EQ(info.DisplayName, QStringLiteral("p"));
    EXPECT_TRUE(info.Attributes & SFGAO_FOLDER);
}

}  // namespace
