// The real program and its boxes, as a user meets them: without a display every box is written
// to standard error and answered at once; on a display (a virtual X server here) a box stays
// open until answered, and each termination signal still ends the program in order.
#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A watch on `folder` that starts with the program and shows a pop-up on each created file.
void writeSettings(const QString& temp, const QString& folder)
{
    QDir().mkpath(temp + QStringLiteral("/VSM25"));
    QFile f(temp + QStringLiteral("/VSM25/settings.cfg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[box]\nname=box\npanel=1\nactive=1\navilable=0\nfcreate=1\npopup=1\npath=" + QFile::encodeName(folder) + "\n");
}

// An X server of our own on a free display, for as long as the object lives.
class VirtualDisplay {
public:
    static QString unavailableReason()
    {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("no %1").arg(QString::fromLatin1(tool));
        return {};
    }
    VirtualDisplay()
    {
        server_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                              QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("1024x768x24")});
        QByteArray out;
        const QDeadlineTimer deadline(10000);
        while (!out.contains('\n') && server_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            out += server_.readAllStandardOutput();
        if (out.contains('\n')) name_ = u':' + QString::fromLatin1(out.trimmed());
    }
    ~VirtualDisplay()
    {
        server_.terminate();
        if (!server_.waitForFinished(5000)) server_.kill();
    }
    const QString& name() const { return name_; }

    // Waits until a visible window has exactly this title.
    bool waitForWindow(const QString& title, int ms = 60000) const
    {
        const QDeadlineTimer deadline(ms);
        for (;;) {
            QProcess search;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), name_);
            search.setProcessEnvironment(env);
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                    QStringLiteral("--name"), u'^' + title + u'$'});
            if (search.waitForFinished(5000) && search.exitCode() == 0 && !search.readAllStandardOutput().isEmpty())
                return true;
            if (deadline.hasExpired()) return false;
            QThread::msleep(50);
        }
    }

    // The titles that the visible windows give the desktop (the window manager's _NET_WM_NAME,
    // which Qt may extend beyond the caption the program set).
    QStringList desktopTitles() const
    {
        QProcess sh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name_);
        sh.setProcessEnvironment(env);
        sh.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("for w in $(xdotool search --onlyvisible --name .); do "
                                                                              "xprop -id $w -notype _NET_WM_NAME; done")});
        sh.waitForFinished(10000);
        QStringList titles;
        for (const QString& line : QString::fromUtf8(sh.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
            if (const qsizetype eq = line.indexOf(QStringLiteral(" = \"")); eq > 0) titles << line.mid(eq + 4).chopped(1);
        return titles;
    }

    // For a failure message: the windows the display has, by title, and where the program is.
    QString describe(qint64 pid) const
    {
        QProcess sh;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name_);
        sh.setProcessEnvironment(env);
        sh.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                        QStringLiteral("echo display $DISPLAY; for w in $(xdotool search --name .); do "
                                                       "xdotool getwindowname $w; done; grep State /proc/$1/status; "
                                                       "echo waiting in $(cat /proc/$1/wchan)"),
                                        QStringLiteral("sh"), QString::number(pid)});
        sh.waitForFinished(10000);
        return QString::fromLocal8Bit(sh.readAllStandardOutput() + sh.readAllStandardError());
    }

private:
    QProcess server_;
    QString name_;
};

TEST(BoxesWithoutADisplay, EachBoxIsWrittenOutAnsweredAndTheProgramGoesOn)
{
    ASSERT_FALSE(qEnvironmentVariableIsSet("VESMOR_AUTO_ANSWER_BOXES"));  // no switch needed
    QTemporaryDir temp;
    writeSettings(temp.path(), temp.path());
    ProgramRun run(temp.path(), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    // The box of the start-up, then the rest of the start-up: the stored watch starts.
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Started monitoring path"))) << run.lines().join(u'\n').toStdString();
    const QStringList lines = run.lines();
    const qsizetype box = lines.indexOf(QStringLiteral("box: error: Too many parameters (caption \"Error\", answered OK)"));
    EXPECT_GE(box, 0) << lines.join(u'\n').toStdString();
    EXPECT_LT(box, lines.indexOf(lines.filter(QStringLiteral("Started monitoring path")).value(0)));
    EXPECT_EQ(run.terminate(), 0);
}

TEST(BoxesWithoutADisplay, MakeRunSaysSoInOneLineAndTheLiveLogCanBeFollowed)
{
    QTemporaryDir temp;
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VESMOR_ECHO_LIVE_LOG"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("TEMP"), temp.path());
    run.setProcessEnvironment(env);
    run.setReadChannel(QProcess::StandardError);
    // A copy of its own, so that it is no other test's second copy.
    const QString program = temp.filePath(QStringLiteral("vesmor"));
    ASSERT_TRUE(QFile::copy(ProgramRun::binaryPath(), program));
    ASSERT_TRUE(QFile(program).setPermissions(QFile(ProgramRun::binaryPath()).permissions()));
    run.start(qEnvironmentVariable("VESMOR_SOURCE_DIR") + QStringLiteral("/scripts/run-vesmor"),
              {program, QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QByteArray err;
    const QDeadlineTimer deadline(20000);
    while (!err.contains("Windows Platform: ") && run.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
        err += run.readAllStandardError();
    ::kill(pid_t(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(10000));
    err += run.readAllStandardError();
    const QStringList lines = QString::fromUtf8(err).split(u'\n');
    const QStringList said = lines.filter(QStringLiteral("No display"));
    ASSERT_EQ(said.size(), 1) << err.constData();
    for (const char* point : {"offscreen", "box", "live log", "standard error", "SIGTERM"})
        EXPECT_TRUE(said.first().contains(QString::fromLatin1(point))) << point;
    EXPECT_EQ(lines.filter(QStringLiteral("box: error: Too many parameters")).size(), 1) << err.constData();
    EXPECT_EQ(lines.filter(QStringLiteral("live-log: #000000 Vesmor 2.5 running on computer")).size(), 1) << err.constData();
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 0);
}

class SignalWithABoxOpen : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (const QString why = VirtualDisplay::unavailableReason(); !why.isEmpty()) GTEST_SKIP() << qPrintable(why);
        display = std::make_unique<VirtualDisplay>();
        ASSERT_FALSE(display->name().isEmpty()) << "the X server did not start";
    }
    QStringList onDisplay() const
    {
        return {QStringLiteral("env"), QStringLiteral("QT_QPA_PLATFORM=xcb"), QStringLiteral("DISPLAY=") + display->name()};
    }
    // Sends the signal and checks that the program ends in order, in time.
    void expectEndsInOrder(ProgramRun& run, const char* where)
    {
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(run.pid()), GetParam());
        const int code = run.waitForExit(10000);
        const qint64 ms = clock.elapsed();
        EXPECT_EQ(code, 0) << run.lines().join(u'\n').toStdString();
        EXPECT_TRUE(run.lines().filter(QStringLiteral("still busy")).isEmpty()) << run.lines().join(u'\n').toStdString();
        std::printf("%s with %s: ended after %lld ms\n", strsignal(GetParam()), where, static_cast<long long>(ms));
    }

    std::unique_ptr<VirtualDisplay> display;
    QTemporaryDir temp;
};

TEST_P(SignalWithABoxOpen, AtStartUp)
{
    ProgramRun run(temp.path(), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, QString(), onDisplay());
    // Captioned with its type, not the program's name.
    ASSERT_TRUE(display->waitForWindow(QStringLiteral("Error")))
        << display->describe(run.pid()).toStdString() << run.lines().join(u'\n').toStdString();
    expectEndsInOrder(run, "the start-up error box open");
}

// What the desktop shows in the box's title bar is its caption alone, without the program's
// name added after it.
TEST_F(SignalWithABoxOpen, ABoxIsCaptionedWithItsTypeAloneOnTheDesktop)
{
    ProgramRun run(temp.path(), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, QString(), onDisplay());
    ASSERT_TRUE(display->waitForWindow(QStringLiteral("Error"))) << run.lines().join(u'\n').toStdString();
    const QStringList titles = display->desktopTitles();
    EXPECT_TRUE(titles.contains(QStringLiteral("Error"))) << titles.join(u'|').toStdString();
    EXPECT_TRUE(titles.filter(QStringLiteral("Error ")).isEmpty()) << titles.join(u'|').toStdString();
    ::kill(pid_t(run.pid()), SIGTERM);
    EXPECT_EQ(run.waitForExit(10000), 0);
}

TEST_P(SignalWithABoxOpen, WhileAPopUpIsOpen)
{
    const QString watched = temp.filePath(QStringLiteral("watched"));
    QDir().mkpath(watched);
    writeSettings(temp.path(), watched);
    ProgramRun run(temp.path(), {}, QString(), onDisplay());
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Started monitoring path"))) << run.lines().join(u'\n').toStdString();
    QFile(watched + QStringLiteral("/new.txt")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(display->waitForWindow(QStringLiteral("Information"))) << run.lines().join(u'\n').toStdString();
    expectEndsInOrder(run, "a pop-up open");
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalWithABoxOpen, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

}  // namespace
