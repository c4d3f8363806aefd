#include "support/RecordingWindow.h"
#include "actions/EventHandlerFamily.h"
#include "actions/ExecuteCommand.h"
#include "actions/TRzLauncher.h"
#include "platform/boxes/AppException.h"
#include "support/ArgvProbe.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class EventHandlerFamilyTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ArgvProbe probe{dir.path()};
    RecordingWindow window;
    TRzLauncher launcher;
    Twatcher slot;

    void SetUp() override
    {
        slot.Name = QStringLiteral("Docs");
        slot.Path = dir.filePath(QStringLiteral("watched $(touch pwned) ;"));
        slot.ProgramToExecute = probe.path();
        // Anything a shell made of the names would land here, where the test looks for it.
        launcher.StartDir = dir.path();
        QFile(dir.filePath(QStringLiteral("glob-bait"))).open(QIODevice::WriteOnly);
    }
    void allActionsOn()
    {
        slot.ShowDesktopAlert = slot.PopUpMessage = slot.WriteToLogFile = slot.RunProgram = true;
        slot.LogFile = dir.filePath(QStringLiteral("docs.log"));
    }
    void handle(EventKind kind, const EventItem& first = {}, const EventItem& second = {})
    {
        HandleShellEvent(window, window, slot, launcher, kind, first, second);
    }
};

TEST_F(EventHandlerFamilyTest, EveryEntryHandsTheProgramExactlyItsWords)
{
    const QString oldPath = dir.filePath(QStringLiteral("old  \"q\" \\x\\ $(touch pwned) ; * `touch pwned2`\nline\\"));
    const QString newPath = dir.filePath(QStringLiteral("new 'single' \\\"mixed\\\\\" tab\there\\\\"));
    const QString media = QStringLiteral("My \"USB\" \\ stick $(touch pwned)\\");
    const EventItem first{oldPath, media};
    const EventItem second{newPath, QStringLiteral("unused")};
    slot.RunProgram = slot.UseArguments = true;

    for (const ArgumentEntry& e : argumentEntries()) {
        QStringList expected;
        switch (e.form) {
        case ArgumentForm::BarePath:  // not quoted, and still one word: a name never adds arguments
        case ArgumentForm::ItemPath:
        case ArgumentForm::OldPath: expected = {oldPath}; break;
        case ArgumentForm::NewThenOld: expected = {newPath, oldPath}; break;
        case ArgumentForm::NewPath: expected = {newPath}; break;
        case ArgumentForm::DisplayName: expected = {media}; break;
        case ArgumentForm::WatchFolder: expected = {slot.Path}; break;
        }
        slot.ArgumentIndex = e.index;
        const int before = int(probe.runs().size());
        handle(e.kind, first, second);
        ASSERT_TRUE(probe.waitForRuns(before + 1)) << "entry " << e.index;
        EXPECT_EQ(probe.runs().last().args, expected) << "entry " << e.index;
    }
    EXPECT_EQ(probe.runs().size(), 16);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("pwned*")}), QStringList());
}

TEST_F(EventHandlerFamilyTest, AnEntryOfAnotherKindGivesEmptyParameters)
{
    slot.RunProgram = slot.UseArguments = true;
    slot.ArgumentIndex = 0;  // file create
    handle(EventKind::FolderCreate, {dir.filePath(QStringLiteral("a b")), {}});
    slot.ArgumentIndex = 3;  // file rename
    handle(EventKind::FolderRename, {QStringLiteral("/o"), {}}, {QStringLiteral("/n"), {}});
    ASSERT_TRUE(probe.waitForRuns(2));
    for (const auto& r : probe.runs()) EXPECT_EQ(r.args, QStringList());
}

TEST_F(EventHandlerFamilyTest, WithEveryActionOffOnlyTheRedLineIsWritten)
{
    for (const EventKindInfo& k : eventKinds()) {
        window.journal.clear();
        handle(k.kind, {QStringLiteral("/w/x"), QStringLiteral("X")}, {QStringLiteral("/w/y"), QStringLiteral("Y")});
        EXPECT_EQ(window.journal, QStringList{"red"}) << k.name;
        EXPECT_TRUE(window.lines.last().text.contains(QLatin1String(k.phrase))) << k.name;
    }
    EXPECT_TRUE(launcher.FileName.isEmpty());
    EXPECT_FALSE(QFile::exists(slot.LogFile));
}

TEST_F(EventHandlerFamilyTest, TheActionsRunInTheirOrder)
{
    allActionsOn();
    handle(EventKind::FileCreate, {dir.filePath(QStringLiteral("a.txt")), {}});
    EXPECT_EQ(window.journal, (QStringList{"alert", "red", "blue", "popup"}));
    for (EventKind k : {EventKind::AssociationChange, EventKind::DriveSpaceChange}) {
        window.journal.clear();
        handle(k);
        EXPECT_EQ(window.journal, (QStringList{"red", "alert", "blue", "popup"}));
    }
    QFile log(slot.LogFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> logLines = log.readAll().split('\n');
    ASSERT_EQ(logLines.size(), 2 + 3 + 1);
    EXPECT_EQ(logLines[2].trimmed(), window.texts(LiveLogColour::Red).first().toUtf8());
    ASSERT_TRUE(probe.waitForRuns(3));
}

TEST_F(EventHandlerFamilyTest, ALogFileErrorSkipsTheCommandAndThePopUpOfThatEventOnly)
{
    allActionsOn();
    const QString goodLog = slot.LogFile;
    slot.LogFile = dir.filePath(QStringLiteral("no such folder/docs.log"));
    try {
        handle(EventKind::FileDelete, {dir.filePath(QStringLiteral("a.txt")), {}});
        ADD_FAILURE() << "no error raised";
    } catch (const AppException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Path not found"));
    }
    EXPECT_EQ(window.journal, (QStringList{"alert", "red"}));
    EXPECT_TRUE(launcher.FileName.isEmpty());

    slot.LogFile = goodLog;
    window.journal.clear();
    handle(EventKind::FileDelete, {dir.filePath(QStringLiteral("b.txt")), {}});
    EXPECT_EQ(window.journal, (QStringList{"alert", "red", "blue", "popup"}));
    EXPECT_TRUE(probe.waitForRuns(1));
}

// A line is in the file before its event's program starts or its pop-up shows; with neither
// to come it goes in with the turn's other lines, in order.
TEST_F(EventHandlerFamilyTest, TheLogLineWaitsForTheTurnsEndOnlyWhenNothingOfItsEventNeedsIt)
{
    struct Case {
        const char* what;
        bool program, popUp;
    };
    for (const Case& c : {Case{"log only", false, false}, Case{"program", true, false}, Case{"pop-up", false, true},
                          Case{"both", true, true}}) {
        SCOPED_TRACE(c.what);
        allActionsOn();
        slot.RunProgram = c.program;
        slot.PopUpMessage = c.popUp;
        slot.LogFile = dir.filePath(QString::fromUtf8(c.what) + QStringLiteral(".log"));
        const auto content = [&] {
            QFile f(slot.LogFile);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        handle(EventKind::FileCreate, {dir.filePath(QStringLiteral("a.txt")), {}});
        handle(EventKind::FileCreate, {dir.filePath(QStringLiteral("b.txt")), {}});
        const QByteArray now = content();
        EXPECT_EQ(now.contains("b.txt"), c.program || c.popUp);
        QCoreApplication::processEvents();  // the turn ends
        const QByteArray later = content();
        ASSERT_EQ(later.split('\n').size(), 2 + 2 + 1) << later.toStdString();
        EXPECT_LT(later.indexOf("a.txt"), later.indexOf("b.txt"));
    }
    EXPECT_TRUE(probe.waitForRuns(4));
}

TEST_F(EventHandlerFamilyTest, EachActionSeesTheRecordAsItIsWhenItStarts)
{
    const QString file = dir.filePath(QStringLiteral("busy.txt"));
    QProcess holder;
    holder.setStandardOutputFile(file, QIODevice::Append);
    holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    ASSERT_TRUE(holder.waitForStarted(10000));
    ASSERT_TRUE(IsFileInUse(file));

    slot.RunProgram = slot.UseArguments = slot.WaitForProcess = slot.PopUpMessage = true;
    slot.ArgumentIndex = 0;
    bool edited = false;
    window.whileProcessing = [&] {
        if (edited) return;
        edited = true;  // the watch edited while its command waits
        slot.Name = QStringLiteral("Renamed");
        slot.ProgramToExecute = dir.filePath(QStringLiteral("other.sh"));
        holder.kill();
        holder.waitForFinished(10000);
    };
    handle(EventKind::FileCreate, {file, {}});
    ASSERT_TRUE(edited);
    ASSERT_TRUE(probe.waitForRuns(1));  // the program of the moment of the event
    EXPECT_TRUE(window.texts(LiveLogColour::Blue).first().endsWith(QStringLiteral(": Watch Docs: execute: ") + probe.path()));
    ASSERT_EQ(window.popUps.size(), 1);
    EXPECT_EQ(window.popUps.first().Name, QStringLiteral("Renamed"));  // the pop-up starts after the edit
}

}  // namespace
