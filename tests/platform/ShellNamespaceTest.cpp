#include "platform/system/MountTable.h"
#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Kind = ItemIdList::Kind;

class ShellNamespaceTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString at(const QString& rel) const { return dir.filePath(rel); }
};

TEST_F(ShellNamespaceTest, PathsParseUnderTheirLongestRootAndComeBackWhole)
{
    ASSERT_TRUE(QDir().mkpath(at("Sub Folder/inner")));
    touch(at("Sub Folder/a file.txt"));
    struct Case {
        QString path;
        Kind last;
        QString display;
    } cases[] = {
        {at("Sub Folder"), Kind::Folder, "Sub Folder"},
        {at("Sub Folder/inner"), Kind::Folder, "inner"},
        {at("Sub Folder/a file.txt"), Kind::File, "a file.txt"},
        {at("Sub Folder/inner/../a file.txt"), Kind::File, "a file.txt"},
    };
    for (const Case& c : cases) {
        const ItemIdList l = ShellNamespace::parse(c.path);
        ASSERT_FALSE(l.isNull()) << c.path.toStdString();
        EXPECT_EQ(l.lastKind(), c.last);
        EXPECT_EQ(ShellNamespace::pathOf(l), QDir::cleanPath(c.path));
        EXPECT_EQ(ShellNamespace::displayNameOf(l), c.display);
        // A temporary folder lies under "/" (Computer ▸ File System ▸ ...).
        EXPECT_EQ(l.kind(0), Kind::Computer);
        EXPECT_EQ(l.kind(1), Kind::Volume);
        EXPECT_EQ(l, ShellNamespace::listForPath(c.path, c.last == Kind::Folder));
    }
}

TEST(ShellNamespacePathTest, PathsOfListsOfEveryKind)
{
    using L = ItemIdList;
    const L home = L::desktop().appended(L::element(Kind::Home, QStringLiteral("/home/u")));
    const QByteArray latin1("caf\xE9", 4);
    const struct {
        const char* what;
        L list;
        QString path;
    } cases[] = {
        {"none", L(), QString()},
        {"desktop", L::desktop(), ShellNamespace::desktopPath()},
        {"home", home, QStringLiteral("/home/u")},
        {"under home", home.appended(L::element(Kind::Folder, "Docs")).appended(L::element(Kind::File, "a.txt")),
         QStringLiteral("/home/u/Docs/a.txt")},
        {"bytes kept", home.appended(L::element(Kind::File, PathBytes::decode(latin1))),
         QStringLiteral("/home/u/") + PathBytes::decode(latin1)},
        {"volume at /", ShellNamespace::computerList().appended(L::element(Kind::Volume, QStringLiteral("/")))
                            .appended(L::element(Kind::Folder, "tmp")),
         QStringLiteral("/tmp")},
        {"a file right under Computer", ShellNamespace::computerList().appended(L::element(Kind::File, "x")), QString()},
        {"an item of no kind", home.appended(L::rawElement("?x")), QString()},
    };
    for (const auto& c : cases) EXPECT_EQ(ShellNamespace::pathOf(c.list), c.path) << c.what;
}

TEST_F(ShellNamespaceTest, WhatCannotBeParsedGivesNone)
{
    for (const QString& text : {QString(), QStringLiteral("relative/path"), at("missing"),
                                QStringLiteral("computer:///x"), QStringLiteral("~")})
        EXPECT_TRUE(ShellNamespace::parse(text).isNull()) << text.toStdString();
    EXPECT_EQ(ShellNamespace::parse("computer:///"), ShellNamespace::computerList());
    EXPECT_EQ(ShellNamespace::pathOf(ShellNamespace::computerList()), QStringLiteral("computer:///"));
    EXPECT_EQ(ShellNamespace::displayNameOf(ShellNamespace::computerList()), QStringLiteral("Computer"));
    EXPECT_TRUE(ShellNamespace::fileSystemPathOf(ShellNamespace::computerList()).isEmpty());
}

TEST_F(ShellNamespaceTest, HomeIsItsOwnRoot)
{
    QTemporaryDir inHome(QDir::homePath() + QStringLiteral("/vesmor-ns-XXXXXX"));
    ASSERT_TRUE(inHome.isValid());
    const ItemIdList home = ShellNamespace::parse(QDir::homePath());
    ASSERT_EQ(home.count(), 1);
    EXPECT_EQ(home.kind(0), Kind::Home);
    EXPECT_EQ(ShellNamespace::displayNameOf(home), QStringLiteral("Home"));
    const ItemIdList sub = ShellNamespace::parse(inHome.path());
    ASSERT_EQ(sub.count(), 2);
    EXPECT_EQ(sub.parent(), home);
    EXPECT_EQ(ShellNamespace::pathOf(sub), inHome.path());
}

TEST_F(ShellNamespaceTest, ListOfADeletedFileStillGivesItsFullPath)
{
    touch(at("gone.txt"));
    const ItemIdList l = ShellNamespace::parse(at("gone.txt"));
    ASSERT_TRUE(QFile::remove(at("gone.txt")));
    EXPECT_EQ(ShellNamespace::pathOf(l), at("gone.txt"));
    const ShellFolder parent(l.parent());
    EXPECT_EQ(parent.GetDisplayNameOf(l.lastElement(), SHGDN_FORPARSING), at("gone.txt"));
    EXPECT_EQ(parent.GetDisplayNameOf(l.lastElement(), SHGDN_NORMAL), QStringLiteral("gone.txt"));
    EXPECT_EQ(parent.GetAttributesOf(l.lastElement(), SFGAO_FILESYSTEM | SFGAO_FOLDER), SFGAO_FILESYSTEM);
}

TEST_F(ShellNamespaceTest, EnumerationListsWhatTheFlagsAsk)
{
    ASSERT_TRUE(QDir().mkpath(at("f/b")));
    ASSERT_TRUE(QDir().mkpath(at("f/.hid")));
    touch(at("f/file"));
    touch(at("f/.hfile"));
    auto folder = ShellNamespace::desktopFolder()->BindToObject(ShellNamespace::parse(at("f")));
    ASSERT_TRUE(folder);
    auto names = [&](quint32 flags) {
        QStringList out;
        const QList<ItemIdList> children = folder->EnumObjects(flags).value();
        for (const ItemIdList& c : children) out << c.lastText() + (c.lastKind() == Kind::Folder ? "/" : "");
        out.sort();
        return out;
    };
    EXPECT_EQ(names(SHCONTF_FOLDERS), QStringList({"b/"}));
    EXPECT_EQ(names(SHCONTF_NONFOLDERS), QStringList({"file"}));
    EXPECT_EQ(names(SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN), QStringList({".hid/", "b/"}));
    EXPECT_EQ(names(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN),
              QStringList({".hfile", ".hid/", "b/", "file"}));
    // A file binds to no folder; a folder that can't be read enumerates to nothing.
    EXPECT_FALSE(ShellNamespace::desktopFolder()->BindToObject(ShellNamespace::parse(at("f/file"))));
    ShellFolder missing(ShellNamespace::listForPath(at("nope"), true));
    EXPECT_FALSE(missing.EnumObjects(SHCONTF_FOLDERS).has_value());
}

TEST_F(ShellNamespaceTest, AttributesOfFilesFoldersAndVirtualFolders)
{
    ASSERT_TRUE(QDir().mkpath(at("d/sub")));
    ASSERT_TRUE(QDir().mkpath(at("empty")));
    ASSERT_TRUE(QDir().mkpath(at(".hidden")));
    touch(at("d/f"));
    ASSERT_TRUE(QFile::link(at("d/f"), at("d/link")));
    ShellFolder top(ShellNamespace::parse(dir.path()));
    ShellFolder d(ShellNamespace::parse(at("d")));
    const quint32 all = 0xFFFFFFFF & ~SFGAO_VALIDATE;
    auto child = [](const char* name, Kind k) { return ItemIdList::element(k, QString::fromUtf8(name)); };
    const quint32 dAttr = top.GetAttributesOf(child("d", Kind::Folder), all);
    EXPECT_TRUE(dAttr & SFGAO_FILESYSTEM);
    EXPECT_TRUE(dAttr & SFGAO_FOLDER);
    EXPECT_TRUE(dAttr & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(dAttr & SFGAO_CANRENAME);
    EXPECT_FALSE(dAttr & SFGAO_HIDDEN);
    EXPECT_FALSE(top.GetAttributesOf(child("empty", Kind::Folder), all) & SFGAO_HASSUBFOLDER);
    EXPECT_TRUE(top.GetAttributesOf(child(".hidden", Kind::Folder), all) & SFGAO_HIDDEN);
    const quint32 fAttr = d.GetAttributesOf(child("f", Kind::File), all);
    EXPECT_EQ(fAttr & (SFGAO_FILESYSTEM | SFGAO_FOLDER), SFGAO_FILESYSTEM);
    EXPECT_FALSE(fAttr & SFGAO_LINK);
    EXPECT_TRUE(d.GetAttributesOf(child("link", Kind::File), all) & SFGAO_LINK);
    // Only the requested bits come back.
    EXPECT_EQ(d.GetAttributesOf(child("f", Kind::File), SFGAO_FOLDER), 0u);
    const quint32 computer = ShellNamespace::desktopFolder()->GetAttributesOf(ShellNamespace::computerList(), all);
    EXPECT_TRUE(computer & SFGAO_FOLDER);
    EXPECT_FALSE(computer & SFGAO_FILESYSTEM);
    const quint32 desktop = ShellNamespace::desktopFolder()->GetAttributesOf(ItemIdList::desktop(), all);
    EXPECT_TRUE(desktop & SFGAO_FOLDER);
    EXPECT_TRUE(desktop & SFGAO_FILESYSTEM);
}

TEST_F(ShellNamespaceTest, DesktopShowsHomeAndComputerFirstAndComputerTheVolumes)
{
    auto desktop = ShellNamespace::desktopFolder();
    EXPECT_EQ(desktop->path(), ShellNamespace::desktopPath());
    EXPECT_EQ(ShellNamespace::displayNameOf(ItemIdList::desktop()), QStringLiteral("Desktop"));
    const QList<ItemIdList> top = *desktop->EnumObjects(SHCONTF_FOLDERS);
    ASSERT_GE(top.size(), 2);
    EXPECT_EQ(top[0].lastKind(), Kind::Home);
    EXPECT_EQ(top[1].lastKind(), Kind::Computer);
    auto computer = desktop->BindToObject(ShellNamespace::computerList());
    ASSERT_TRUE(computer);
    const QList<ItemIdList> volumes = *computer->EnumObjects(SHCONTF_FOLDERS);
    ASSERT_FALSE(volumes.isEmpty());
    EXPECT_EQ(computer->GetDisplayNameOf(volumes[0], SHGDN_NORMAL), QStringLiteral("File System"));
    EXPECT_EQ(computer->GetDisplayNameOf(volumes[0], SHGDN_FORPARSING), QStringLiteral("/"));
    EXPECT_TRUE(computer->GetAttributesOf(volumes[0], SFGAO_FILESYSTEM | SFGAO_FOLDER) ==
                (SFGAO_FILESYSTEM | SFGAO_FOLDER));
}

TEST_F(ShellNamespaceTest, ShellOrderPutsFoldersFirstAndIgnoresCase)
{
    const ShellFolder f(ShellNamespace::parse(dir.path()));
    const ItemIdList folderZ = ItemIdList::element(Kind::Folder, "z");
    const ItemIdList fileA = ItemIdList::element(Kind::File, "a");
    const ItemIdList fileB = ItemIdList::element(Kind::File, "B");
    EXPECT_LT(f.CompareIDs(folderZ, fileA), 0);
    EXPECT_LT(f.CompareIDs(fileA, fileB), 0);
    EXPECT_GT(f.CompareIDs(fileB, fileA), 0);
    EXPECT_EQ(f.CompareIDs(fileA, fileA), 0);
    EXPECT_LT(f.CompareIDs(ItemIdList::element(Kind::Home, "/h"), ShellNamespace::computerList()), 0);
    EXPECT_LT(f.CompareIDs(folderZ, folderZ.appended(fileA)), 0);
}

TEST_F(ShellNamespaceTest, RenamingNeverReplacesAnotherObject)
{
    touch(at("one"));
    touch(at("two"));
    const ShellFolder f(ShellNamespace::parse(dir.path()));
    const ItemIdList one = ItemIdList::element(Kind::File, "one");
    EXPECT_TRUE(f.SetNameOf(one, "two").isNull());
    EXPECT_TRUE(f.SetNameOf(one, "a/b").isNull());
    const ItemIdList renamed = f.SetNameOf(one, "three");
    EXPECT_EQ(renamed, ItemIdList::element(Kind::File, "three"));
    EXPECT_TRUE(QFile::exists(at("three")));
    EXPECT_TRUE(QFile::exists(at("two")));
    EXPECT_FALSE(QFile::exists(at("one")));
}

TEST_F(ShellNamespaceTest, SpecialFolders)
{
    EXPECT_TRUE(ShellNamespace::specialFolderLocation(CSIDL_DESKTOP).isDesktop());
    EXPECT_EQ(ShellNamespace::specialFolderLocation(CSIDL_DRIVES), ShellNamespace::computerList());
    EXPECT_EQ(ShellNamespace::pathOf(ShellNamespace::specialFolderLocation(CSIDL_DESKTOPDIRECTORY)),
              ShellNamespace::desktopPath());
    for (int none : {CSIDL_INTERNET, CSIDL_PRINTERS, CSIDL_CONTROLS, CSIDL_NETWORK, CSIDL_COOKIES, CSIDL_HISTORY})
        EXPECT_TRUE(ShellNamespace::specialFolderLocation(none).isNull()) << none;
    // Those that map to a folder give it only when it exists.
    for (int csidl : {CSIDL_PERSONAL, CSIDL_APPDATA, CSIDL_BITBUCKET, CSIDL_TEMPLATES, CSIDL_INTERNET_CACHE}) {
        const ItemIdList l = ShellNamespace::specialFolderLocation(csidl);
        if (!l.isNull()) {
            EXPECT_TRUE(QFileInfo(ShellNamespace::pathOf(l)).isDir()) << csidl;
        }
    }
    EXPECT_DOUBLE_EQ(ShellNamespace::shellVersion(), 6.0);
}

TEST(MountTableTest, ParsesMountInfoLinesWithEscapes)
{
    const QByteArray table =
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "90 28 8:17 / /media/u/My\\040Disk rw,nosuid shared:5 - vfat /dev/sdb1 rw\n"
        "garbage line\n"
        "91 28 8:18 / /mnt/x rw - ext4 /dev/sdb2 rw\n";
    const QList<MountTable::Mount> m = MountTable::parse(table);
    ASSERT_EQ(m.size(), 3);
    EXPECT_EQ(m[1].mountPoint, QStringLiteral("/media/u/My Disk"));
    EXPECT_EQ(m[1].fsType, QStringLiteral("vfat"));
    EXPECT_EQ(m[1].source, QStringLiteral("/dev/sdb1"));
    EXPECT_FALSE(MountTable::isVolume("/proc"));
    EXPECT_FALSE(MountTable::isVolume("/media/"));
    EXPECT_TRUE(MountTable::isVolume("/media/u/My Disk"));
    EXPECT_TRUE(MountTable::isVolume("/"));
    EXPECT_EQ(MountTable::volumeName("/media/u/My Disk", ""), QStringLiteral("My Disk"));
    EXPECT_EQ(MountTable::volumeName("/media/u/x", "LABEL"), QStringLiteral("LABEL"));
    EXPECT_EQ(MountTable::volumeName("/", "root"), QStringLiteral("File System"));
}

}  // namespace
