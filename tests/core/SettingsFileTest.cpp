#include "core/SettingsFile.h"
#include "core/WatchLoader.h"
#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "platform/boxes/AppException.h"
#include "platform/settings/ProfileFile.h"
#include "support/BoxRecorder.h"
#include "support/RecordingWatchWindow.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    BoxRecorder boxes;
    RecordingWatchWindow window;

    void SetUp() override
    {
        SettingsFolder = dir.path();
        CreateWatchObjects({});
    }
    QString file() const { return SettingsFilePath(); }
    QByteArray bytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString key(const QString& section, const QString& k) const { return ProfileFile::readString(file(), section, k); }
    // Marks the slots that the file's sections occupy, as the loader would.
    void occupySlotsFromFile()
    {
        for (const QString& s : ProfileFile::sectionNames(file()))
            if (int n = SlotNumberOf(key(s, "panel"))) WatchSlot(n).Avilable = false;
    }
    PopulateResult store(const QString& name, std::function<void(WatchEditorInput&)> edit = {})
    {
        WatchEditorInput in;
        in.nameText = name;
        in.path = dir.path();
        if (edit) edit(in);
        const auto r = PopulatIni(window, in);
        occupySlotsFromFile();
        return r;
    }
};

TEST_F(SettingsFileTest, SampleSectionIsByteExactAndWrittenOnce)
{
    CheckForIni();
    const QByteArray sample =
        "[sample]\npanel=1\navilable=0\nactive=0\nname=sample\nstat=0\npath=/\nsub=0\nfcreate=0\nfdelete=0\n"
        "fchange=0\nfrename=0\nasso=0\nspace=0\ndcreate=0\nddelete=0\ndrename=0\ndchange=\nminsert=0\n"
        "mremove=0\nrunprog=\nexec=\narguments=0\nargindex=-1\nwaitproc=0\nwritelog=\nlogfile=\npopup=0\n"
        "desktop=0\n";
    EXPECT_EQ(bytes(), sample);
    ProfileFile::eraseSection(file(), "sample");
    CheckForIni();
    EXPECT_EQ(bytes(), QByteArray()) << "a removed sample came back";
}

TEST_F(SettingsFileTest, StoredNameKeepsItsSlotAndMovesToTheEnd)
{
    ASSERT_EQ(store("Docs", [](WatchEditorInput& in) {
        in.runProgram = true;
        in.program = "/bin/true";
        in.useArguments = true;
        in.argumentIndex = 0;
        in.writeLog = true;
        in.logFile = "/tmp/x.log";
    }), PopulateResult::Stored);
    ASSERT_EQ(store("Pics"), PopulateResult::Stored);
    EXPECT_EQ(key("Docs", "panel"), "1");
    EXPECT_EQ(key("Pics", "panel"), "2");
    EXPECT_EQ(key("Docs", "exec"), "/bin/true");

    ASSERT_EQ(store("  d o\tcs "), PopulateResult::Stored);  // blanks and tabs removed, case ignored
    EXPECT_EQ(ProfileFile::sectionNames(file()), (QStringList{"Pics", "docs"}));
    EXPECT_EQ(key("docs", "panel"), "1");
    for (const char* dropped : {"exec", "argindex", "logfile"})
        EXPECT_FALSE(bytes().contains(QByteArray("\n") + dropped + "=")) << dropped;
    EXPECT_EQ(window.clears, 3);
    ASSERT_EQ(window.lines.size(), 3);
    EXPECT_TRUE(window.lines.last().text.endsWith(": New watch created, watch name: docs"));
    EXPECT_EQ(window.lines.last().colour, LiveLogColour::Blue);
}

TEST_F(SettingsFileTest, KeysAreWrittenInOrder)
{
    store("W", [](WatchEditorInput& in) {
        in.sub = true;
        in.events[2] = true;   // the third box: file change
        in.events[11] = true;  // the last: media remove
        in.runProgram = true;
        in.program = "/usr/bin/env";
        in.useArguments = true;
        in.argumentIndex = 12;
        in.popup = true;
    });
    const QByteArray expected = "[W]\nname=W\npath=" + dir.path().toUtf8() +
                                "\npanel=1\nactive=0\navilable=0\nsub=1\nfcreate=0\nfdelete=0\nfchange=1\nfrename=0\n"
                                "asso=0\nspace=0\ndcreate=0\nddelete=0\ndrename=0\ndchange=0\nminsert=0\nmremove=1\n"
                                "runprog=1\nexec=/usr/bin/env\narguments=1\nargindex=12\nwaitproc=0\nwritelog=0\n"
                                "popup=1\ndesktop=0\n";
    EXPECT_EQ(bytes(), expected);
}

TEST_F(SettingsFileTest, FifthNewNameIsRefusedWhileAStoredNameIsAccepted)
{
    for (const char* n : {"a", "b", "c", "d"}) ASSERT_EQ(store(n), PopulateResult::Stored);
    const QByteArray before = bytes();
    EXPECT_EQ(store("e"), PopulateResult::ListFull);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(boxes.texts().last(), "Watch list is full, delete a watch first");
    EXPECT_EQ(boxes.boxes().last().kind, ModalBoxes::Kind::Warning);
    EXPECT_EQ(store("B"), PopulateResult::Stored);
    EXPECT_EQ(key("b", "panel"), "2");
}

TEST_F(SettingsFileTest, FreedSlotIsHandedOutAgain)
{
    for (const char* n : {"a", "b", "c"}) store(n);
    ProfileFile::eraseSection(file(), "b");
    WatchSlot(2).Avilable = true;
    store("n");
    EXPECT_EQ(key("n", "panel"), "2");
    store("m");
    EXPECT_EQ(key("m", "panel"), "4");
}

TEST_F(SettingsFileTest, EmptyOrBlankNameIsRefused)
{
    for (const char* name : {"", "   ", "\t \t"}) {
        boxes.clear();
        EXPECT_EQ(store(name), PopulateResult::EmptyName) << '"' << name << '"';
        EXPECT_EQ(boxes.texts(), QStringList{"Please enter a watch name"});
    }
    EXPECT_FALSE(QFile::exists(file()));
}

// A name that could never be found again is refused before anything is written; any other name
// comes back out: its section is found, it loads under that name, and removing it removes it.
TEST_F(SettingsFileTest, NamesThatGoInComeBackOut)
{
    const char* refused[] = {"[a", "a]", "a[b]c", "'x'", "\"x\"", "\"\"", "a\x01", "tab\x7f"};
    for (const char* name : refused) {
        boxes.clear();
        EXPECT_EQ(store(name), PopulateResult::BadName) << name;
        EXPECT_EQ(boxes.texts(), QStringList{UnstorableNameMessage}) << name;
        EXPECT_EQ(boxes.boxes().last().kind, ModalBoxes::Kind::Error);
    }
    EXPECT_FALSE(QFile::exists(file())) << "a refused name wrote something";

    const QString accepted[] = {"'x", "x\"", "a=b", ";x", "#x", "Ünï✓", "'", "x'y'"};
    for (const QString& name : accepted) {
        SCOPED_TRACE(name.toStdString());
        QFile::remove(file());
        CreateWatchObjects({});
        ASSERT_EQ(store(name), PopulateResult::Stored);
        EXPECT_EQ(ProfileFile::sectionNames(file()), QStringList{name});
        EXPECT_EQ(key(name, "name"), name);
        CreateWatchObjects({});
        LoadSettingsToWatchList(window);
        EXPECT_EQ(WatchSlot(1).Name, name);
        EXPECT_FALSE(WatchSlot(1).Avilable);
        ProfileFile::eraseSection(file(), WatchSlot(1).Name);
        EXPECT_TRUE(ProfileFile::sectionNames(file()).isEmpty()) << "removed, and yet it would come back";
    }
}

// Paths are stored so that they load exactly, blanks and quotes at their ends included.
TEST_F(SettingsFileTest, PathsLoadExactlyAsStored)
{
    const QString paths[] = {"/media/usb/trailing ", " /leading", "/a \"b\"", "'/quoted'", "\"/opt/my tools/run\"", "/plain"};
    for (const QString& p : paths) {
        SCOPED_TRACE(p.toStdString());
        QFile::remove(file());
        CreateWatchObjects({});
        store("w", [&](WatchEditorInput& in) {
            in.path = p;
            in.runProgram = true;
            in.program = p;
            in.writeLog = true;
            in.logFile = p;
        });
        CreateWatchObjects({});
        LoadSettingsToWatchList(window);
        EXPECT_EQ(WatchSlot(1).Path, p);
        EXPECT_EQ(WatchSlot(1).ProgramToExecute, p);
        EXPECT_EQ(WatchSlot(1).LogFile, p);
    }
}

TEST_F(SettingsFileTest, UnwritableFolderRaisesUnableToWrite)
{
    SettingsFolder = dir.filePath("missing");
    try {
        store("x");
        FAIL() << "store into a missing folder succeeded";
    } catch (const AppException& e) {
        EXPECT_EQ(e.message(), "Unable to write to " + SettingsFilePath());
    }
}

TEST_F(SettingsFileTest, ActivationByNameIsExactAndAllMarksEverySection)
{
    for (const char* n : {"Docs", "docsx", "Pics"}) store(n);
    EXPECT_EQ(ActivateWatches("docs", false).size(), 0);  // case counts
    EXPECT_EQ(key("Docs", "active"), "0");
    EXPECT_EQ(ActivateWatches("Docs", false), QStringList{"Docs"});
    EXPECT_EQ(key("Docs", "active"), "1");
    EXPECT_EQ(key("Pics", "active"), "0");
    EXPECT_EQ(ActivateWatches("-all", true).size(), 3);
    for (const char* n : {"Docs", "docsx", "Pics"}) EXPECT_EQ(key(n, "active"), "1") << n;
}

TEST(WatchSlotsTest, ClearingASlotTakesIt)
{
    CreateWatchObjects({});
    EXPECT_EQ(WatchSlot(1).ArgumentIndex, -1);
    ClearWatcher(WatchSlot(1));
    EXPECT_EQ(WatchSlot(1).ArgumentIndex, 0);
    EXPECT_FALSE(WatchSlot(1).Avilable);
}

TEST(WatchSlotsTest, SlotNumbers)
{
    struct { const char* value; int slot; } cases[] = {{"1", 1}, {"4", 4}, {"0", 0}, {"5", 0}, {"01", 0}, {" 1", 0}, {"", 0}, {"x", 0}};
    for (const auto& c : cases) EXPECT_EQ(SlotNumberOf(c.value), c.slot) << c.value;
}

}  // namespace
