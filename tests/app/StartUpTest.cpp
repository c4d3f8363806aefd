#include "app/CommandLine.h"
#include "ui/FormCreate.h"
#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "notify/TStShellNotification.h"
#include "platform/settings/ProfileFile.h"
#include "support/BoxRecorder.h"
#include "support/RecordingWindow.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"
#include "ui/kit/TCyPanel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Start-up in this process, with the temporary folder pointed at a fresh folder.
class StartUpTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    BoxRecorder boxes;
    QByteArray oldTemp = qgetenv("TEMP");

    void SetUp() override { qputenv("TEMP", temp.path().toUtf8()); }
    void TearDown() override { qputenv("TEMP", oldTemp); }

    QString file() const { return temp.path() + "/VSM25/settings.cfg"; }
    void writeSettings(const QByteArray& content)
    {
        QDir().mkpath(temp.path() + "/VSM25");
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QString key(const QString& s, const QString& k) { return ProfileFile::readString(file(), s, k); }
};

// Start-up removes the copies that saves of a killed copy left beside the settings file, and
// nothing else.
TEST_F(StartUpTest, StartUpClearsWhatKilledSavesLeftAndNothingElse)
{
    writeSettings("[docs]\nname=docs\npanel=1\nactive=0\n");
    const struct {
        const char* name;
        bool removed;
    } files[] = {
        {"settings.cfg.saving-a1B2c3", true},  {"settings.cfg.saving-ZZZZZZ", true},
        {"settings.cfg.backup", false},        {"settings.cfg.saving-a1B2c", false},
        {"settings.cfg.saving-a1B2c3d", false}, {"settings.cfg.saving-a1.2c3", false},
        {"other.cfg.saving-a1B2c3", false},    {".settings.cfg.saving-a1B2c3", false},
    };
    for (const auto& f : files) {
        QFile out(temp.path() + "/VSM25/" + f.name);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("[docs]\nname=do");
    }
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {}));
    for (const auto& f : files)
        EXPECT_EQ(QFile::exists(temp.path() + "/VSM25/" + f.name), !f.removed) << f.name;
    EXPECT_EQ(key("docs", "name"), "docs");
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(StartUpTest, FirstStartCreatesPrivateFolderSampleAndBanner)
{
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {}));
    EXPECT_EQ(SettingsFolder, temp.path() + "/VSM25");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(SettingsFolder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ProfileFile::sectionNames(file()), QStringList{"sample"});
    EXPECT_EQ(form.lbl3->text(), "Watch Name: sample");
    EXPECT_FALSE(WatchSlot(1).Avilable);
    const QStringList lines = form.edt1->lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("Vesmor 2.5 running on computer "));
    EXPECT_TRUE(lines[1].startsWith("Windows Platform: "));
    EXPECT_FALSE(form.tmr1->isActive());
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(StartUpTest, SecondStartLeavesTheFileAlone)
{
    writeSettings("[mine]\nname=mine\npanel=2\navilable=0\nactive=0\npath=/\n");
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {}));
    EXPECT_EQ(ProfileFile::sectionNames(file()), QStringList{"mine"});
    EXPECT_EQ(form.lbl7->text(), "Watch Name: mine");
    EXPECT_EQ(form.lbl3->text(), "Watch Name:");
}

TEST_F(StartUpTest, FolderOthersCanWriteIsRefused)
{
    QDir().mkpath(temp.path() + "/VSM25");
    ::chmod(QFile::encodeName(temp.path() + "/VSM25").constData(), 0777);
    TForm1 form;
    EXPECT_FALSE(FormCreate(form, {}));
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].contains(temp.path() + "/VSM25"));
    EXPECT_FALSE(QFile::exists(file()));
}

TEST_F(StartUpTest, UnwritableFolderShowsTheErrorAndRunsOn)
{
    // Root writes anywhere a mode allows: give it a folder on a file system that takes no files.
    if (::geteuid() == 0) {
        ASSERT_TRUE(QFile::link("/proc/1", temp.path() + "/VSM25"));
    } else {
        QDir().mkpath(temp.path() + "/VSM25");
        ::chmod(QFile::encodeName(temp.path() + "/VSM25").constData(), 0500);
    }
    TForm1 form;
    EXPECT_TRUE(FormCreate(form, {"-m"}, CheckForParameters));
    EXPECT_EQ(boxes.texts(), QStringList{"Unable to write to " + file() + "."});
    // The failed write cuts nothing short: banner, glyphs and the command line all follow.
    EXPECT_TRUE(form.tmr1->isActive());
    EXPECT_EQ(form.edt1->lines().filter(" running on computer ").size(), 1);
    EXPECT_FALSE(form.btn1->icon().isNull());
}

// settings.cfg as the user arranged it: a link of theirs is written through and stays a link; a
// read-only file is not replaced behind their back: the watch the command line selects runs all
// the same, and the live log says it is not stored.
TEST_F(StartUpTest, SettingsFileAsTheUserArrangedIt)
{
    const QByteArray watch = "[docs]\nname=docs\npanel=1\navilable=0\nactive=0\npath=/\nwaitproc=0\n";
    const QString elsewhere = temp.path() + "/synced/vesmor.cfg";
    struct Case {
        const char* what;
        std::function<void()> setUp;
        QString written;  // the file that must hold the activation; empty: nothing may change
    } const cases[] = {
        {"a link of the user's own", [&] {
             QDir().mkpath(temp.path() + "/synced");
             QFile f(elsewhere);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(watch);
             f.close();
             QDir().mkpath(temp.path() + "/VSM25");
             QFile::link(elsewhere, file());
         }, elsewhere},
        {"a read-only file", [&] {
             writeSettings(watch);
             ::chmod(QFile::encodeName(file()).constData(), 0444);
         }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(temp.path()).removeRecursively();
        QDir().mkpath(temp.path());
        c.setUp();
        const QByteArray before = QFileInfo(file()).isSymLink() ? QByteArray() : [&] {
            QFile f(file());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        boxes.clear();
        TForm1 form;
        ASSERT_TRUE(FormCreate(form, {"-all"}, CheckForParameters));
        EXPECT_EQ(form.lbl3->text(), "Watch Name: docs");
        if (c.written.isEmpty()) {
            EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
            EXPECT_TRUE(form.ShNotify1->Active());
            EXPECT_EQ(form.edt1->lines().filter(": Watch docs runs but is not stored as running (Unable to write to " + file() + ")").size(), 1)
                << form.edt1->lines().join('\n').toStdString();
            QFile f(file());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), before);
            EXPECT_EQ(QFileInfo(file()).permissions() & QFile::WriteOwner, 0) << "its mode was changed";
        } else {
            EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
            EXPECT_TRUE(QFileInfo(file()).isSymLink()) << "the link was replaced by a file";
            EXPECT_EQ(ProfileFile::readString(c.written, "docs", "active"), "1");
        }
    }
}

// Every row of the command-line table, on a file with three watches. A name that marks no
// watch is said in one red live-log line; "-all" on any file, and "-m" alone, say nothing.
TEST_F(StartUpTest, CommandLineTable)
{
    const QByteArray three = "[a]\nname=a\npanel=1\nactive=0\n[-ALL]\nname=-ALL\npanel=2\nactive=0\n[m]\nname=-m\npanel=3\nactive=0\n";
    struct Case {
        QStringList params;
        bool minimise;
        const char* activated;  // sections whose active becomes "1"
        bool tooMany;
        const char* unmatched;  // the name the red line gives, if any
    } const cases[] = {
        {{}, false, "", false, nullptr},
        {{"-m"}, true, "", false, nullptr},
        {{"-all"}, false, "a,-ALL,m", false, nullptr},
        {{"-ALL"}, false, "-ALL", false, nullptr},
        {{"a"}, false, "a", false, nullptr},
        {{"A"}, false, "", false, "A"},
        {{"nosuch"}, false, "", false, "nosuch"},
        {{"-all", "-m"}, true, "a,-ALL,m", false, nullptr},
        {{"-all", "x"}, false, "a,-ALL,m", false, nullptr},
        {{"a", "-m"}, true, "a", false, nullptr},
        {{"nosuch", "-m"}, true, "", false, "nosuch"},
        {{"-m", "-all"}, false, "m", false, nullptr},
        {{"a", "-m", "x"}, false, "", true, nullptr},
    };
    SettingsFolder = temp.path() + "/VSM25";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.join(' ').toStdString());
        writeSettings(three);
        boxes.clear();
        RecordingWindow window;
        EXPECT_EQ(CheckForParameters(window, c.params), c.minimise);
        const QStringList on = QString::fromLatin1(c.activated).split(',', Qt::SkipEmptyParts);
        for (const QString& s : {QString("a"), QString("-ALL"), QString("m")})
            EXPECT_EQ(key(s, "active"), on.contains(s) ? "1" : "0") << s.toStdString();
        EXPECT_EQ(boxes.texts(), c.tooMany ? QStringList{"Too many parameters"} : QStringList{});
        if (c.unmatched) {
            ASSERT_EQ(window.lines.size(), 1);
            EXPECT_EQ(window.lines[0].colour, LiveLogColour::Red);
            EXPECT_TRUE(window.lines[0].text.endsWith(QStringLiteral(": no watch named ") + c.unmatched))
                << window.lines[0].text.toStdString();
        } else {
            EXPECT_TRUE(window.lines.isEmpty()) << window.lines.value(0).text.toStdString();
        }
    }
    // "-all" on a file without a section marks nothing and names nothing.
    writeSettings("");
    RecordingWindow window;
    CheckForParameters(window, {"-all"});
    EXPECT_TRUE(window.lines.isEmpty());
}

TEST_F(StartUpTest, MinimiseFlagStartsTheTimerEvenWithNoSection)
{
    writeSettings("");
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {"nosuch", "-m"}, CheckForParameters));
    EXPECT_TRUE(form.tmr1->isActive());
    EXPECT_EQ(form.tmr1->interval(), 1000);
    EXPECT_TRUE(form.tmr1->isSingleShot());
}

// An unplugged drive at start-up: its watch is shown stopped on the window, the other watch
// runs, and "-m" still hides the window.
TEST_F(StartUpTest, VanishedFolderStillMinimisesAndShowsWhatRuns)
{
    QTemporaryDir watched;
    const QString gone = temp.path() + "/gone";
    writeSettings(("[g]\nname=g\npath=" + gone + "\npanel=1\nactive=1\navilable=0\n[ok]\nname=ok\npath=" + watched.path() +
                   "\npanel=2\nactive=1\navilable=0\n").toUtf8());
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {"-m"}, CheckForParameters));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(form.tmr1->isActive());
    EXPECT_FALSE(form.ShNotify1->Active());
    EXPECT_EQ(form.btn1->text(), "Start");
    EXPECT_TRUE(form.btn8->isEnabled());
    EXPECT_EQ(form.cypnl1->Degrade().FromColor(), QColor(255, 255, 255));
    EXPECT_EQ(form.lbl3->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(form.ShNotify2->Active());
    EXPECT_EQ(form.btn17->text(), "Stop");
    EXPECT_EQ(form.cypnl2->Degrade().FromColor(), QColor(0, 0, 128));
    EXPECT_EQ(form.edt1->lines().filter(": Watch g Cannot monitor path: " + gone + " (Invalid folder)").size(), 1);
}

TEST_F(StartUpTest, TooManyParametersStillStartsStoredWatchesButDoesNotMinimise)
{
    writeSettings("");
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {"a", "b", "-m"}, CheckForParameters));
    EXPECT_EQ(boxes.texts(), QStringList{"Too many parameters"});
    EXPECT_FALSE(form.tmr1->isActive());
}

}  // namespace
