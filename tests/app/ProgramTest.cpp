#include "platform/settings/ProfileFile.h"
#include "support/FileBytes.h"
#include "support/ProgramRun.h"
#include "support/Waiting.h"

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class ProgramTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString settings() const { return temp.path() + "/VSM25/settings.cfg"; }
    // One watch "docs" stored as running, hearing file creations and writing them to `log`.
    void storeLoggingWatch(const QString& watched, const QString& log, bool sub)
    {
        QDir().mkpath(watched);
        writeFile(settings(), ("[docs]\nname=docs\npath=" + watched + "\npanel=1\nactive=1\navilable=0\nsub=" +
                               (sub ? "1" : "0") + "\nfcreate=1\nwritelog=1\nlogfile=" + log + "\n")
                                  .toUtf8());
    }

    // Starts the program, waits for the end of start-up, ends it with SIGTERM.
    QStringList runOnce(const QStringList& args = {})
    {
        ProgramRun run(temp.path(), args);
        EXPECT_TRUE(run.waitForLine("live-log: #000000 Windows Platform: ", 30000))
            << run.lines().join('\n').toStdString() << "\nexit " << run.process().exitCode() << " "
            << run.process().errorString().toStdString();
        EXPECT_EQ(run.terminate(), 0);
        return run.lines();
    }
};

TEST_F(ProgramTest, FirstStartCreatesTheSampleAndLaterStartsLeaveTheFileAlone)
{
    runOnce();
    const QByteArray first = readFile(settings());
    ASSERT_TRUE(first.startsWith("[sample]\npanel=1\navilable=0\nactive=0\nname=sample\nstat=0\npath=/\n"));
    runOnce();
    EXPECT_EQ(readFile(settings()), first);
    writeFile(settings(), "");
    runOnce();
    EXPECT_EQ(readFile(settings()), QByteArray()) << "a removed sample came back";
}

TEST_F(ProgramTest, CommandLineActivationPersists)
{
    writeFile(settings(), "[docs]\nname=docs\npanel=1\navilable=0\nactive=0\npath=" + temp.path().toUtf8() + "\n");
    runOnce({"docs"});
    EXPECT_EQ(ProfileFile::readString(settings(), "docs", "active"), "1");
    const QStringList lines = runOnce();
    EXPECT_EQ(ProfileFile::readString(settings(), "docs", "active"), "1");
}

// What a user types first: answered on standard output with exit code 0, before anything
// starts. No display is set and Qt's platform is not chosen, so a program that started its
// toolkit would fail; no settings folder may appear and no box may be written.
TEST_F(ProgramTest, HelpAndVersionAnswerWithoutStarting)
{
    struct Case {
        QStringList args;
        const char* firstLine;
        const char* mentions;  // a text the answer must hold
    } const cases[] = {
        {{"--version"}, "Vesmor 2.5", nullptr},
        {{"--help"}, "Usage: vesmor [WATCH | -all] [-m]", "-all"},
        {{"--help", "-m"}, "Usage: vesmor [WATCH | -all] [-m]", "vesmor --version"},
        // Where the settings are when no TEMP or TMP is set: not the cache, which cleaners empty.
        {{"--help"}, "Usage: vesmor [WATCH | -all] [-m]", "$XDG_CONFIG_HOME (by default ~/.config)"},
        {{"--version", "a", "b"}, "Vesmor 2.5", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        env.insert("TEMP", temp.path());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(ProgramRun::binaryPath(), c.args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        EXPECT_EQ(out.section('\n', 0, 0), c.firstLine) << out.toStdString();
        EXPECT_TRUE(out.endsWith('\n'));
        if (c.mentions) {
            EXPECT_TRUE(out.contains(c.mentions)) << out.toStdString();
        }
        EXPECT_EQ(p.readAllStandardError(), QByteArray());
        EXPECT_FALSE(QFileInfo::exists(temp.path() + "/VSM25")) << "the settings folder was touched";
    }
}

// A mistyped name on the command line is said in red; the program runs on.
TEST_F(ProgramTest, UnknownWatchNameIsSaidInRed)
{
    writeFile(settings(), "[docs]\nname=docs\npanel=1\nactive=0\npath=" + temp.path().toUtf8() + "\n");
    const QStringList lines = runOnce({"NoSuchWatch"});
    EXPECT_EQ(lines.filter(QRegularExpression("^live-log: #ff0000 .*: no watch named NoSuchWatch$")).size(), 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(ProfileFile::readString(settings(), "docs", "active"), "0");
}

TEST_F(ProgramTest, ThreeParametersAreRefusedAndNothingIsWritten)
{
    writeFile(settings(), "[docs]\nname=docs\npanel=1\nactive=0\n");
    const QStringList lines = runOnce({"docs", "-m", "x"});
    EXPECT_TRUE(lines.contains("box: error: Too many parameters (caption \"Error\", answered OK)"))
        << lines.join('\n').toStdString();
    EXPECT_EQ(ProfileFile::readString(settings(), "docs", "active"), "0");
}

TEST_F(ProgramTest, SettingsFolderOthersCanWriteStopsTheProgram)
{
    QDir().mkpath(temp.path() + "/VSM25");
    ::chmod(QFile::encodeName(temp.path() + "/VSM25").constData(), 0777);
    ProgramRun run(temp.path());
    EXPECT_EQ(run.waitForExit(30000), 1);
    EXPECT_TRUE(run.lines().filter("box: error: The settings folder " + temp.path() + "/VSM25").size() == 1)
        << run.lines().join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(settings()));
}

TEST_F(ProgramTest, JunkSettingsFilesLoadWithoutCrashOrHang)
{
    const QByteArray junk[] = {
        QByteArray("\x00\x01[\x00\xff]\n\xc3\x28=\x00\npanel=1\n", 19),
        "[a]\npanel=1\nname=a\nactive=0\narguments=1\nargindex=seven\n[b]\npanel=2\nname=b\nactive=0\n",
        "[x]\npanel=9\nname=x\n[y]\npanel=\n[z]\n" + QByteArray(50 * 1024 * 1024, 'z') + "\n",
        "keys=without\nsection\n[a]\n[a]\npanel=1\n[A]\npanel=2\n",
    };
    for (const QByteArray& content : junk) {
        writeFile(settings(), content);
        runOnce();
    }
}

// A watch stored as running starts at launch, hears its folder, writes its log, and a vanished
// folder stops the auto-start of the watches after it.
TEST_F(ProgramTest, StoredRunningWatchStartsAtLaunchAndReports)
{
    const QString watched = temp.path() + "/watched";
    const QString log = temp.path() + "/events.log";
    storeLoggingWatch(watched, log, true);
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("live-log: #008000 ", 30000)) << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.lines().filter("Watch docs Started monitoring path: " + watched).size(), 1);
    writeFile(watched + "/a/b/new.txt", "x");
    EXPECT_TRUE(run.waitForLine("live-log: #ff0000 ", 10000));
    EXPECT_TRUE(run.waitForLine(": docs: File create event, file name: " + watched + "/a/b/new.txt", 10000))
        << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(ProfileFile::readString(settings(), "docs", "active"), "1") << "a running watch stays marked at exit";
    const QList<QByteArray> lines = readFile(log).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Vesmor 2.5 running on computer "));
    EXPECT_TRUE(readFile(log).contains("File create event, file name: " + (watched + "/a/b/new.txt").toUtf8() + "\r\n"));
}

// Ended by a signal in the middle of a burst: every event the live log showed is in the log
// file, whole, once and in the same order.
TEST_F(ProgramTest, EndedInABurstEveryEventShownIsInTheLogFile)
{
    const QString watched = temp.path() + "/watched";
    const QString log = temp.path() + "/events.log";
    storeLoggingWatch(watched, log, false);
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("Watch docs Started monitoring path: ", 30000)) << run.lines().join('\n').toStdString();
    for (int i = 0; i < 3000; ++i) writeFile(watched + QStringLiteral("/f%1").arg(i, 4, 10, QChar('0')), "");
    ASSERT_TRUE(run.waitForLine(": docs: File create event, file name: " + watched + "/f", 10000));
    EXPECT_EQ(run.terminate(), 0);
    QStringList shown;
    for (const QString& l : run.lines())
        if (l.startsWith("live-log: #ff0000 ")) shown << l.section(u' ', 2);
    ASSERT_FALSE(shown.isEmpty());
    const QList<QByteArray> lines = readFile(log).split('\n');
    ASSERT_GE(lines.size(), 3);
    QStringList written;
    for (qsizetype i = 2; i + 1 < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].endsWith('\r')) << lines[i].toStdString();
        written << QString::fromUtf8(lines[i].chopped(1));
    }
    EXPECT_TRUE(lines.last().isEmpty()) << "the file ends with a whole line";
    EXPECT_EQ(written, shown);
}

// Two watches stored as running; the first one's drive is unplugged. The second starts and
// hears its events, the first is named, and "-m" still applies.
TEST_F(ProgramTest, MissingFolderDoesNotKeepTheOtherWatchesFromStarting)
{
    const QString watched = temp.path() + "/watched";
    QDir().mkpath(watched);
    const QString gone = temp.path() + "/usb-drive";
    writeFile(settings(), ("[usb]\nname=usb\npath=" + gone + "\npanel=1\nactive=1\navilable=0\nfcreate=1\n"
                           "[ok]\nname=ok\npath=" + watched + "\npanel=2\nactive=1\navilable=0\nfcreate=1\n").toUtf8());
    ProgramRun run(temp.path(), {"-m"});
    ASSERT_TRUE(run.waitForLine("Watch ok Started monitoring path: " + watched, 30000)) << run.lines().join('\n').toStdString();
    writeFile(watched + "/new.txt", "x");
    EXPECT_TRUE(run.waitForLine(": ok: File create event, file name: " + watched + "/new.txt", 10000))
        << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.lines().filter("live-log: #ff0000 ").filter(": Watch usb Cannot monitor path: " + gone).size(), 1)
        << run.lines().join('\n').toStdString();
    EXPECT_TRUE(run.lines().filter("box: ").isEmpty()) << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(ProfileFile::readString(settings(), "usb", "active"), "1") << "it starts again once the drive is back";
}

// One write to an association file, as a user makes it from a shell: one association change
// event, and the watch's program started once.
TEST_F(ProgramTest, OneWriteToAnAssociationFileIsOneEventAndOneProgramStart)
{
    const QString watched = temp.path() + "/watched";
    const QString config = temp.path() + "/config";
    const QString starts = temp.path() + "/starts";
    const QString program = temp.path() + "/count.sh";
    QDir().mkpath(watched);
    QDir().mkpath(config);
    writeFile(program, ("#!/bin/sh\necho started >> '" + starts + "'\n").toUtf8());
    ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0755), 0);
    writeFile(settings(), ("[assoc]\nname=assoc\npath=" + watched + "\npanel=1\nactive=1\navilable=0\nasso=1\n"
                           "runprog=1\nexec=" + program + "\n").toUtf8());
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    ProgramRun run(temp.path());
    if (saved.isNull()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", saved);
    ASSERT_TRUE(run.waitForLine("Watch assoc Started monitoring path: " + watched, 30000)) << run.lines().join('\n').toStdString();
    const QString event = ": assoc: Association change event at folde: " + watched;
    auto shellWrite = [&](const char* line) {
        return QProcess::execute("/bin/sh", {"-c", QStringLiteral("echo '%1' > '%2/mimeapps.list'").arg(line, config)});
    };
    auto events = [&] { return run.lines().filter(event).size(); };
    auto started = [&] { return readFile(starts).count("started"); };
    // The configuration folder is watched a moment after the start: a write before that is
    // not heard, so write until one is.
    ASSERT_TRUE(waitFor([&] {
        shellWrite("[Default Applications]");
        return run.waitForLine(event, 200);
    })) << run.lines().join('\n').toStdString();
    ASSERT_TRUE(waitFor([&] { return started() > 0; }));
    // Anything more from those writes comes within a second (a write whose close is never seen).
    waitFor([&] { return false; }, 1500);
    const qsizetype eventsBefore = events();
    const qsizetype startsBefore = started();
    ASSERT_EQ(shellWrite("text/plain=b.desktop"), 0);
    ASSERT_TRUE(waitFor([&] { return events() > eventsBefore && started() > startsBefore; }));
    EXPECT_FALSE(waitFor([&] { return events() > eventsBefore + 1 || started() > startsBefore + 1; }, 1500))
        << run.lines().join('\n').toStdString();
    EXPECT_EQ(events(), eventsBefore + 1);
    EXPECT_EQ(started(), startsBefore + 1);
    EXPECT_EQ(run.terminate(), 0);
}

// A long-lived file of 1,000 sections opens, and the four watches it loads work.
TEST_F(ProgramTest, ThousandSectionsOpenAndTheFourLoadedWatchesWork)
{
    QByteArray file;
    for (int i = 1; i <= 1000; ++i) {
        const QString folder = temp.path() + QStringLiteral("/w%1").arg(i);
        if (i <= 4) QDir().mkpath(folder);
        file += QStringLiteral("[w%1]\nname=w%1\npath=%2\npanel=%3\nactive=%4\navilable=0\nsub=0\nfcreate=1\nfdelete=0\n"
                               "fchange=0\nfrename=0\nasso=0\nspace=0\ndcreate=0\nddelete=0\ndrename=0\ndchange=0\n"
                               "minsert=0\nmremove=0\nrunprog=0\narguments=0\nwaitproc=0\nwritelog=0\npopup=0\ndesktop=0\n")
                    .arg(i).arg(folder).arg((i - 1) % 4 + 1).arg(i <= 4 ? 1 : 0)
                    .toUtf8();
    }
    writeFile(settings(), file);
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("live-log: #000000 Windows Platform: ", 30000)) << run.lines().mid(0, 20).join('\n').toStdString();
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch w%1 Started monitoring path: %2/w%1").arg(i).arg(temp.path()), 10000)) << i;
    for (int i = 1; i <= 4; ++i) writeFile(temp.path() + QStringLiteral("/w%1/new.txt").arg(i), "x");
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(run.waitForLine(QStringLiteral(": w%1: File create event, file name: %2/w%1/new.txt").arg(i).arg(temp.path()), 10000))
            << i;
    const QStringList lines = run.lines();
    EXPECT_EQ(lines.filter(" not loaded: slot ").size(), 996);
    EXPECT_TRUE(lines.filter(": Watch w1000 not loaded: slot 4 already holds watch w4").size() == 1);
    EXPECT_EQ(run.terminate(), 0);
}

// Qt's own options are ours too: a watch may be called "-reverse", and three parameters are too
// many whatever they are.
TEST_F(ProgramTest, QtOptionsAreOrdinaryParameters)
{
    writeFile(settings(), ("[-reverse]\nname=-reverse\npanel=1\navilable=0\nactive=0\npath=" + temp.path() + "\n").toUtf8());
    QStringList lines = runOnce({"-reverse"});
    EXPECT_EQ(ProfileFile::readString(settings(), "-reverse", "active"), "1") << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter("Watch -reverse Started monitoring path: " + temp.path()).size(), 1);

    ProfileFile::writeString(settings(), "-reverse", "active", "0");
    lines = runOnce({"-platform", "offscreen", "-m"});
    EXPECT_TRUE(lines.contains("box: error: Too many parameters (caption \"Error\", answered OK)")) << lines.join('\n').toStdString();
    lines = runOnce({"-style", "-reverse"});
    EXPECT_TRUE(lines.filter("box: ").isEmpty()) << lines.join('\n').toStdString();
    EXPECT_EQ(ProfileFile::readString(settings(), "-reverse", "active"), "0") << "the first of two parameters selects";
}

// A file saved by an editor that writes a byte-order mark.
TEST_F(ProgramTest, ByteOrderMarkIsSkipped)
{
    writeFile(settings(), "\xEF\xBB\xBF[bom]\r\nname=bom\r\npanel=1\r\navilable=0\r\nactive=1\r\npath=" + temp.path().toUtf8() + "\r\n");
    const QStringList lines = runOnce();
    EXPECT_EQ(lines.filter("Watch bom Started monitoring path: " + temp.path()).size(), 1) << lines.join('\n').toStdString();
}

}  // namespace
