#include "platform/shell/ItemIdList.h"
#include "platform/text/PathBytes.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Kind = ItemIdList::Kind;

ItemIdList path3()
{
    return ItemIdList::desktop()
        .appended(ItemIdList::element(Kind::Home, QStringLiteral("/home/u")))
        .appended(ItemIdList::element(Kind::Folder, QStringLiteral("Docs")))
        .appended(ItemIdList::element(Kind::File, QStringLiteral("ä b.txt")));
}

TEST(ItemIdListTest, LayoutIsSizedItemsEndedByZero)
{
    const ItemIdList one = ItemIdList::element(Kind::Folder, QStringLiteral("ab"));
    // size 5 = 2 (size field) + kind + "ab"; then the 16-bit terminator
    EXPECT_EQ(one.bytes(), QByteArray("\x05\x00" "dab" "\x00\x00", 7));
    EXPECT_EQ(ItemIdList::desktop().bytes(), QByteArray(2, '\0'));
    EXPECT_TRUE(ItemIdList::desktop().isDesktop());
    EXPECT_FALSE(ItemIdList::desktop().isNull());
    EXPECT_TRUE(ItemIdList().isNull());
    EXPECT_FALSE(ItemIdList().isDesktop());
    EXPECT_TRUE(ItemIdList().bytes().isEmpty());
}

TEST(ItemIdListTest, ItemsReadBackWithKindAndText)
{
    const ItemIdList l = path3();
    ASSERT_EQ(l.count(), 3);
    EXPECT_EQ(l.kind(0), Kind::Home);
    EXPECT_EQ(l.text(0), QStringLiteral("/home/u"));
    EXPECT_EQ(l.kind(2), Kind::File);
    EXPECT_EQ(l.text(2), QStringLiteral("ä b.txt"));
    EXPECT_EQ(l.lastText(), QStringLiteral("ä b.txt"));
    EXPECT_EQ(l.kind(3), Kind::Unknown);  // past the end
    EXPECT_TRUE(l.payload(7).isEmpty());
}

TEST(ItemIdListTest, NextWalksEveryItemOnceAndStopsAtTheEnd)
{
    struct Case {
        const char* what;
        ItemIdList list;
        std::vector<std::pair<Kind, QByteArray>> items;
    };
    const Case cases[] = {
        {"none", ItemIdList(), {}},
        {"desktop", ItemIdList::desktop(), {}},
        {"three", path3(), {{Kind::Home, "/home/u"}, {Kind::Folder, "Docs"}, {Kind::File, QByteArray("\xC3\xA4 b.txt")}}},
        {"no text", ItemIdList::element(Kind::Computer), {{Kind::Computer, {}}}},
        {"foreign payload", ItemIdList::rawElement(QByteArray("\x01\x02\x03", 3)), {{Kind::Unknown, "\x02\x03"}}},
        {"empty payload", ItemIdList::rawElement({}).appended(ItemIdList::element(Kind::File, "x")),
         {{Kind::Unknown, {}}, {Kind::File, "x"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<Kind, QByteArray>> got;
        qsizetype at = 0;
        Kind kind;
        QByteArrayView text;
        while (c.list.next(at, kind, text)) got.emplace_back(kind, text.toByteArray());
        EXPECT_EQ(got, c.items) << c.what;
        EXPECT_FALSE(c.list.next(at, kind, text)) << c.what;  // stays at the end
    }
}

TEST(ItemIdListTest, NamesAreCarriedAsTheirExactBytes)
{
    // A Latin-1 name (not UTF-8) is stored byte for byte and reads back as the same path.
    const QByteArray latin1("caf\xE9 d\xE9j\xE0");
    const ItemIdList l = ItemIdList::element(Kind::File, PathBytes::decode(latin1));
    EXPECT_EQ(l.payload(0), "f" + latin1);
    EXPECT_EQ(PathBytes::encode(l.text(0)), latin1);
}

TEST(ItemIdListTest, ParentLastElementAndAppend)
{
    const ItemIdList l = path3();
    const ItemIdList parent = l.parent();
    EXPECT_EQ(parent.count(), 2);
    EXPECT_EQ(parent.lastText(), QStringLiteral("Docs"));
    EXPECT_EQ(parent.appended(l.lastElement()), l);
    EXPECT_EQ(l.lastElement().count(), 1);
    EXPECT_TRUE(l.parent().parent().parent().isDesktop());
    EXPECT_TRUE(ItemIdList::desktop().parent().isNull());
    EXPECT_TRUE(ItemIdList::desktop().lastElement().isDesktop());
    EXPECT_TRUE(ItemIdList().lastElement().isNull());
    EXPECT_TRUE(l.appended(ItemIdList()).isNull());
    EXPECT_EQ(l.appended(ItemIdList::desktop()), l);
}

TEST(ItemIdListTest, CloneAndCompare)
{
    ItemIdList a = path3();
    ItemIdList b = a.clone();
    EXPECT_TRUE(ILIsEqual(a, b));
    EXPECT_FALSE(ILIsEqual(a, a.parent()));
    EXPECT_FALSE(ILIsEqual(ItemIdList(), ItemIdList::desktop()));
    a = ItemIdList();
    EXPECT_EQ(b.count(), 3);  // the clone lives on
    // A name that differs only in a byte inside another item's text is a different list.
    EXPECT_FALSE(ItemIdList::element(Kind::File, "ab") == ItemIdList::element(Kind::Folder, "ab"));
}

TEST(ItemIdListTest, OverlongTextIsCutAtACharacterBoundary)
{
    const QString longName = QString(40000, QChar(0x00e4));  // two bytes each in UTF-8
    const ItemIdList l = ItemIdList::element(Kind::Folder, longName);
    ASSERT_EQ(l.count(), 1);
    EXPECT_LE(l.bytes().size(), 0xFFFF + 2);
    const QString back = l.text(0);
    EXPECT_FALSE(back.contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(longName.startsWith(back));
    EXPECT_GT(back.size(), 30000);
}

}  // namespace
