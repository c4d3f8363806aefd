#include "support/RecordingWindow.h"
#include "actions/ExecuteCommand.h"
#include "actions/TRzLauncher.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/programs/WindowsCommandLine.h"
#include "support/ArgvProbe.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class ExecuteCommandTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    ArgvProbe probe{dir.path()};
    RecordingWindow window;
    TRzLauncher launcher;
    QString file = dir.filePath(QStringLiteral("new \"file\" being written.txt"));
    QProcess holder;

    Twatcher watch(bool useArguments = true, bool wait = false) const
    {
        Twatcher w;
        w.Name = QStringLiteral("Docs");
        w.RunProgram = true;
        w.ProgramToExecute = probe.path();
        w.UseArguments = useArguments;
        w.WaitForProcess = wait;
        return w;
    }
    // The writer that created the file keeps it open until it is killed.
    void holdFile()
    {
        holder.setStandardOutputFile(file, QIODevice::Append);
        holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        ASSERT_TRUE(holder.waitForStarted(10000));
        ASSERT_TRUE(IsFileInUse(file));
    }
    void TearDown() override
    {
        holder.kill();
        holder.waitForFinished(10000);
    }
    void expectBlueLine(const QString& before, const QString& program) const
    {
        ASSERT_EQ(window.texts(LiveLogColour::Blue).size(), 1);
        const QString line = window.texts(LiveLogColour::Blue).first();
        const QString tail = QStringLiteral(": Watch Docs: execute: ") + program;
        EXPECT_TRUE(line == before + tail || line == DateTimeStamp::now() + tail) << line.toStdString();
    }
};

TEST_F(ExecuteCommandTest, RunProgramOffStartsNothingAndWritesNothing)
{
    Twatcher w = watch();
    w.RunProgram = false;
    ExecuteCommand(window, w, launcher, QStringLiteral("x"));
    EXPECT_TRUE(window.lines.isEmpty());
    EXPECT_TRUE(launcher.FileName.isEmpty());
    EXPECT_EQ(launcher.HProcess(), 0);
}

TEST_F(ExecuteCommandTest, WithoutArgumentsTheProgramGetsNoParameters)
{
    const QString before = DateTimeStamp::now();
    ExecuteCommand(window, watch(false), launcher, QStringLiteral("\"/w/a.txt\""));
    ASSERT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().first().args, QStringList());
    expectBlueLine(before, probe.path());
}

TEST_F(ExecuteCommandTest, AProgramThatCantStartStillGetsItsLine)
{
    for (const QString& program : {dir.filePath(QStringLiteral("missing.sh")), QString()}) {
        window.lines.clear();
        Twatcher w = watch();
        w.ProgramToExecute = program;
        const QString before = DateTimeStamp::now();
        ExecuteCommand(window, w, launcher, QStringLiteral("x"));
        expectBlueLine(before, program);
        EXPECT_EQ(launcher.HProcess(), 0);
    }
}

TEST_F(ExecuteCommandTest, TheWaitLastsUntilTheWriterClosesTheFile)
{
    holdFile();
    bool released = false;
    QTimer::singleShot(300, [&] {
        holder.kill();
        holder.waitForFinished(10000);
        released = true;
    });
    ExecuteCommand(window, watch(true, true), launcher, WindowsCommandLine::unquoted(file));
    EXPECT_TRUE(released);  // the timer could only fire inside the wait
    EXPECT_GT(window.messagesProcessed, 0);
    ASSERT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().first().args, QStringList{file});
    EXPECT_EQ(window.texts(LiveLogColour::Blue).size(), 1);
}

TEST_F(ExecuteCommandTest, ADeletedFileEndsTheWait)
{
    holdFile();
    QTimer::singleShot(300, [&] { QFile::remove(file); });
    ExecuteCommand(window, watch(true, true), launcher, WindowsCommandLine::unquoted(file));
    EXPECT_EQ(holder.state(), QProcess::Running);  // still holding what is left of it
    ASSERT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().first().args, QStringList{file});  // the vanished file's name
}

TEST_F(ExecuteCommandTest, ClosingTheWindowEndsTheWaitWithoutStarting)
{
    holdFile();
    QTimer::singleShot(300, [&] { window.isClosing = true; });
    ExecuteCommand(window, watch(true, true), launcher, WindowsCommandLine::unquoted(file));
    EXPECT_TRUE(window.isClosing);
    EXPECT_EQ(holder.state(), QProcess::Running);
    EXPECT_TRUE(window.lines.isEmpty());
    EXPECT_TRUE(launcher.FileName.isEmpty());
}

TEST_F(ExecuteCommandTest, AQuotedArgumentNamesNoFileSoThereIsNoWait)
{
    holdFile();
    ExecuteCommand(window, watch(true, true), launcher, WindowsCommandLine::quoted(file));
    EXPECT_EQ(window.messagesProcessed, 0);
    ASSERT_TRUE(probe.waitForRuns(1));
    EXPECT_EQ(probe.runs().first().args, QStringList{file});
}

}  // namespace
