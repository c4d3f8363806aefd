#include "platform/inotify/WatchTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

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

// Lookups start from the folder found last when the path lies below or above it. After every
// kind of change the table knows (a folder made, moved, removed, pruned) a lookup must find what
// a lookup in a fresh table of the same folders finds: never a folder that left its place.
TEST(WatchTableTest, LookupsFromTheLastFolderFoundAgreeWithTheTableAfterEveryChange)
{
    WatchTable t;
    std::string deep = "/c";
    for (int i = 0; i < 50; ++i) deep += "/d";
    t.ensure(QByteArray::fromStdString(deep));
    t.ensure("/c/d/x/y");
    auto pathAt = [&](int depth) { return QByteArray::fromStdString(deep.substr(0, 2 + 2 * size_t(depth))); };
    // The folder at `path`, name by name from the root.
    auto fromRoot = [&](const QByteArray& path) {
        WatchedFolder* at = t.root();
        for (const QByteArray& part : path.mid(1).split('/'))
            if (at) at = t.child(at, std::string_view(part.constData(), size_t(part.size())));
        return at;
    };
    auto same = [&](const QByteArray& path) { return t.find(path) == fromRoot(path); };
    struct Step {
        const char* what;
        std::function<void()> change;
        std::vector<QByteArray> look;  // in this order: each starts from the one before
    };
    const std::vector<Step> steps{
        {"down and up a chain", [] {}, {pathAt(10), pathAt(11), pathAt(10), pathAt(3), pathAt(50), "/c/d/x", "/c/d/x/y", pathAt(1)}},
        {"a path that runs on past a name", [] {}, {pathAt(5), pathAt(5) + "d", pathAt(5) + "/dd", pathAt(4) + "/x", pathAt(4)}},
        {"the chain moved below another folder", [&] { t.move(t.find(pathAt(20)), "/c/d/x/y/moved", nullptr); },
         {pathAt(20), pathAt(21), "/c/d/x/y/moved", "/c/d/x/y/moved/d/d", pathAt(19)}},
        {"part of it removed", [&] { t.remove(t.find("/c/d/x/y/moved/d"), nullptr); },
         {"/c/d/x/y/moved/d/d", "/c/d/x/y/moved/d", "/c/d/x/y/moved", pathAt(19)}},
        {"a folder made where one was removed", [&] { t.ensure("/c/d/x/y/moved/d/d"); },
         {"/c/d/x/y/moved/d/d", "/c/d/x/y/moved/d", "/c/d/x/y/moved/d/d/d"}},
        {"emptied", [&] { t.takeAll(); }, {pathAt(3), "/c/d/x/y/moved/d/d", "/c"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        // The last folder found is the one the step is about, as in a walk.
        for (const QByteArray& p : s.look) t.find(p);
        s.change();
        for (const QByteArray& p : s.look) EXPECT_TRUE(same(p)) << p.constData();
        // And made again: every path the table knows is found in its place.
        t.forEach(t.root(), [&](WatchedFolder* f) {
            if (f == t.root()) return;
            EXPECT_EQ(t.find(t.pathOf(f)), f) << t.pathOf(f).constData();
        });
    }
    // A path given as the one last found is found again.
    const QByteArray again = t.pathOf(t.ensure(pathAt(30)));
    EXPECT_EQ(t.find(again), t.find(pathAt(30)));
    EXPECT_EQ(t.find(again), t.ensure(pathAt(30)));
}

}  // namespace
