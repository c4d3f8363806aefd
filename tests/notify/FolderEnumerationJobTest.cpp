#include "TemporaryHome.h"
#include "notify/FolderEnumerationJob.h"
#include "platform/shell/ShellNamespace.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

using Kind = ItemIdList::Kind;

QMap<QString, const FolderEnumerationJob::Child*> byName(const FolderEnumerationJob::Result& r)
{
    QMap<QString, const FolderEnumerationJob::Child*> m;
    for (const FolderEnumerationJob::Child& c : r.children) m.insert(c.relative.lastText(), &c);
    return m;
}

class FolderEnumerationJobTest : public ::testing::Test {
protected:
    HomeFolder home;
    void SetUp() override
    {
        for (const char* d : {"w/withSub/inner", "w/empty", "w/.hidden/inner", "w/onlyHiddenSub/.x"})
            ASSERT_TRUE(QDir().mkpath(home.at(QString::fromLatin1(d))));
        touch(home.at("w/file.txt"));
        touch(home.at("w/empty/file-inside.txt"));
    }
};

TEST_F(FolderEnumerationJobTest, ListsVisibleFoldersWithTheirExpandButtons)
{
    const ItemIdList w = ShellNamespace::parse(home.at("w"));
    const FolderEnumerationJob::Result r = FolderEnumerationJob::list(w, SHCONTF_FOLDERS);
    ASSERT_TRUE(r.readable);
    const auto m = byName(r);
    EXPECT_EQ(m.keys(), (QStringList{"empty", "onlyHiddenSub", "withSub"}));
    struct Case {
        const char* name;
        bool hasChildren;
    } cases[] = {{"withSub", true}, {"empty", false}, {"onlyHiddenSub", false}};
    for (const Case& c : cases) {
        const FolderEnumerationJob::Child* child = m.value(QString::fromLatin1(c.name));
        ASSERT_TRUE(child) << c.name;
        EXPECT_EQ(child->hasChildren, c.hasChildren) << c.name;
        EXPECT_TRUE(child->attributes & SFGAO_FOLDER) << c.name;
        EXPECT_TRUE(child->attributes & SFGAO_FILESYSTEM) << c.name;
        EXPECT_EQ(child->relative.count(), 1);
        EXPECT_EQ(child->relative.lastKind(), Kind::Folder);
    }
}

TEST_F(FolderEnumerationJobTest, FilesAndHiddenOnlyWhenAskedFor)
{
    const ItemIdList w = ShellNamespace::parse(home.at("w"));
    const FolderEnumerationJob::Result r =
        FolderEnumerationJob::list(w, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN);
    const auto all = byName(r);
    EXPECT_EQ(all.keys(), (QStringList{".hidden", "empty", "file.txt", "onlyHiddenSub", "withSub"}));
    EXPECT_EQ(all.value("file.txt")->relative.lastKind(), Kind::File);
    EXPECT_FALSE(all.value("file.txt")->hasChildren);
    // With files shown, a folder holding only a file can be opened.
    EXPECT_TRUE(all.value("empty")->hasChildren);
}

TEST_F(FolderEnumerationJobTest, TheDesktopListsHomeComputerAndItsOwnFolders)
{
    const FolderEnumerationJob::Result r = FolderEnumerationJob::list(ItemIdList::desktop(), SHCONTF_FOLDERS);
    ASSERT_TRUE(r.readable);
    QList<Kind> kinds;
    for (const auto& c : r.children) kinds.append(c.relative.lastKind());
    EXPECT_TRUE(kinds.contains(Kind::Home));
    EXPECT_TRUE(kinds.contains(Kind::Computer));
    // And their lists are those the namespace lists.
    const auto listed = ShellFolder(ItemIdList::desktop()).EnumObjects(SHCONTF_FOLDERS);
    ASSERT_TRUE(listed.has_value());
    for (const auto& c : r.children) EXPECT_TRUE(listed->contains(c.relative)) << c.relative.lastText().toStdString();
}

TEST_F(FolderEnumerationJobTest, AFolderThatCannotBeReadIsReportedSo)
{
    const ItemIdList gone = ShellNamespace::listForPath(home.at("w/not-there"), true);
    const FolderEnumerationJob::Result r = FolderEnumerationJob::list(gone, SHCONTF_FOLDERS);
    EXPECT_FALSE(r.readable);
    EXPECT_TRUE(r.children.isEmpty());
    EXPECT_FALSE(FolderEnumerationJob::list(ItemIdList(), SHCONTF_FOLDERS).readable);
}

TEST_F(FolderEnumerationJobTest, RunsOnItsOwnThreadAndCanBeWaitedFor)
{
    const auto job = FolderEnumerationJob::start(ShellNamespace::parse(home.at("w")), SHCONTF_FOLDERS);
    ASSERT_TRUE(job->wait(10000));
    EXPECT_TRUE(job->isDone());
    const FolderEnumerationJob::Result r = job->result();
    EXPECT_EQ(byName(r).keys(), (QStringList{"empty", "onlyHiddenSub", "withSub"}));
}

}  // namespace
