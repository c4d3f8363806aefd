#include "actions/EventLog.h"
#include "core/Banner.h"
#include "platform/AppException.h"
#include "platform/SystemInfo.h"
#include "support/FileSizeLimit.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class EventLogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString log = dir.filePath(QStringLiteral("watch.log"));

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
    static int openDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }
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
    WriteToLog(a, QStringLiteral("a2"));
    EXPECT_EQ(content(log), header() + "a1\r\nb1\r\na2\r\n");
}

TEST_F(EventLogTest, ADeletedFileComesBackWithItsHeader)
{
    WriteToLog(watch(log), QStringLiteral("before"));
    ASSERT_TRUE(QFile::remove(log));
    WriteToLog(watch(log), QStringLiteral("after"));
    EXPECT_EQ(content(log), header() + "after\r\n");
}

TEST_F(EventLogTest, ALinkCountsAsTheFileItPointsTo)
{
    const QString target = dir.filePath(QStringLiteral("target.log"));
    const QString link = dir.filePath(QStringLiteral("link.log"));
    ASSERT_TRUE(QFile::link(target, link));
    WriteToLog(watch(link), QStringLiteral("first"));  // dangling: its target is created
    WriteToLog(watch(link), QStringLiteral("second"));
    EXPECT_EQ(content(target), header() + "first\r\nsecond\r\n");
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
    EXPECT_EQ(content(log), QByteArray("D: Docs: File create event, file name: /w/a?forged?.txt\r\n"));
}

TEST_F(EventLogTest, EveryFailureRaisesItsCause)
{
    const QString plainFile = dir.filePath(QStringLiteral("plain"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    struct Case {
        const char* what;
        QString file;
        const char* error;
    } cases[] = {
        {"folder missing", dir.filePath("no/such/folder/watch.log"), "Path not found"},
        {"a file as folder", plainFile + "/watch.log", "Path not found"},
        {"disk full", "/dev/full", "Disk full"},
        {"a folder as log file", dir.path(), "File access denied"},
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
    }
    WriteToLog(watch(log), QStringLiteral("after"));
    EXPECT_EQ(content(log).toStdString(), (kept + "after\r\n").toStdString());
}

}  // namespace
