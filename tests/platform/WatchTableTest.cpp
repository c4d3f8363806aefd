#include "platform/inotify/WatchTable.h"

#include <gtest/gtest.h>

#include <set>

namespace {

WatchedFolder* watched(WatchTable& t, const char* path, int wd)
{
    WatchedFolder* f = t.ensure(path);
    t.setWatch(f, wd);
    f->listed = true;
    return f;
}

// A folder renamed (big2 → big) after the walker had already reached some of its sub-folders
// by their path at the new place, before the rename was read: the table holds a second chain
// there. The rename joins it to the moved folder, at every depth, and no watch is lost.
TEST(WatchTableTest, ARenameJoinsWhatWasReachedAtItsNewPlaceAtEveryDepth)
{
    struct Case {
        const char* what;
        int placeWd;        // the watch found on the new place itself; -1: none
        bool sameFolder;    // that watch is the moved folder's own (the kernel gives one per folder)
        std::set<int> ended;  // kernel watches that go
    };
    for (const Case& c : {Case{"nothing watched at the place itself", -1, false, {}},
                          Case{"the moved folder reached there too", 1, true, {}},
                          Case{"another folder the rename replaced", 99, false, {99}}}) {
        SCOPED_TRACE(c.what);
        WatchTable t;
        WatchedFolder* moved = watched(t, "/w/big2", 1);
        watched(t, "/w/big2/a6", 2);
        watched(t, "/w/big2/a6/b30", 3);
        t.ensure("/w/big2/a7/b1");  // on the way only
        if (c.placeWd >= 0) watched(t, "/w/big", c.sameFolder ? 1 : c.placeWd);
        WatchedFolder* b19 = watched(t, "/w/big/a6/b19", 4);
        b19->names.insert("t", false);
        b19->listings = 1;  // the walker is reading it
        watched(t, "/w/big/a7/b1", 5);
        watched(t, "/w/big/a8", 6);

        std::set<int> ended;
        t.move(moved, "/w/big", [&](int wd) { ended.insert(wd); });

        EXPECT_EQ(ended, c.ended);
        EXPECT_EQ(t.find("/w/big"), moved);
        EXPECT_EQ(t.find("/w/big2"), nullptr);
        for (const auto& [wd, path] : std::vector<std::pair<int, const char*>>{
                 {1, "/w/big"}, {2, "/w/big/a6"}, {3, "/w/big/a6/b30"}, {4, "/w/big/a6/b19"}, {5, "/w/big/a7/b1"}, {6, "/w/big/a8"}}) {
            const WatchedFolder* f = t.byWatch(wd);
            ASSERT_NE(f, nullptr) << wd;
            EXPECT_EQ(t.pathOf(f), path);
            EXPECT_EQ(f->nextAlias, nullptr) << path;
            EXPECT_EQ(t.find(path), f);
        }
        // The listing under way finds its folder by its watch, where it joined.
        const WatchedFolder* joined = t.byWatch(4);
        EXPECT_EQ(joined->listings, 1);
        EXPECT_TRUE(joined->names.contains("t"));
        EXPECT_EQ(t.watchCount(), 6);
    }
}

// A sub-folder the moved tree holds only on the way to another takes the watch found for it
// at the new place, with what that watch knows.
TEST(WatchTableTest, AFolderOnTheWayTakesTheWatchFoundForItAtTheNewPlace)
{
    WatchTable t;
    WatchedFolder* moved = watched(t, "/w/big2", 1);
    t.ensure("/w/big2/a1/b1");
    WatchedFolder* a1 = watched(t, "/w/big/a1", 7);
    a1->names.insert("b1", true);
    a1->names.insert("b2", true);
    a1->listings = 1;
    std::set<int> ended;
    t.move(moved, "/w/big", [&](int wd) { ended.insert(wd); });
    EXPECT_TRUE(ended.empty());
    WatchedFolder* now = t.find("/w/big/a1");
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->wd, 7);
    EXPECT_EQ(t.byWatch(7), now);
    EXPECT_TRUE(now->listed);
    EXPECT_EQ(now->listings, 1);
    EXPECT_TRUE(now->names.contains("b2"));
    EXPECT_NE(t.find("/w/big/a1/b1"), nullptr);
}

}  // namespace
