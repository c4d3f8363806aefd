// What the window says is what runs, with the settings file as a new user may have it: hand
// edited, read-only, shared by two copies of the program, left in the cache folder by an earlier
// version, or not a folder at all. Against the real program, started as a user would.
#include "ui/FormCreate.h"
#include "core/WatchSlots.h"
#include "core/WatchStartStop.h"
#include "platform/settings/ProfileFile.h"
#include "support/BoxRecorder.h"
#include "support/FileBytes.h"
#include "support/ProgramRun.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class SettingsTruthProgramTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString settings() const { return temp.path() + "/VSM25/settings.cfg"; }
    QString folder(const QString& name) const
    {
        QDir().mkpath(temp.path() + u'/' + name);
        return temp.path() + u'/' + name;
    }
    static QString all(ProgramRun& run) { return run.lines().join('\n'); }
};

// A read-only settings file: the watch stored as running starts without a word, the one the
// command line selects starts too (and says it is not stored), the loader's tidying write fails
// without cutting start-up short, and no box interrupts.
TEST_F(SettingsTruthProgramTest, ReadOnlySettingsFileAtStartUp)
{
    const QString a = folder("a"), b = folder("b");
    writeFile(settings(), "[a]\nname=a\npanel=1\navilable=0\nactive=1\nfcreate=1\narguments=0\nwaitproc=1\npath=" + a.toUtf8() +
                              "\n[b]\nname=b\npanel=2\navilable=0\nactive=0\nfcreate=1\npath=" + b.toUtf8() +
                              "\n[odd]\nname=odd\npanel=9\n");
    ASSERT_TRUE(QFile(settings()).setPermissions(QFileDevice::ReadOwner));
    const QByteArray before = readFile(settings());
    ProgramRun run(temp.path(), {"-all", "-m"});
    ASSERT_TRUE(run.waitForLine("Watch a Started monitoring path: " + a, 30000)) << all(run).toStdString();
    ASSERT_TRUE(run.waitForLine("Watch b Started monitoring path: " + b, 30000)) << all(run).toStdString();
    writeFile(a + "/1.txt", "x");
    writeFile(b + "/2.txt", "x");
    EXPECT_TRUE(run.waitForLine(": a: File create event, file name: " + a + "/1.txt", 10000)) << all(run).toStdString();
    EXPECT_TRUE(run.waitForLine(": b: File create event, file name: " + b + "/2.txt", 10000)) << all(run).toStdString();
    EXPECT_EQ(run.terminate(), 0);
    const QStringList lines = run.lines();
    EXPECT_TRUE(lines.filter("box: ").isEmpty()) << all(run).toStdString();
    EXPECT_TRUE(lines.filter("Cannot monitor").isEmpty()) << all(run).toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^live-log: #ff0000 .*: Unable to write to " + QRegularExpression::escape(settings()) +
                                              ": waitproc of watch a, b stays as stored"))
                  .size(),
              1)
        << all(run).toStdString();
    EXPECT_EQ(lines.filter(QRegularExpression("^live-log: #ff0000 .*: Watch b runs but is not stored as running \\(Unable to write to "))
                  .size(),
              1)
        << all(run).toStdString();
    EXPECT_TRUE(lines.filter("Watch a runs but").isEmpty()) << "a was stored as running: nothing to store";
    // The banner first, then what the load says.
    const qsizetype banner = lines.indexOf(QRegularExpression("^live-log: #000000 Windows Platform: .*"));
    const qsizetype notLoaded = lines.indexOf(QRegularExpression("^live-log: #ff0000 .*Watch odd not loaded: .*"));
    ASSERT_GE(banner, 0);
    ASSERT_GE(notLoaded, 0) << all(run).toStdString();
    EXPECT_LT(banner, notLoaded);
    EXPECT_EQ(readFile(settings()), before);
}

// A plain file, or nothing that can hold it, in the settings folder's place: no program that
// keeps no watches, but a clear box and exit code 1.
TEST_F(SettingsTruthProgramTest, SettingsFolderThatCantBeMadeIsRefused)
{
    struct Case {
        const char* what;
        QString tempFolder;
        const char* reason;
    } const cases[] = {
        {"a file in its place", temp.path(), "something that is not a folder is in its place"},
        {"TEMP names nothing", temp.path() + "/missing", "the folder it belongs in does not exist"},
    };
    writeFile(temp.path() + "/VSM25", "not a folder");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramRun run(c.tempFolder);
        EXPECT_EQ(run.waitForExit(30000), 1) << all(run).toStdString();
        EXPECT_EQ(run.lines().filter("box: error: The settings folder " + c.tempFolder + "/VSM25 can't be made (" + c.reason +
                                     "); Vesmor can't keep its watches without it.")
                      .size(),
                  1)
            << all(run).toStdString();
        EXPECT_TRUE(run.lines().filter("live-log: ").isEmpty());
    }
    EXPECT_EQ(readFile(temp.path() + "/VSM25"), "not a folder");
}

// A watch whose name holds a byte that is not UTF-8 (a Latin-1 name typed into the file) loads
// and can be picked on the command line, byte for byte.
TEST_F(SettingsTruthProgramTest, NonUtf8WatchNameCanBePickedOnTheCommandLine)
{
    const QString d = folder("latin");
    writeFile(settings(), "[caf\xe9]\nname=caf\xe9\npanel=1\navilable=0\nactive=0\npath=" + d.toUtf8() + "\n");
    // The name goes in as its bytes, as a shell would hand them over.
    const QStringList launcher = {"sh", "-c", "exec \"$1\" \"$(printf 'caf\\351')\"", "sh"};
    ProgramRun run(temp.path(), {}, QString(), launcher);
    ASSERT_TRUE(run.waitForLine(" Started monitoring path: " + d, 30000)) << all(run).toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_TRUE(run.lines().filter(" not loaded: ").isEmpty()) << all(run).toStdString();
    const QByteArray after = readFile(settings());
    EXPECT_TRUE(after.startsWith("[caf\xe9]\nname=caf\xe9\n")) << after.toStdString();
    EXPECT_TRUE(after.contains("\nactive=1\n")) << after.toStdString();
}

// Without TEMP and TMP the settings live in ~/.config/VSM25; a file an earlier version left in
// ~/.cache/VSM25 (which cache cleaners empty) is moved there once, with a blue line, and its
// watches load and start from there.
TEST_F(SettingsTruthProgramTest, SettingsInTheCacheFolderAreMovedOnce)
{
    const QString home = temp.path() + "/home";
    const QString d = folder("kept");
    const QString former = home + "/.cache/VSM25/settings.cfg", moved = home + "/.config/VSM25/settings.cfg";
    const QByteArray content = "[kept]\nname=kept\npanel=2\navilable=0\nactive=1\npath=" + d.toUtf8() + "\n";
    writeFile(former, content);
    ::chmod(QFile::encodeName(home + "/.cache/VSM25").constData(), 0700);
    const QStringList launcher = {"env", "-u", "TEMP", "-u", "TMP", "-u", "XDG_CONFIG_HOME", "-u", "XDG_CACHE_HOME", "HOME=" + home};
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        ProgramRun run(temp.path(), {}, QString(), launcher);
        ASSERT_TRUE(run.waitForLine("Watch kept Started monitoring path: " + d, 30000)) << all(run).toStdString();
        EXPECT_EQ(run.terminate(), 0);
        const QStringList blue = run.lines().filter("Settings moved from ");
        if (start == 1) {
            ASSERT_EQ(blue.size(), 1) << all(run).toStdString();
            EXPECT_TRUE(blue[0].startsWith("live-log: #0000ff "));
            EXPECT_TRUE(blue[0].endsWith(": Settings moved from " + former + " to " + moved +
                                         ", where cache cleaners leave them alone"));
            EXPECT_GT(run.lines().indexOf(blue[0]), run.lines().indexOf(QRegularExpression("^live-log: #000000 Windows Platform: .*")));
        } else {
            EXPECT_TRUE(blue.isEmpty()) << "moved twice";
        }
        EXPECT_TRUE(run.lines().filter("box: ").isEmpty()) << all(run).toStdString();
        EXPECT_TRUE(readFile(moved).startsWith(content)) << readFile(moved).toStdString();
        EXPECT_FALSE(QFileInfo::exists(former));
    }
}

// The other copy of SlotsOfTwoCopies: the real window in a program at another path, storing one
// watch through the editor.
TEST(SettingsTruthChild, StoresOneWatch)
{
    if (qEnvironmentVariable("VESMOR_STORE_CHILD").isEmpty()) GTEST_SKIP() << "runs as a child of SlotsOfTwoCopies";
    BoxRecorder boxes;
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {}));
    form.SelectFolderInTree(qEnvironmentVariable("VESMOR_STORE_FOLDER"));
    form.edt4->setText(qEnvironmentVariable("VESMOR_STORE_CHILD"));
    form.btn3->click();
    ASSERT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

// Two copies at different paths, each storing a new watch over one settings file, one of whose
// sections was written by hand without `avilable`: every watch gets a slot of its own, every
// one is loaded, shown and started by the real program afterwards.
TEST_F(SettingsTruthProgramTest, SlotsOfTwoCopies)
{
    const QString d = folder("both");
    writeFile(settings(), "[hand]\nname=hand\npanel=1\nactive=0\npath=" + d.toUtf8() + "\n");
    const QByteArray oldTemp = qgetenv("TEMP");
    qputenv("TEMP", temp.path().toUtf8());
    {
        BoxRecorder boxes;
        TForm1 form;
        ASSERT_TRUE(FormCreate(form, {}));
        EXPECT_FALSE(WatchSlot(1).Avilable) << "a watch on its panel occupies its slot, whatever avilable says";

        // The other copy, at another path, stores its watch after this one loaded the list.
        QTemporaryDir other;
        const QString copy = other.filePath("vesmor-tests-copy");
        ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QFile(copy).setPermissions(QFile(QCoreApplication::applicationFilePath()).permissions());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VESMOR_STORE_CHILD", "theirs");
        env.insert("VESMOR_STORE_FOLDER", d);
        env.insert("TEMP", temp.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.start(copy, {"--gtest_filter=SettingsTruthChild.StoresOneWatch"});
        ASSERT_TRUE(child.waitForFinished(60000));
        ASSERT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
        EXPECT_EQ(ProfileFile::readString(settings(), "theirs", "panel"), "2");

        form.SelectFolderInTree(d);
        form.edt4->setText("mine");
        form.btn3->click();
        EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
        EXPECT_EQ(ProfileFile::readString(settings(), "mine", "panel"), "3");
        EXPECT_TRUE(form.edt1->lines().filter(" not loaded: ").isEmpty()) << form.edt1->lines().join('\n').toStdString();
        EXPECT_EQ(form.lbl11->text(), "Watch Name: mine");
    }
    qputenv("TEMP", oldTemp);

    ProgramRun run(temp.path(), {"-all"});
    for (const char* name : {"hand", "theirs", "mine"})
        EXPECT_TRUE(run.waitForLine(QStringLiteral("Watch %1 Started monitoring path: ").arg(QLatin1String(name)) + d, 30000))
            << all(run).toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_TRUE(run.lines().filter(" not loaded: ").isEmpty()) << all(run).toStdString();
}

}  // namespace

namespace {

// A section that is refused at load (a repeat of a name in another letter case) still holds its
// slot in the file: a new watch takes the lowest slot no section holds, and with all four held
// the list is full.
TEST_F(SettingsTruthProgramTest, NewWatchSkipsSlotsOfSectionsNotLoaded)
{
    struct Case {
        QByteArray file;
        QString panel;  // of the new watch; empty: the list is full
    };
    const QString d = folder("dup");
    const QByteArray p = "path=" + d.toUtf8() + "\n";
    const Case cases[] = {
        {"[H]\nname=H\npanel=1\n" + p + "[h]\nname=h\npanel=2\n" + p, "3"},
        {"[h]\nname=h\npanel=2\n" + p + "[H]\nname=H\npanel=1\n" + p, "3"},
        {"[H]\nname=H\npanel=1\n" + p + "[h]\nname=h\npanel=2\n" + p + "[x]\nname=x\npanel=3\n" + p + "[X]\nname=X\npanel=4\n" + p, ""},
    };
    const QByteArray oldTemp = qgetenv("TEMP");
    qputenv("TEMP", temp.path().toUtf8());
    for (const Case& c : cases) {
        writeFile(settings(), c.file);
        BoxRecorder boxes;
        TForm1 form;
        ASSERT_TRUE(FormCreate(form, {}));
        form.SelectFolderInTree(d);
        form.edt4->setText("fresh");
        form.btn3->click();
        EXPECT_EQ(ProfileFile::readString(settings(), "fresh", "panel"), c.panel) << c.file.toStdString();
        if (c.panel.isEmpty())
            EXPECT_EQ(boxes.texts(), QStringList{"Watch list is full, delete a watch first"}) << c.file.toStdString();
        else
            EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
        EXPECT_TRUE(form.edt1->lines().filter("Watch fresh not loaded").isEmpty()) << form.edt1->lines().join('\n').toStdString();
    }
    qputenv("TEMP", oldTemp);
}

}  // namespace

namespace {

// An `argindex` that is no number keeps its section from loading, named in a red line, whether
// the arguments are on or off; nothing is written into the refused section.
TEST_F(SettingsTruthProgramTest, ArgIndexThatIsNoNumberIsNotLoaded)
{
    const QString d = folder("args");
    for (const char* arguments : {"0", "1"}) {
        const QByteArray content = "[A]\nname=A\npanel=1\npath=" + d.toUtf8() + "\narguments=" + arguments +
                                   "\nargindex=abc\nwaitproc=1\n[B]\nname=B\npanel=2\nwaitproc=0\npath=" + d.toUtf8() + "\n";
        writeFile(settings(), content);
        ProgramRun run(temp.path());
        EXPECT_TRUE(run.waitForLine("Watch A not loaded: 'abc' is not a valid integer value")) << all(run).toStdString();
        EXPECT_EQ(run.terminate(), 0);
        EXPECT_EQ(readFile(settings()).toStdString(), content.toStdString()) << "arguments=" << arguments;
        EXPECT_TRUE(run.lines().filter("Watch B not loaded").isEmpty()) << all(run).toStdString();
    }
}

}  // namespace

namespace {

// Another copy removed watch Z, shown here on panel 1, and stored watch W there instead: Start
// and Edit on that panel start and edit nothing, say in red that Z is no longer stored, and the
// panels then show what the file holds. A running watch keeps its panel through the reload.
TEST_F(SettingsTruthProgramTest, StartOrEditOfAWatchRemovedByAnotherCopy)
{
    const QString d = folder("gone");
    const QByteArray p = "path=" + d.toUtf8() + "\n";
    const QByteArray oldTemp = qgetenv("TEMP");
    qputenv("TEMP", temp.path().toUtf8());
    for (const bool edit : {false, true}) {
        writeFile(settings(), "[Z]\nname=Z\npanel=1\nactive=0\n" + p + "[Y]\nname=Y\npanel=2\nactive=1\n" + p);
        BoxRecorder boxes;
        TForm1 form;
        ASSERT_TRUE(FormCreate(form, {}));
        CheckForAutoRuns(form);
        ASSERT_TRUE(form.ShNotify2->Active());
        ASSERT_EQ(form.lbl3->text(), "Watch Name: Z");

        // The other copy's doing.
        writeFile(settings(), "[Y]\nname=Y\npanel=2\nactive=1\n" + p + "[W]\nname=W\npanel=1\nactive=0\n" + p);
        (edit ? form.btn8 : form.btn1)->click();

        const QStringList red = form.edt1->lines().filter("Watch Z is no longer stored in " + settings());
        EXPECT_EQ(red.size(), 1) << form.edt1->lines().join('\n').toStdString();
        EXPECT_FALSE(form.ShNotify1->Active());
        EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
        EXPECT_EQ(form.lbl3->text(), "Watch Name: W");
        EXPECT_EQ(form.lbl7->text(), "Watch Name: Y");
        EXPECT_TRUE(form.ShNotify2->Active()) << "the running watch keeps running";
        EXPECT_EQ(form.btn17->text(), "Stop");
        EXPECT_EQ(form.edt4->text(), "") << "nothing was loaded into the editor";
        EXPECT_EQ(ProfileFile::readString(settings(), "W", "active"), "0");
        EXPECT_FALSE(ProfileFile::sectionExists(settings(), "Z"));

        form.btn17->click();  // Stop on the running watch still names it
        EXPECT_FALSE(form.ShNotify2->Active());
        EXPECT_EQ(form.edt1->lines().filter("Watch Y Stoped monitoring path: ").size(), 1) << form.edt1->lines().join('\n').toStdString();
    }
    qputenv("TEMP", oldTemp);
}

}  // namespace
