#include "StartedFormFixture.h"
#include "notify/TStShellNotification.h"

#include <QComboBox>

#include <functional>
#include <set>
#include <string>

namespace {

// The event boxes, the argument list and the handlers are made from the table of kinds; what
// the user sees and which handler hears what must be as it always was.
class EventKindControlsTest : public StartedFormTest {
protected:
    void SetUp() override
    {
        StartedFormTest::SetUp();
        start();
    }
};

TEST_F(EventKindControlsTest, EventBoxesKeepTheirCaptionsHintsAndPlaces)
{
    const TForm1& f = *form;
    const struct Case {
        QCheckBox* box;
        const char* caption;
        const char* hint;
        int left, top;
    } cases[] = {
        {f.chk2, "File create", "Watch for file create events", 4, 20},
        {f.chk3, "File delete", "Watch for file delete events", 4, 50},
        {f.chk4, "File change", "Watch for permissions and attributes change events ", 4, 77},
        {f.chk5, "File rename", "Watch for file rename events", 119, 20},
        {f.chk6, "Association change", "Watch for file association change events", 119, 50},
        {f.chk7, "Free space change", "Watch for free space change events", 119, 77},
        {f.chk8, "Folder create", "Watch for folder create events", 264, 20},
        {f.chk9, "Folder delete", "Watch for folder delete events", 264, 50},
        {f.chk10, "Folder rename", "Watch for folder rename events", 264, 77},
        {f.chk11, "Folder change", "Watch for Folder permissions change events or file changes inside the folder", 389, 20},
        {f.chk12, "Media insert", "Watch for media insert events", 389, 50},
        {f.chk13, "Media remove", "Watch for media remove events", 389, 77},
    };
    std::set<QCheckBox*> distinct;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        ASSERT_NE(c.box, nullptr);
        distinct.insert(c.box);
        EXPECT_EQ(c.box->text(), QString::fromLatin1(c.caption));
        EXPECT_EQ(c.box->toolTip(), QString::fromLatin1(c.hint));
        EXPECT_EQ(c.box->pos(), QPoint(c.left, c.top));
        // Each box takes the room up to the next column, on one band of the editor.
        EXPECT_GT(c.box->width(), 100);
        EXPECT_EQ(c.box->parentWidget(), f.chk2->parentWidget());
    }
    EXPECT_EQ(distinct.size(), std::size(cases));
    EXPECT_EQ(f.chk2->parentWidget()->height(), 99);
}

TEST_F(EventKindControlsTest, TheArgumentListHoldsItsSixteenTextsInOrder)
{
    const QStringList expected = {
        "File Create - file name",
        "File delete -  file name",
        "File change - file name",
        "File rename - new file name old file name",
        "File rename - new file name ",
        "File rename - old file name",
        "Association change - folder name",
        "Folder create - folder name",
        "Folder delete - folder name",
        "Folder rename - new folder old folder",
        "Folder rename - new folder name",
        "Folder rename - old folder name",
        "Folder changed - folder name",
        "Media insert - media name",
        "Media remove - media name",
        "Drive space changed - folder name",
    };
    QStringList items;
    for (int i = 0; i < form->cbb1->count(); ++i) items << form->cbb1->itemText(i);
    EXPECT_EQ(items, expected);
    EXPECT_EQ(form->cbb1->currentIndex(), -1);
}

// Each of a monitor's events calls its own slot's handler of its own kind: one red line, under
// the slot's watch, with the kind's phrase.
TEST_F(EventKindControlsTest, EveryKindIsHeardInEverySlotByItsOwnHandler)
{
    using Raise = std::function<void(TStShellNotification&)>;
    const struct Case {
        const char* key;
        const char* phrase;
        Raise raise;
    } cases[] = {
        {"FileCreate", ": File create event, file name: ", [](auto& m) { m.OnFileCreate(&m, nullptr); }},
        {"FileDelete", ": File delete event, file name: ", [](auto& m) { m.OnFileDelete(&m, nullptr, nullptr); }},
        {"FileChange", ": File change event, file name:  Attributes:", [](auto& m) { m.OnFileChange(&m, nullptr); }},
        {"FileRename", ": File rename event, file name:  changed to: ", [](auto& m) { m.OnFileRename(&m, nullptr, nullptr); }},
        {"AssociationChange", ": Association change event at folde: ", [](auto& m) { m.OnAssociationChange(&m); }},
        {"DriveSpaceChange", ": Folder Space change event, folder name: ", [](auto& m) { m.OnDriveSpaceChange(&m, 3); }},
        {"FolderCreate", ": Folder create event, folder name: ", [](auto& m) { m.OnFolderCreate(&m, nullptr); }},
        {"FolderDelete", ": Folder delete event, folder name: ", [](auto& m) { m.OnFolderDelete(&m, nullptr); }},
        {"FolderRename", ": Folder rename event, folder:  changed to: ", [](auto& m) { m.OnFolderRename(&m, nullptr, nullptr); }},
        {"FolderChange", ": Folder change event, folder name: ", [](auto& m) { m.OnFolderChange(&m, nullptr); }},
        {"MediaInsert", ": Media Insert event, media name: ", [](auto& m) { m.OnMediaInsert(&m, nullptr); }},
        {"MediaRemove", ": Media Remove event, media name: ", [](auto& m) { m.OnMediaRemove(&m, nullptr); }},
    };
    std::set<std::string> tableKeys, caseKeys;
    for (const EventKindInfo& k : eventKinds()) tableKeys.insert(k.name);
    for (const Case& c : cases) caseKeys.insert(c.key);
    ASSERT_EQ(caseKeys, tableKeys) << "a kind of the table without its case here, or the other way round";

    TStShellNotification* monitors[] = {form->ShNotify1, form->ShNotify2, form->ShNotify3, form->ShNotify4};
    for (int n = 1; n <= 4; ++n) {
        Twatcher& slot = WatchSlot(n);
        slot.Name = QStringLiteral("slot%1").arg(n);
        slot.Path = QStringLiteral("/watched%1").arg(n);
        slot.ShowDesktopAlert = slot.PopUpMessage = slot.WriteToLogFile = slot.RunProgram = false;
    }
    for (int n = 1; n <= 4; ++n) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "slot " << n << ", " << c.key);
            const qsizetype before = logLines().size();
            c.raise(*monitors[n - 1]);
            const QStringList lines = logLines().mid(before);
            ASSERT_EQ(lines.size(), 1) << lines.join('|').toStdString();
            EXPECT_TRUE(lines[0].contains(QStringLiteral(": slot%1").arg(n) + QLatin1String(c.phrase))) << lines[0].toStdString();
            EXPECT_EQ(form->edt1->lineColour(form->edt1->lines().size() - 1), QColor(255, 0, 0));
        }
    }
}

}  // namespace
