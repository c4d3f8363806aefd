#include "ui/FormCreate.h"
#include "support/FileBytes.h"
#include "core/WatchSlots.h"
#include "notify/TStShellNotification.h"
#include "platform/settings/ProfileFile.h"
#include "support/BoxRecorder.h"
#include "support/ProgramRun.h"
#include "support/QtPrinters.h"
#include "ui/frmMain.h"
#include "ui/kit/TFilenameEdit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

#include <sys/prctl.h>

#include <csignal>

namespace {

using Keys = QList<QPair<QString, QString>>;

// ---------------------------------------------------------------------------------------------
// The settings file while the program is killed at random moments.

// The folders and watches of the kill rounds. Two watches are stored before the first round and
// never removed; the third is defined, started, stopped, edited and removed over and over.
struct KillScene {
    QString root;
    QString folder(const char* name) const { return root + u'/' + QLatin1String(name); }
    QString settingsFolder() const { return root + QStringLiteral("/VSM25"); }
    QString settings() const { return settingsFolder() + QStringLiteral("/settings.cfg"); }
    QString cycleLog() const { return folder("logs") + QStringLiteral("/cycle.log"); }

    // A watch as the editor stores it: every key, in the order the editor writes them.
    static Keys watch(const QString& name, const QString& path, int panel, bool active, bool sub, bool fdelete,
                      const QString& logFile)
    {
        const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
        Keys k = {{"name", name},      {"path", path},          {"panel", QString::number(panel)},
                  {"active", flag(active)}, {"avilable", "0"},    {"sub", flag(sub)},
                  {"fcreate", "1"},    {"fdelete", flag(fdelete)}, {"fchange", "0"},
                  {"frename", "0"},    {"asso", "0"},           {"space", "0"},
                  {"dcreate", "0"},    {"ddelete", "0"},        {"drename", "0"},
                  {"dchange", "0"},    {"minsert", "0"},        {"mremove", "0"},
                  {"runprog", "0"},    {"arguments", "0"},      {"waitproc", "0"},
                  {"writelog", flag(!logFile.isEmpty())}};
        if (!logFile.isEmpty()) k << Keys{{"logfile", logFile}};
        k << Keys{{"popup", "0"}, {"desktop", "0"}};
        return k;
    }
    Keys keep(int n, bool active) const
    {
        return watch(QStringLiteral("keep%1").arg(n), folder(n == 1 ? "k1" : "k2"), n, active, false, false, QString());
    }
    // The cycling watch as first defined (A) and as edited (B).
    Keys cycleA(bool active) const { return watch("cycle", folder("a"), 3, active, true, false, cycleLog()); }
    Keys cycleB(bool active) const { return watch("cycle", folder("b"), 3, active, false, true, cycleLog()); }

    // Every state a section was ever written in.
    std::map<QString, QList<Keys>> states() const
    {
        return {{"keep1", {keep(1, false), keep(1, true)}},
                {"keep2", {keep(2, false), keep(2, true)}},
                {"cycle", {cycleA(false), cycleA(true), cycleB(false), cycleB(true)}}};
    }

    void create() const
    {
        for (const char* f : {"k1", "k2", "a", "b", "logs"}) QDir().mkpath(folder(f));
        QDir().mkpath(folder("a") + QStringLiteral("/inner"));
        QDir().mkpath(settingsFolder());
        QFile::setPermissions(settingsFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        ProfileFile::replaceSection(settings(), "keep1", keep(1, true));
        ProfileFile::replaceSection(settings(), "keep2", keep(2, false));
    }
};

// The file as its lines say, strictly: every line a section header or a key line (blank lines
// aside), the last one ended, no section twice.
struct StrictIni {
    QList<QPair<QString, Keys>> sections;
    QString fault;
};

StrictIni parseStrictly(const QByteArray& content)
{
    StrictIni ini;
    if (content.isEmpty()) {
        ini.fault = "the file is empty";
        return ini;
    }
    if (!content.endsWith('\n')) {
        ini.fault = "the last line is cut off";
        return ini;
    }
    QStringList seen;
    const QList<QByteArray> lines = content.left(content.size() - 1).split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line.isEmpty()) continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QString name = line.mid(1, line.size() - 2);
            if (name.isEmpty() || seen.contains(name, Qt::CaseInsensitive)) {
                ini.fault = "section header " + line;
                return ini;
            }
            seen << name;
            ini.sections.append({name, {}});
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || ini.sections.isEmpty()) {
            ini.fault = "stray line " + line;
            return ini;
        }
        ini.sections.last().second.append({line.left(eq), line.mid(eq + 1)});
    }
    return ini;
}

QString describe(const Keys& keys)
{
    QStringList s;
    for (const auto& [k, v] : keys) s << k + u'=' + v;
    return s.join(u' ');
}

// Empty when the file is whole and every section one of the states ever written; else what is
// wrong.
QString settingsFault(const KillScene& scene)
{
    const QByteArray content = readFile(scene.settings());
    if (!QFileInfo::exists(scene.settings())) return "the settings file is gone";
    const StrictIni ini = parseStrictly(content);
    if (!ini.fault.isEmpty()) return ini.fault + "\n" + QString::fromUtf8(content);
    const auto states = scene.states();
    QStringList names;
    for (const auto& [name, keys] : ini.sections) {
        names << name;
        const auto known = states.find(name);
        if (known == states.end()) return "a section never written: " + name;
        if (!known->second.contains(keys)) return "section " + name + " in a state never written: " + describe(keys);
        // The program's own reader sees the same.
        for (const auto& [k, v] : keys)
            if (ProfileFile::readString(scene.settings(), name, k) != v) return "the reader disagrees on " + name + "." + k;
    }
    if (ProfileFile::sectionNames(scene.settings()) != names) return "the reader lists other sections";
    for (const char* kept : {"keep1", "keep2"})
        if (!names.contains(QLatin1String(kept))) return QStringLiteral("the stored watch %1 was lost").arg(QLatin1String(kept));
    return {};
}

// What a killed write can leave beside the settings file: its unfinished temporary copy.
QStringList leftovers(const KillScene& scene)
{
    QStringList l = QDir(scene.settingsFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    l.removeAll(QStringLiteral("settings.cfg"));
    l.removeAll(QStringLiteral("settings.cfg.lock"));  // the writers' lock stays; it holds no settings
    return l;
}

void tell(const char* line)
{
    std::fprintf(stdout, "editor-loop: %s\n", line);
    std::fflush(stdout);
}

// The child of KilledProgramLeavesTheSettingsWhole: the real window on the scene's settings,
// taken through the user's path over and over until it is killed.
TEST(ProgramFaultTest, EditorLoopChild)
{
    if (qEnvironmentVariable("VESMOR_EDITOR_LOOP_CHILD") != "1") GTEST_SKIP() << "runs as a child of the kill test";
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    KillScene scene{qEnvironmentVariable("TEMP")};
    BoxRecorder boxes;
    TForm1 form;
    ASSERT_TRUE(FormCreate(form, {}));
    ASSERT_TRUE(boxes.texts().isEmpty()) << "start-up boxes: " << boxes.texts().join('|').toStdString();
    tell("ready");

    // Anything unexpected ends the child at once; the parent reports what it said.
    auto fail = [](const QString& what) {
        std::fprintf(stdout, "editor-loop: fault: %s\n", qPrintable(what));
        std::fflush(stdout);
        std::_Exit(2);
    };
    auto press = [&](QPushButton* button) {
        if (!button->isEnabled()) fail("disabled button " + button->text());
        button->click();
        for (const auto& b : boxes.boxes())
            if (b.kind != ModalBoxes::Kind::Confirmation) fail("unexpected box: " + b.text);
        boxes.clear();
    };
    // A cycle watch left by the last kill: stopped and removed first.
    if (!WatchSlot(3).Name.isEmpty()) {
        if (WatchSlot(3).Monitor->Active()) press(form.btn9);
        press(form.btn24);
    }
    const QDeadlineTimer deadline(120000);  // never outlive a lost parent for long
    for (int round = 0; !deadline.hasExpired(); ++round) {
        if (!WatchSlot(3).Name.isEmpty()) fail("slot 3 still holds " + WatchSlot(3).Name);
        form.pgc1->setCurrentWidget(form.ts3);
        form.SelectFolderInTree(scene.folder("a"));
        form.chk1->setChecked(true);
        form.chk2->setChecked(true);
        form.chk17->setChecked(true);
        form.edt3->setText(scene.cycleLog());
        form.edt4->setText("cycle");
        press(form.btn3);
        if (WatchSlot(3).Name != "cycle") fail("the new watch is not in slot 3");
        press(form.btn9);
        if (!WatchSlot(3).Monitor->Active()) fail("the new watch did not start");
        press(form.btn1);
        press(form.btn9);
        press(form.btn19);
        form.SelectFolderInTree(scene.folder("b"));
        form.chk1->setChecked(false);
        form.chk3->setChecked(true);
        press(form.btn3);
        press(form.btn9);
        press(form.btn17);
        press(form.btn9);
        if (WatchSlot(3).Monitor->Active()) fail("the edited watch did not stop");
        press(form.btn24);
        tell("round");
    }
}

enum class Killed { InTheEditorLoop, AnywhereInTheWindow, RealProgram };

// The program (the real binary, or the real window code in a child) stores and starts watches
// and is killed with SIGKILL at a random moment, round after round over one settings folder.
// After every kill the settings file is whole, each section is one of the states ever written,
// no stored watch is lost, and the next start clears what the killed write left behind. A
// fresh start of the real program over the last file loads it without a box.
TEST(ProgramFaultTest, KilledProgramLeavesTheSettingsWhole)
{
    const quint32 seed = qEnvironmentVariableIsSet("VESMOR_KILL_SEED") ? quint32(qEnvironmentVariableIntValue("VESMOR_KILL_SEED"))
                                                                       : QRandomGenerator::global()->generate();
    const int rounds = qEnvironmentVariableIsSet("VESMOR_KILL_ROUNDS") ? qEnvironmentVariableIntValue("VESMOR_KILL_ROUNDS") : 45;
    SCOPED_TRACE(("VESMOR_KILL_SEED=" + QString::number(seed)).toStdString());
    QRandomGenerator random(seed);
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const KillScene scene{temp.path()};
    scene.create();
    ASSERT_EQ(settingsFault(scene), QString());

    const QStringList arguments[] = {{}, {"keep2"}, {"-all"}, {"keep1", "-m"}};
    qint64 windowReadyMs = 1000, programReadyMs = 1000;
    int editorRounds = 0, killedWhileLoaded = 0;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(QStringLiteral("round %1").arg(round).toStdString());
        const QStringList before = leftovers(scene);
        const Killed how = Killed(round % 3);
        QElapsedTimer started;
        started.start();
        bool loaded = false;  // the start-up had finished when the kill came
        if (how == Killed::RealProgram) {
            const QStringList& args = arguments[(round / 3) % std::size(arguments)];
            ProgramRun run(temp.path(), args);
            const bool waitForStart = (round / 3) % 2 == 0;
            if (waitForStart) {
                ASSERT_TRUE(run.waitForLine("live-log: #000000 Windows Platform: ", 30000)) << run.lines().join('\n').toStdString();
                programReadyMs = qMax(programReadyMs, started.elapsed());
                loaded = true;
                QThread::msleep(random.bounded(200));
            } else {
                QThread::msleep(random.bounded(int(programReadyMs * 13 / 10)));
            }
            ASSERT_EQ(run.process().state(), QProcess::Running) << run.lines().join('\n').toStdString();
            run.kill();
            EXPECT_TRUE(run.lines().filter("box: ").isEmpty()) << run.lines().join('\n').toStdString();
        } else {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("VESMOR_EDITOR_LOOP_CHILD", "1");
            env.insert("TEMP", temp.path());
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ProgramFaultTest.EditorLoopChild"});
            ASSERT_TRUE(child.waitForStarted(10000));
            QByteArray out;
            if (how == Killed::InTheEditorLoop) {
                while (!out.contains("editor-loop: ready") && child.state() == QProcess::Running && started.elapsed() < 30000) {
                    child.waitForReadyRead(100);
                    out += child.readAll();
                }
                ASSERT_TRUE(out.contains("editor-loop: ready")) << out.toStdString();
                windowReadyMs = qMax(windowReadyMs, started.elapsed());
                loaded = true;
                QThread::msleep(random.bounded(300));
            } else {
                QThread::msleep(random.bounded(int(windowReadyMs * 13 / 10)));
            }
            out += child.readAll();
            ASSERT_EQ(child.state(), QProcess::Running) << "the window stopped by itself:\n" << out.toStdString();
            child.kill();
            ASSERT_TRUE(child.waitForFinished(10000));
            out += child.readAll();
            editorRounds += int(out.count("editor-loop: round"));
        }
        const QString fault = settingsFault(scene);
        ASSERT_EQ(fault, QString()) << "after " << started.elapsed() << " ms";
        const QStringList after = leftovers(scene);
        static const QRegularExpression temporaryCopy(QStringLiteral("^settings\\.cfg\\.saving-[A-Za-z0-9]{6}$"));
        for (const QString& name : after) ASSERT_TRUE(temporaryCopy.match(name).hasMatch()) << name.toStdString();
        if (loaded) {
            ++killedWhileLoaded;
            // The start-up cleared the copies earlier kills left; only this round's kill may add one.
            for (const QString& name : before) EXPECT_FALSE(after.contains(name)) << "left over from an earlier kill: " << name.toStdString();
            EXPECT_LE(after.size(), 1) << after.join(' ').toStdString();
        }
    }
    const qint64 killMs = clock.elapsed();

    // A fresh start over the last file: every watch stored as running starts, and no box.
    QStringList running;
    for (const QString& s : ProfileFile::sectionNames(scene.settings()))
        if (ProfileFile::readString(scene.settings(), s, "active") == "1") running << s;
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("live-log: #000000 Windows Platform: ", 30000)) << run.lines().join('\n').toStdString();
    for (const QString& name : running)
        EXPECT_TRUE(run.waitForLine("Watch " + name + " Started monitoring path: ", 10000)) << run.lines().join('\n').toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_TRUE(run.lines().filter("box: ").isEmpty()) << run.lines().join('\n').toStdString();
    EXPECT_EQ(settingsFault(scene), QString());
    EXPECT_TRUE(leftovers(scene).isEmpty()) << leftovers(scene).join(' ').toStdString();
    std::printf("%d kill rounds in %lld ms (%d loaded, %d editor loops completed), seed %u\n", rounds, killMs,
                killedWhileLoaded, editorRounds, seed);
}

// ---------------------------------------------------------------------------------------------
// The system's limit on inotify watches reached by one watch.

// Two watches stored as running, in a user namespace whose watch limit the big tree exceeds:
// the big watch tells the limit once, in a red live-log line that names it; its top folder and
// the small watch go on reporting to the live log and their log files; SIGTERM ends it cleanly.
TEST(ProgramFaultTest, WatchLimitIsToldOnceAndTheRestKeepsWorking)
{
    if (QStandardPaths::findExecutable("unshare").isEmpty()) GTEST_SKIP() << "no unshare here";
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString small = temp.path() + "/small", big = temp.path() + "/big";
    const QString smallLog = temp.path() + "/logs/small.log", bigLog = temp.path() + "/logs/big.log";
    ASSERT_TRUE(QDir().mkpath(small));
    ASSERT_TRUE(QDir().mkpath(temp.path() + "/logs"));
    constexpr int Limit = 20;
    for (int i = 0; i < 3 * Limit; ++i) ASSERT_TRUE(QDir().mkpath(big + QStringLiteral("/d%1/e").arg(i)));
    QByteArray settings;
    for (const auto& [name, folder, log, sub] : {std::tuple{"small", small, smallLog, "0"}, std::tuple{"big", big, bigLog, "1"}})
        settings += "[" + QByteArray(name) + "]\nname=" + name + "\npath=" + folder.toUtf8() + "\npanel=" +
                    (QByteArray(name) == "small" ? "1" : "2") + "\nactive=1\navilable=0\nsub=" + sub +
                    "\nfcreate=1\nwritelog=1\nlogfile=" + log.toUtf8() + "\n";
    writeFile(temp.path() + "/VSM25/settings.cfg", settings);

    ProgramRun run(temp.path(), {}, {}, ProgramRun::watchLimitLauncher(Limit));
    const bool started = run.waitForLine("live-log: #000000 Windows Platform: ", 30000);
    if (!started && run.process().state() == QProcess::NotRunning &&
        (run.process().exitCode() == ProgramRun::NoNamespaceExit || !run.lines().filter("unshare").isEmpty()))
        GTEST_SKIP() << "user namespaces are refused here: " << run.lines().join('\n').toStdString();
    ASSERT_TRUE(started) << run.lines().join('\n').toStdString();
    for (const char* name : {"small", "big"})
        ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch %1 Started monitoring path: ").arg(QLatin1String(name)))) << run.lines().join('\n').toStdString();
    const QString limitText = ": big: The system's limit on watched folders has been reached";
    ASSERT_TRUE(run.waitForLine(limitText)) << run.lines().join('\n').toStdString();

    // The folders that are watched still report, to the live log and to the log files.
    struct Created {
        QString file, log;
    };
    const Created created[] = {{small + "/s.txt", smallLog}, {big + "/top.txt", bigLog}};
    for (const Created& c : created) writeFile(c.file, "x");
    for (const Created& c : created) {
        const QString event = ": File create event, file name: " + c.file;
        EXPECT_TRUE(run.waitForLine(event)) << run.lines().join('\n').toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(c.log).contains(event.toUtf8() + "\r\n"); }, 10000))
            << c.log.toStdString() << ":\n" << readFile(c.log).toStdString();
    }
    // More folders that can't be watched are not told again.
    ASSERT_TRUE(QDir().mkpath(big + "/more/x/y"));
    writeFile(big + "/top2.txt", "x");
    EXPECT_TRUE(run.waitForLine(": big: File create event, file name: " + big + "/top2.txt")) << run.lines().join('\n').toStdString();
    writeFile(small + "/s2.txt", "x");
    EXPECT_TRUE(run.waitForLine(": small: File create event, file name: " + small + "/s2.txt")) << run.lines().join('\n').toStdString();

    EXPECT_EQ(run.terminate(), 0);
    const QStringList lines = run.lines();
    const QStringList told = lines.filter("limit on watched folders");
    ASSERT_EQ(told.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(told.first().startsWith("live-log: #ff0000 ")) << told.first().toStdString();
    EXPECT_TRUE(told.first().contains(limitText)) << told.first().toStdString();
    EXPECT_TRUE(told.first().contains(big)) << "names where the limit was hit: " << told.first().toStdString();
    EXPECT_TRUE(lines.filter("box: ").isEmpty()) << lines.join('\n').toStdString();
}

// The lines of the live log that end with `text`.
qsizetype linesEndingWith(ProgramRun& run, const QString& text)
{
    const QStringList lines = run.lines();
    return std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.endsWith(text); });
}

// The watched folder deleted (alone, or with the folder above it) and made again while the
// program runs: the deletion is reported, another watch goes on meanwhile, and what is made in
// the new folder is reported and logged as before, each change once.
TEST(ProgramFaultTest, WatchedFolderDeletedAndMadeAgainIsWatchedAgain)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString parent = temp.path() + "/p", watched = parent + "/w", steady = temp.path() + "/steady";
    const QString log = temp.path() + "/logs/w.log";
    ASSERT_TRUE(QDir().mkpath(watched + "/sub") && QDir().mkpath(steady) && QDir().mkpath(temp.path() + "/logs"));
    QByteArray settings;
    for (const auto& [name, folder, panel] : {std::tuple{"gone", watched, "1"}, std::tuple{"steady", steady, "2"}})
        settings += "[" + QByteArray(name) + "]\nname=" + name + "\npath=" + folder.toUtf8() + "\npanel=" + panel +
                    "\nactive=1\navilable=0\nsub=1\nfcreate=1\ndcreate=1\nddelete=1\nwritelog=1\nlogfile=" +
                    temp.path().toUtf8() + "/logs/" + (QByteArray(name) == "gone" ? "w" : name) + ".log\n";
    writeFile(temp.path() + "/VSM25/settings.cfg", settings);

    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine("Watch steady Started monitoring path: ", 30000)) << run.lines().join('\n').toStdString();
    ASSERT_EQ(run.lines().filter("Watch gone Started monitoring path: ").size(), 1) << run.lines().join('\n').toStdString();

    const struct {
        const char* what;
        QString removed;  // the folder removed with everything in it
    } rounds[] = {{"the folder alone", watched}, {"with the folder above it", parent}, {"once more", watched}};
    int n = 0;
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.what);
        ++n;
        ASSERT_TRUE(QDir(round.removed).removeRecursively());
        const QString deleted = ": gone: Folder delete event, folder name: " + watched;
        ASSERT_TRUE(QTest::qWaitFor([&] { return linesEndingWith(run, deleted) == n; }, 10000))
            << run.lines().join('\n').toStdString();
        const QString steadyFile = steady + QStringLiteral("/while-gone-%1.txt").arg(n);
        writeFile(steadyFile, "x");
        ASSERT_TRUE(run.waitForLine(": steady: File create event, file name: " + steadyFile)) << run.lines().join('\n').toStdString();

        ASSERT_TRUE(QDir().mkpath(watched + "/sub"));
        const QString file = watched + QStringLiteral("/sub/after-%1.txt").arg(n);
        writeFile(file, "x");
        const QString fileLine = ": gone: File create event, file name: " + file;
        ASSERT_TRUE(QTest::qWaitFor([&] { return linesEndingWith(run, fileLine) == 1; }, 10000))
            << run.lines().join('\n').toStdString();
        for (const QString& folder : {watched, watched + "/sub"})
            EXPECT_EQ(linesEndingWith(run, ": gone: Folder create event, folder name: " + folder), n)
                << folder.toStdString() << "\n" << run.lines().join('\n').toStdString();
        for (const QString& line : {deleted, ": gone: Folder create event, folder name: " + watched, fileLine})
            EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(log).count(line.toUtf8() + "\r\n") == (line == fileLine ? 1 : n); }, 10000))
                << line.toStdString() << "\n" << readFile(log).toStdString();
    }
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_TRUE(run.lines().filter("box: ").isEmpty()) << run.lines().join('\n').toStdString();
}

// The disk that holds a watch's log file fills up while events come: every event still reaches
// the live log, each line that finds no room is refused with "Disk full" and leaves nothing
// behind, the other watch logs on, and once there is room again lines are written whole.
TEST(ProgramFaultTest, LogFileOnAFullDiskKeepsWholeLinesAndTheRestGoesOn)
{
    if (QStandardPaths::findExecutable("unshare").isEmpty()) GTEST_SKIP() << "no unshare here";
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString disk = temp.path() + "/disk", watched = temp.path() + "/w", steady = temp.path() + "/s";
    const QString steadyLog = temp.path() + "/logs/s.log";
    for (const QString& d : {disk, watched, steady, temp.path() + "/logs"}) ASSERT_TRUE(QDir().mkpath(d));
    QByteArray settings;
    for (const auto& [name, folder, log, panel] :
         {std::tuple{"disk", watched, disk + "/w.log", "1"}, std::tuple{"steady", steady, steadyLog, "2"}})
        settings += "[" + QByteArray(name) + "]\nname=" + name + "\npath=" + folder.toUtf8() + "\npanel=" + panel +
                    "\nactive=1\navilable=0\nsub=0\nfcreate=1\nwritelog=1\nlogfile=" + log.toUtf8() + "\n";
    writeFile(temp.path() + "/VSM25/settings.cfg", settings);

    ProgramRun run(temp.path(), {}, {}, ProgramRun::smallDiskLauncher(disk, 64 * 1024));
    const bool started = run.waitForLine("Watch steady Started monitoring path: ", 30000);
    if (!started && run.process().state() == QProcess::NotRunning &&
        (run.process().exitCode() == ProgramRun::NoNamespaceExit || !run.lines().filter("unshare").isEmpty()))
        GTEST_SKIP() << "user or mount namespaces are refused here: " << run.lines().join('\n').toStdString();
    ASSERT_TRUE(started) << run.lines().join('\n').toStdString();
    // The program's own view of the small disk.
    const QString seen = QStringLiteral("/proc/%1/root%2").arg(run.pid()).arg(disk);
    const QString log = seen + "/w.log";
    const auto created = [&](const QString& file) {
        writeFile(file, "x");
        return ": disk: File create event, file name: " + file;
    };

    const QString first = created(watched + "/a.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(log).contains(first.toUtf8() + "\r\n"); }, 10000))
        << run.lines().join('\n').toStdString();
    {
        // Fill the disk to the last byte.
        QFile filler(seen + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(512, 'z');
        while (filler.write(block) == block.size() && filler.flush()) {}
        const QByteArray byte(1, 'z');
        while (filler.write(byte) == 1 && filler.flush()) {}
    }
    // The log file's last page still has room for some lines; then one is cut short by the
    // disk, and the rest find no room at all.
    constexpr int kWhileFull = 80;
    QStringList whileFull;
    for (int i = 0; i < kWhileFull; ++i) whileFull << created(watched + QStringLiteral("/b%1.txt").arg(i, 2, 10, QChar('0')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return linesEndingWith(run, whileFull.last()) == 1; }, 20000))
        << run.lines().join('\n').toStdString();
    const QString steadyLine = ": steady: File create event, file name: " + steady + "/meanwhile.txt";
    writeFile(steady + "/meanwhile.txt", "x");
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(steadyLog).contains(steadyLine.toUtf8() + "\r\n"); }, 10000));

    ASSERT_TRUE(QFile::remove(seen + "/filler"));
    const QString last = created(watched + "/c.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(log).contains(last.toUtf8() + "\r\n"); }, 10000))
        << readFile(log).toStdString();

    // Every event reached the live log; the refused ones each said why.
    for (const QString& line : whileFull) EXPECT_EQ(linesEndingWith(run, line), 1) << line.toStdString();
    const QByteArray content = readFile(log);
    EXPECT_EQ(run.terminate(), 0);
    QSet<QString> told;  // the live log's lines, as the log file must hold them
    for (const QString& l : run.lines())
        if (l.startsWith("live-log: #")) told.insert(l.section(u' ', 2));
    const qsizetype refused = run.lines().filter("box: error: Disk full").size();
    EXPECT_GT(refused, 0) << "the disk never filled";

    // The log file: the header, then whole lines only, each event at most once, in order.
    ASSERT_TRUE(content.endsWith("\r\n"));
    const QList<QByteArray> lines = content.chopped(1).split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("Vesmor 2.5 running on computer "));
    EXPECT_TRUE(lines[1].startsWith("Windows Platform: "));
    QStringList expected{first};
    expected << whileFull << last;
    qsizetype at = 0;
    int written = 0;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        ASSERT_TRUE(line.endsWith(u'\r')) << "a line without its end: " << line.toStdString();
        const QString text = line.chopped(1);
        ASSERT_TRUE(told.contains(text)) << "a torn line: " << text.toStdString();
        while (at < expected.size() && !text.endsWith(expected[at])) ++at;
        ASSERT_LT(at, expected.size()) << "a torn or unknown line: " << text.toStdString();
        ++at;
        ++written;
    }
    EXPECT_EQ(written + refused, 2 + kWhileFull) << "every event is either written whole or refused";
}

}  // namespace
