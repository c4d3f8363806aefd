#include "platform/inotify/NameSet.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

std::map<std::string, bool> contents(const NameSet& s)
{
    std::map<std::string, bool> m;
    s.forEach([&](std::string_view name, bool isDir) { m[std::string(name)] = isDir; });
    return m;
}

// Inserting, erasing, copying and reserving in any order: the set always holds exactly what a
// plain map would, and a copy made earlier keeps what it held then.
TEST(NameSetTest, HoldsWhatAMapWouldThroughAnyChanges)
{
    QRandomGenerator random(7);
    for (int round = 0; round < 40; ++round) {
        NameSet set;
        std::map<std::string, bool> model;
        NameSet copy;
        std::map<std::string, bool> copied;
        const int names = round % 2 ? 12 : 3000;  // a few (no table) or many
        for (int step = 0; step < 6000; ++step) {
            const std::string name = "n" + std::to_string(random.bounded(names)) + std::string(random.bounded(3) * 40, 'x');
            const bool isDir = random.bounded(2);
            switch (random.bounded(10)) {
            case 0: case 1: case 2: case 3: {
                const bool fresh = set.insert(name, isDir);
                ASSERT_EQ(fresh, !model.count(name)) << name;
                model[name] = isDir;
                break;
            }
            case 4: case 5: case 6: {
                bool wasDir = false;
                const bool gone = set.erase(name, &wasDir);
                ASSERT_EQ(gone, model.count(name) == 1) << name;
                if (gone) {
                    EXPECT_EQ(wasDir, model[name]);
                }
                model.erase(name);
                break;
            }
            case 7: {
                bool d = false;
                ASSERT_EQ(set.contains(name, &d), model.count(name) == 1);
                if (model.count(name)) {
                    EXPECT_EQ(d, model[name]);
                }
                break;
            }
            case 8:
                copy = set;
                copied = model;
                break;
            case 9: set.reserve(random.bounded(50), random.bounded(2000)); break;
            }
            ASSERT_EQ(set.size(), qsizetype(model.size()));
        }
        EXPECT_EQ(contents(set), model);
        EXPECT_EQ(contents(copy), copied);
    }
}

TEST(NameSetTest, KeepsTheOrderEntriesCameInAndCostsLittle)
{
    NameSet set;
    for (int i = 0; i < 1000; ++i) set.insert("file" + std::to_string(i), i % 10 == 0);
    int expected = 0;
    bool inOrder = true;
    set.forEach([&](std::string_view name, bool) { inOrder = inOrder && name == "file" + std::to_string(expected++); });
    EXPECT_TRUE(inOrder);
    // Names of 5 to 7 bytes: a few bytes each beyond the name.
    EXPECT_LT(set.memoryBytes(), 1000 * 24);
    NameSet one;
    one.insert("file0", false);
    EXPECT_LE(one.memoryBytes(), 64);
}

// A folder emptied of most of what it held keeps only what is left (and its table shrinks with
// it), however the names went: one by one, or all but a few.
TEST(NameSetTest, ShrinksWhenEntriesGo)
{
    const struct {
        const char* what;
        int kept;  // every n-th entry stays
    } cases[] = {{"all go", 0}, {"one in a thousand stays", 1000}, {"one in ten stays", 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NameSet set;
        constexpr int kMany = 100000;
        for (int i = 0; i < kMany; ++i) set.insert("f" + std::to_string(1000000 + i), false);
        const qint64 full = set.memoryBytes();
        int left = 0;
        for (int i = 0; i < kMany; ++i) {
            if (c.kept && i % c.kept == 0) {
                ++left;
                continue;
            }
            ASSERT_TRUE(set.erase("f" + std::to_string(1000000 + i)));
        }
        ASSERT_EQ(set.size(), left);
        // Names of 8 bytes: at most twice what the entries left need, as for a set made so.
        NameSet fresh;
        for (int i = 0; i < kMany; i += c.kept ? c.kept : kMany + 1) fresh.insert("f" + std::to_string(1000000 + i), false);
        EXPECT_LE(set.memoryBytes(), 2 * fresh.memoryBytes() + 512) << "of " << full;
        if (c.kept) {
            EXPECT_TRUE(set.contains("f" + std::to_string(1000000 + c.kept)));
        }
    }
}

}  // namespace
