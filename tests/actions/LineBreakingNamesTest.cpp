#include "support/FileBytes.h"
#include "support/ProgramRun.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A file whose name holds every kind of line or paragraph end that some reader honours draws no
// line of its own, neither in the live log nor in the log file: the real program, as a user
// runs it, shows each of them as "?".
TEST(LineBreakingNamesTest, ANameCannotDrawALineOfItsOwn)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString watched = temp.path() + QStringLiteral("/w");
    const QString log = temp.path() + QStringLiteral("/w.log");
    ASSERT_TRUE(QDir().mkpath(watched));
    writeFile(temp.path() + QStringLiteral("/VSM25/settings.cfg"),
              "[w]\nname=w\npath=" + watched.toUtf8() + "\npanel=1\nactive=1\navilable=0\nsub=0\nfcreate=1\n"
              "writelog=1\nlogfile=" + log.toUtf8() + "\n");
    ProgramRun run(temp.path());
    ASSERT_TRUE(run.waitForLine(QStringLiteral("Watch w Started monitoring path: "), 30000)) << run.lines().join('\n').toStdString();

    // LF, CR, VT, FF, the file/group/record separators, NEL, LINE and PARAGRAPH SEPARATOR.
    const QByteArray name = "a\nb\rc\vd\fe\x1c" "f\x1d" "g\x1e" "h\xc2\x85i\xe2\x80\xa8j\xe2\x80\xa9k.txt";
    const QByteArray path = QFile::encodeName(watched) + '/' + name;
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    const QString shown = QStringLiteral(": w: File create event, file name: ") + watched + QStringLiteral("/a?b?c?d?e?f?g?h?i?j?k.txt");
    ASSERT_TRUE(run.waitForLine(shown)) << run.lines().join('\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(log).contains(shown.toUtf8() + "\r\n"); }, 10000))
        << readFile(log).toStdString();
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_EQ(run.lines().filter(QStringLiteral("live-log: #ff0000")).size(), 1) << "one event, one red line";
    EXPECT_EQ(readFile(log).count('\n'), 3) << "the header and one line";
}

}  // namespace
