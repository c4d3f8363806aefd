#include "actions/EventLog.h"
#include "platform/files/AppendFiles.h"
#include "core/Banner.h"
#include "platform/boxes/AppException.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/system/SystemInfo.h"
#include "support/FileSizeLimit.h"
#include "support/LocalUsers.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class EventLogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString log = dir.filePath(QStringLiteral("watch.log"));

    void TearDown() override { AppendFiles::closeAll(); }

    Twatcher watch(const QString& file, const char* name = "Docs") const
    {
        Twatcher w;
        w.Name = QString::fromUtf8(name);
        w.WriteToLogFile = true;
        w.LogFile = file;
        return w;
    }
    static QByteArray content(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static QByteArray header()
    {
        return ("Vesmor 2.5 running on computer " + SystemInfo::computerName() + " by user " + SystemInfo::userName() +
                "\r\nWindows Platform: " + SystemInfo::productName() + "\r\n")
            .toUtf8();
    }
    static QString errorOf(const Twatcher& w)
    {
        try {
            WriteToLog(w, QStringLiteral("line"));
        } catch (const AppException& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    }
    // The event loop's turn ends: the files of this turn are closed.
    static void endTurn() { QCoreApplication::processEvents(); }
    // The descriptors of this process open on `path`'s file.
    static int openOn(const QString& path)
    {
        const QString target = QFileInfo(path).canonicalFilePath();
        int n = 0;
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString& fd : fds.entryList(QDir::Files | QDir::System))
            if (!target.isEmpty() && QFileInfo(fds.filePath(fd)).symLinkTarget() == target) ++n;
        return n;
    }
    static int openDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }
    static void own(const QString& path, unsigned uid)
    {
        ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), uid, uid), 0) << path.toStdString();
    }
};

TEST_F(EventLogTest, TheFirstEventWritesTheHeaderAndItsLine)
{
    EXPECT_TRUE(BannerLine1().startsWith(QStringLiteral("Vesmor 2.5 running on computer ")));
    EXPECT_TRUE(BannerLine2().startsWith(QStringLiteral("Windows Platform: ")));
    WriteToLog(watch(log), QStringLiteral("event one"));
    EXPECT_EQ(content(log), header() + "event one\r\n");
    WriteToLog(watch(log), QStringLiteral("event two"));
    EXPECT_EQ(content(log), header() + "event one\r\nevent two\r\n");
}

TEST_F(EventLogTest, AnExistingEmptyFileGetsNoHeader)
{
    QFile(log).open(QIODevice::WriteOnly);
    WriteToLog(watch(log), QStringLiteral("event"));
    EXPECT_EQ(content(log), QByteArray("event\r\n"));
}

TEST_F(EventLogTest, TwoWatchesSharingAFileInterleaveUnderOneHeader)
{
    const Twatcher a = watch(log, "A"), b = watch(log, "B");
    WriteToLog(a, QStringLiteral("a1"));
    WriteToLog(b, QStringLiteral("b1"));
    endTurn();
    WriteToLog(a, QStringLiteral("a2"));
    EXPECT_EQ(content(log), header() + "a1\r\nb1\r\na2\r\n");
}

TEST_F(EventLogTest, ADeletedFileComesBackWithItsHeader)
{
    WriteToLog(watch(log), QStringLiteral("before"));
    endTurn();
    ASSERT_TRUE(QFile::remove(log));
    WriteToLog(watch(log), QStringLiteral("after"));
    EXPECT_EQ(content(log), header() + "after\r\n");
}

// A burst costs one open: the lines of a turn go to the file opened at its first line, which is
// closed when the turn ends. A file moved away between turns (log rotation) keeps what it had,
// and the next line starts a new file.
TEST_F(EventLogTest, TheFileIsOpenOnlyForTheRestOfTheTurn)
{
    WriteToLog(watch(log), QStringLiteral("one"));
    WriteToLog(watch(log), QStringLiteral("two"));
    EXPECT_EQ(openOn(log), 1) << "one open file for the whole turn";
    EXPECT_EQ(content(log), header() + "one\r\ntwo\r\n") << "each line is in the file when the call returns";
    endTurn();
    EXPECT_EQ(openOn(log), 0) << "closed between turns";

    const QString rotated = dir.filePath(QStringLiteral("watch.log.1"));
    ASSERT_TRUE(QFile::rename(log, rotated));
    WriteToLog(watch(log), QStringLiteral("three"));
    endTurn();
    EXPECT_EQ(content(rotated), header() + "one\r\ntwo\r\n");
    EXPECT_EQ(content(log), header() + "three\r\n");
}

TEST_F(EventLogTest, TheSwitchOffWritesNothing)
{
    Twatcher w = watch(log);
    w.WriteToLogFile = false;
    WriteToLog(w, QStringLiteral("event"));
    EXPECT_FALSE(QFile::exists(log));
    w.LogFile.clear();
    WriteToLog(w, QStringLiteral("event"));  // no error either
}

TEST_F(EventLogTest, LineBreaksInsideALineCantSplitIt)
{
    QFile(log).open(QIODevice::WriteOnly);
    WriteToLog(watch(log), QStringLiteral("D: Docs: File create event, file name: /w/a\nforged\r.txt"));
    WriteToLog(watch(log), QString::fromUtf16(u"/w/b\u2028c\u2029d\u0085e\vf\fg"));
    EXPECT_EQ(content(log), QByteArray("D: Docs: File create event, file name: /w/a?forged?.txt\r\n/w/b?c?d?e?f?g\r\n"));
}

TEST_F(EventLogTest, EveryFailureRaisesItsCause)
{
    const QString plainFile = dir.filePath(QStringLiteral("plain"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    const QString loop = dir.filePath(QStringLiteral("loop"));
    ASSERT_TRUE(QFile::link(loop, loop));
    struct Case {
        const char* what;
        QString file;
        const char* error;
    } cases[] = {
        {"folder missing", dir.filePath("no/such/folder/watch.log"), "Path not found"},
        {"a file as folder", plainFile + "/watch.log", "Path not found"},
        {"a folder as log file", dir.path(), "File access denied"},
        {"a link to itself", loop, "I/O error 40"},
        {"no name", QString(), "No log file is set for watch Docs"},
    };
    const int before = openDescriptors();
    for (const Case& c : cases) EXPECT_EQ(errorOf(watch(c.file)), QString::fromUtf8(c.error)) << c.what;
    EXPECT_EQ(openDescriptors(), before);  // a failed write leaves no handle open

    if (::geteuid() != 0) {
        QFile(log).open(QIODevice::WriteOnly);
        ::chmod(QFile::encodeName(log).constData(), 0444);
        EXPECT_EQ(errorOf(watch(log)), QStringLiteral("File access denied"));
    }
}

// Only a regular file is a log file. A pipe (with or without a reader), a device or a socket is
// refused at once, never waited on, and gets nothing; the next event's line goes on.
TEST_F(EventLogTest, WhatIsNoRegularFileIsRefusedWithoutWaiting)
{
    const QByteArray pipe = QFile::encodeName(dir.filePath(QStringLiteral("pipe")));
    const QByteArray readPipe = QFile::encodeName(dir.filePath(QStringLiteral("read-pipe")));
    ASSERT_EQ(::mkfifo(pipe.constData(), 0666), 0);
    ASSERT_EQ(::mkfifo(readPipe.constData(), 0666), 0);
    const int reader = ::open(readPipe.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const QString socketPath = dir.filePath(QStringLiteral("socket"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray s = QFile::encodeName(socketPath);
    ASSERT_LT(size_t(s.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, s.constData(), size_t(s.size()));
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const QString linkToPipe = dir.filePath(QStringLiteral("to-pipe"));
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(pipe), linkToPipe));

    for (const QString& path : {QString::fromLocal8Bit(pipe), QString::fromLocal8Bit(readPipe), socketPath, linkToPipe,
                                QStringLiteral("/dev/null"), QStringLiteral("/dev/full")})
        EXPECT_EQ(errorOf(watch(path)), QStringLiteral("File access denied")) << path.toStdString();
    char buf[16];
    EXPECT_EQ(::read(reader, buf, sizeof buf), 0) << "nothing reached the pipe's reader";
    ::close(reader);
    ::close(sock);

    WriteToLog(watch(log), QStringLiteral("next event"));
    EXPECT_EQ(content(log), header() + "next event\r\n");
}

// A link counts as the file it points to, through folders and relative targets; but nothing is
// ever made where a link points to nothing: the link may be stale, or a trap.
TEST_F(EventLogTest, LinksLeadToTheirFileButNeverCreateOne)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("real/sub")));
    const QString target = dir.filePath(QStringLiteral("real/sub/target.log"));
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_EQ(::symlink("real/sub", QFile::encodeName(dir.filePath("folder-link")).constData()), 0);
    ASSERT_EQ(::symlink("../sub/./target.log", QFile::encodeName(dir.filePath("real/sub/relative")).constData()), 0);
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("real/sub/relative")), dir.filePath(QStringLiteral("chain"))));
    for (const char* path : {"folder-link/target.log", "real/sub/relative", "chain", "folder-link/relative"})
        WriteToLog(watch(dir.filePath(QString::fromUtf8(path))), QString::fromUtf8(path));
    EXPECT_EQ(content(target), "folder-link/target.log\r\nreal/sub/relative\r\nchain\r\nfolder-link/relative\r\n");
    endTurn();

    const QString missing = dir.filePath(QStringLiteral("real/missing.log"));
    const QString dangling = dir.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(missing, dangling));
    EXPECT_EQ(errorOf(watch(dangling)), QStringLiteral("File not found"));
    EXPECT_FALSE(QFile::exists(missing));
    // A new file through a linked folder is no file made through a link.
    WriteToLog(watch(dir.filePath(QStringLiteral("folder-link/new.log"))), QStringLiteral("new"));
    EXPECT_EQ(content(dir.filePath(QStringLiteral("real/sub/new.log"))), header() + "new\r\n");
}

// Another user's link, at the end of the path or in the middle of it, is never followed, also
// where the kernel's link protection doesn't look (a folder that isn't shared). Someone else's
// file in a sticky folder that all may write to (as /tmp) is not ours to append to, unless it
// is the folder owner's.
TEST_F(EventLogTest, AStrangersLinksAndPlantedFilesAreRefused)
{
    if (::geteuid() != 0) GTEST_SKIP() << "giving files to another user needs root";
    constexpr unsigned stranger = LocalUsers::IntruderId;
    const QString precious = dir.filePath(QStringLiteral("precious.txt"));
    QFile(precious).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("mine")));
    const QString theirLink = dir.filePath(QStringLiteral("their.log"));
    ASSERT_TRUE(QFile::link(precious, theirLink));
    own(theirLink, stranger);
    const QString theirFolderLink = dir.filePath(QStringLiteral("their-folder"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("mine")), theirFolderLink));
    own(theirFolderLink, stranger);
    const QString theirDangling = dir.filePath(QStringLiteral("their-dangling.log"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("mine/made.log")), theirDangling));
    own(theirDangling, stranger);

    const QString shared = dir.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString planted = shared + QStringLiteral("/planted.log");
    QFile(planted).open(QIODevice::WriteOnly);
    own(planted, stranger);
    ASSERT_EQ(::chmod(QFile::encodeName(planted).constData(), 0666), 0);

    struct Case {
        const char* what;
        QString path;
    } refused[] = {
        {"their link to my file", theirLink},
        {"their link to a folder of mine", theirFolderLink + QStringLiteral("/inside.log")},
        {"their link to where a file would be made", theirDangling},
        {"their file in a shared sticky folder", planted},
    };
    for (const Case& c : refused) EXPECT_EQ(errorOf(watch(c.path)), QStringLiteral("File access denied")) << c.what;
    EXPECT_EQ(content(precious), QByteArray());
    EXPECT_EQ(content(planted), QByteArray());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("mine/made.log"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("mine/inside.log"))));

    // The folder owner's own file there, and a file of ours, are written.
    const QString ours = shared + QStringLiteral("/ours.log");
    WriteToLog(watch(ours), QStringLiteral("ours"));
    const QString theirShared = dir.filePath(QStringLiteral("their-shared"));
    ASSERT_TRUE(QDir().mkpath(theirShared));
    own(theirShared, stranger);
    ASSERT_EQ(::chmod(QFile::encodeName(theirShared).constData(), 01777), 0);
    const QString hosts = theirShared + QStringLiteral("/hosts.log");
    QFile(hosts).open(QIODevice::WriteOnly);
    own(hosts, stranger);
    WriteToLog(watch(hosts), QStringLiteral("the folder's owner's file"));
    EXPECT_EQ(content(ours), header() + "ours\r\n");
    EXPECT_EQ(content(hosts), "the folder's owner's file\r\n");
}

// The disk fills in the middle of a line: the piece that fitted is taken back, so the file holds
// whole lines only, and once there is room again the next line starts on a line of its own.
TEST_F(EventLogTest, LineThatDoesNotFitIsTakenBackWhole)
{
    WriteToLog(watch(log), QStringLiteral("before"));
    const QByteArray kept = content(log);
    const QString longLine = QStringLiteral("x").repeated(200);
    {
        FileSizeLimit limit(rlim_t(kept.size() + 50));  // room for a quarter of the line
        ASSERT_TRUE(limit.ok());
        EXPECT_ANY_THROW(WriteToLog(watch(log), longLine));
        EXPECT_EQ(content(log).toStdString(), kept.toStdString());
        EXPECT_EQ(openOn(log), 0) << "a failed file is closed at once";
    }
    WriteToLog(watch(log), QStringLiteral("after"));
    EXPECT_EQ(content(log).toStdString(), (kept + "after\r\n").toStdString());
}

// Lines nobody needs at once wait for the turn's end and go in together, in order; a line
// needed now takes those before it along.
TEST_F(EventLogTest, WaitingLinesGoInAtTheTurnsEndOrWithTheNextLineNeededNow)
{
    WriteToLog(watch(log), QStringLiteral("one"), LogLineDue::ByTurnEnd);
    WriteToLog(watch(log), QStringLiteral("two"), LogLineDue::ByTurnEnd);
    EXPECT_EQ(content(log), QByteArray()) << "made, still empty";
    WriteToLog(watch(log), QStringLiteral("three"));
    EXPECT_EQ(content(log), header() + "one\r\ntwo\r\nthree\r\n");
    WriteToLog(watch(log), QStringLiteral("four"), LogLineDue::ByTurnEnd);
    endTurn();
    EXPECT_EQ(content(log), header() + "one\r\ntwo\r\nthree\r\nfour\r\n");
    EXPECT_EQ(openOn(log), 0);

    // A long burst does not wait for the turn's end with all of it.
    const QString many = dir.filePath(QStringLiteral("many.log"));
    const QString line = QStringLiteral("y").repeated(98);
    for (int i = 0; i < 1000; ++i) WriteToLog(watch(many), line, LogLineDue::ByTurnEnd);
    const qsizetype before = content(many).size();
    EXPECT_GT(before, 0);
    EXPECT_LT(before, 1000 * 100);
    EXPECT_EQ(before % 100, header().size() % 100) << "whole lines only";
    endTurn();
    EXPECT_EQ(content(many).size(), header().size() + 1000 * 100);
}

// Watches that name one log file in different ways (a link, "./") keep their lines in the order
// they came, waiting or not.
TEST_F(EventLogTest, OneFileNamedInSeveralWaysKeepsTheOrderOfItsLines)
{
    ASSERT_TRUE(QFile::link(dir.path(), dir.filePath(QStringLiteral("link"))));
    const QString names[] = {log, dir.filePath(QStringLiteral("./watch.log")), dir.filePath(QStringLiteral("link/watch.log"))};
    QByteArray expected = header();
    for (int i = 0; i < 30; ++i) {
        const QString line = QStringLiteral("line %1").arg(i);
        WriteToLog(watch(names[i % 3]), line, i % 7 == 6 ? LogLineDue::Now : LogLineDue::ByTurnEnd);
        expected += line.toUtf8() + "\r\n";
    }
    endTurn();
    EXPECT_EQ(content(log).toStdString(), expected.toStdString());
    EXPECT_EQ(openOn(log), 0);
}

// Waiting lines that find no room are refused each on its own, whole, with a box naming the
// cause; a line needed now that finds none raises its error, after the boxes of those before.
TEST_F(EventLogTest, WaitingLinesThatFindNoRoomAreEachRefusedWhole)
{
    QStringList boxes;
    const ModalBoxes::Responder old = ModalBoxes::setResponder([&](const ModalBoxes::Request& r) {
        boxes << r.text;
        return ModalBoxes::Answer::Ok;
    });
    WriteToLog(watch(log), QStringLiteral("before"));
    const QByteArray kept = content(log);
    {
        FileSizeLimit limit(rlim_t(kept.size() + 34));  // two lines of 13, and 8 bytes
        ASSERT_TRUE(limit.ok());
        for (const char* l : {"line-a-0001", "line-b-0002", "line-c-0003", "line-d-0004"})
            WriteToLog(watch(log), QString::fromUtf8(l), LogLineDue::ByTurnEnd);
        endTurn();
        EXPECT_EQ(content(log).toStdString(), (kept + "line-a-0001\r\nline-b-0002\r\n").toStdString());
        EXPECT_EQ(boxes.size(), 2) << boxes.join('|').toStdString();
        EXPECT_EQ(openOn(log), 0);

        boxes.clear();
        WriteToLog(watch(log), QStringLiteral("waits"), LogLineDue::ByTurnEnd);
        EXPECT_ANY_THROW(WriteToLog(watch(log), QStringLiteral("needed now, too long")));
        EXPECT_EQ(boxes.size(), 0) << "the waiting line fitted";
        EXPECT_EQ(content(log).toStdString(), (kept + "line-a-0001\r\nline-b-0002\r\nwaits\r\n").toStdString());
        EXPECT_EQ(openOn(log), 0) << "a failed file is closed at once";

        WriteToLog(watch(log), QStringLiteral("no room"), LogLineDue::ByTurnEnd);
        EXPECT_ANY_THROW(WriteToLog(watch(log), QStringLiteral("no room either")));
        EXPECT_EQ(boxes.size(), 1) << "the waiting line's box comes before the error of the line needed now";
    }
    WriteToLog(watch(log), QStringLiteral("after"));
    EXPECT_EQ(content(log).toStdString(), (kept + "line-a-0001\r\nline-b-0002\r\nwaits\r\nafter\r\n").toStdString());
    ModalBoxes::setResponder(old);
}

}  // namespace
