#include "actions/EventKinds.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const EventItem item{QStringLiteral("/w/a b.txt"), QStringLiteral("USB STICK")};
const EventItem renamed{QStringLiteral("/w/new name.txt"), QStringLiteral("new name.txt")};
const QString folder = QStringLiteral("/w");

TEST(EventKindsTest, EventTextsFollowTheTable)
{
    struct Case {
        EventKind kind;
        const char* text;
    } cases[] = {
        {EventKind::FileCreate, "D T: Docs: File create event, file name: /w/a b.txt"},
        {EventKind::FileDelete, "D T: Docs: File delete event, file name: /w/a b.txt"},
        {EventKind::FileChange, "D T: Docs: File change event, file name: /w/a b.txt Attributes: Hidden"},
        {EventKind::FileRename, "D T: Docs: File rename event, file name: /w/a b.txt changed to: /w/new name.txt"},
        {EventKind::AssociationChange, "D T: Docs: Association change event at folde: /w"},
        {EventKind::FolderCreate, "D T: Docs: Folder create event, folder name: /w/a b.txt"},
        {EventKind::FolderDelete, "D T: Docs: Folder delete event, folder name: /w/a b.txt"},
        {EventKind::FolderRename, "D T: Docs: Folder rename event, folder: /w/a b.txt changed to: /w/new name.txt"},
        {EventKind::FolderChange, "D T: Docs: Folder change event, folder name: /w/a b.txt"},
        {EventKind::MediaInsert, "D T: Docs: Media Insert event, media name: USB STICK"},
        {EventKind::MediaRemove, "D T: Docs: Media Remove event, media name: USB STICK"},
        {EventKind::DriveSpaceChange, "D T: Docs: Folder Space change event, folder name: /w"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EventText(c.kind, QStringLiteral("D T"), QStringLiteral("Docs"), folder, item, renamed,
                            QStringLiteral(" Hidden")),
                  QString::fromUtf8(c.text))
            << eventKindInfo(c.kind).name;
}

TEST(EventKindsTest, TheTableCoversEveryKindOnceAndLiveLogFirstOnlyForFolderWideKinds)
{
    ASSERT_EQ(eventKinds().size(), 12u);
    for (size_t i = 0; i < eventKinds().size(); ++i) {
        const EventKindInfo& k = eventKinds()[i];
        EXPECT_EQ(int(k.kind), int(i));
        EXPECT_TRUE(QByteArray(k.phrase).startsWith(": ")) << k.name;
        EXPECT_EQ(k.liveLogFirst, k.kind == EventKind::AssociationChange || k.kind == EventKind::DriveSpaceChange);
    }
    ASSERT_EQ(argumentEntries().size(), 16u);
    for (size_t i = 0; i < argumentEntries().size(); ++i) EXPECT_EQ(argumentEntries()[i].index, int(i));
    // The box texts keep their own spacing.
    EXPECT_STREQ(argumentEntries()[1].boxText, "File delete -  file name");
    EXPECT_STREQ(argumentEntries()[4].boxText, "File rename - new file name ");
}

TEST(EventKindsTest, EachEntryBuildsItsArgumentOnlyForItsOwnKind)
{
    const char* expected[16] = {
        "/w/a\" \"b.txt",                        // bare, its blank grouped: still one word
        "\"/w/a b.txt\"",
        "\"/w/a b.txt\"",
        "\"/w/new name.txt\" \"/w/a b.txt\"",    // new, then old
        "\"/w/new name.txt\"",
        "\"/w/a b.txt\"",
        "\"/w\"",
        "\"/w/a b.txt\"",
        "\"/w/a b.txt\"",
        "\"/w/new name.txt\" \"/w/a b.txt\"",
        "\"/w/new name.txt\"",
        "\"/w/a b.txt\"",
        "\"/w/a b.txt\"",
        "\"USB STICK\"",
        "\"USB STICK\"",
        "\"/w\"",
    };
    for (const ArgumentEntry& e : argumentEntries()) {
        for (const EventKindInfo& k : eventKinds()) {
            const QString arg = ArgumentFor(k.kind, e.index, folder, item, renamed);
            if (k.kind == e.kind)
                EXPECT_EQ(arg, QString::fromUtf8(expected[e.index])) << "entry " << e.index;
            else
                EXPECT_TRUE(arg.isEmpty()) << "entry " << e.index << " on " << k.name;
        }
    }
    for (int outOfRange : {-1, 16, 1000})
        for (const EventKindInfo& k : eventKinds()) EXPECT_TRUE(ArgumentFor(k.kind, outOfRange, folder, item, renamed).isEmpty());
}

TEST(EventKindsTest, ALineBreakInANameStaysOnOneLineButTheArgumentKeepsIt)
{
    const EventItem odd{QStringLiteral("/w/two\nlines\r.txt"), {}};
    EXPECT_EQ(EventText(EventKind::FileCreate, QStringLiteral("D"), QStringLiteral("Do\ncs"), folder, odd),
              QStringLiteral("D: Do?cs: File create event, file name: /w/two?lines?.txt"));
    EXPECT_EQ(ArgumentFor(EventKind::FileDelete, 1, folder, odd), QStringLiteral("\"/w/two\nlines\r.txt\""));
}

TEST(EventKindsTest, AttributeWordsComeInTheirOrderThroughLinks)
{
    QTemporaryDir dir;
    const auto make = [&](const char* name, mode_t mode) {
        const QString p = dir.filePath(QString::fromUtf8(name));
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        ::chmod(QFile::encodeName(p).constData(), mode);
        return p;
    };
    const QString plain = make("plain.txt", 0644);
    const QString hiddenReadOnly = make(".secret", 0444);
    QFile::link(hiddenReadOnly, dir.filePath(QStringLiteral("visible")));
    ::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral(".pipe"))).constData(), 0644);

    struct Case {
        QString path;
        const char* words;
    } cases[] = {
        {plain, ""},
        {hiddenReadOnly, " Hidden ReadOnly"},
        {dir.filePath("visible"), " ReadOnly"},
        {dir.filePath(".pipe"), " Hidden SysFile"},
        {dir.filePath("gone.txt"), ""},  // nothing to read: no words rather than all of them
    };
    for (const Case& c : cases) EXPECT_EQ(AttributeWords(c.path), QString::fromUtf8(c.words)) << c.path.toStdString();
    EXPECT_TRUE(EventText(EventKind::FileChange, "D", "W", folder, {plain, {}}, {}, AttributeWords(plain))
                    .endsWith(QStringLiteral(" Attributes:")));
}

}  // namespace
