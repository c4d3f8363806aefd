#include "platform/settings/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A writer killed at random moments leaves either the old file or the new one, never a torn
// mix, and never loses the file.
TEST(ProfileFileKillTest, KilledWriterNeverLeavesATornFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.cfg"));
    const QString big = QString(200000, u'v');
    ProfileFile::writeString(file, QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("0"));
    for (int round = 0; round < 20; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Rewrites two sections over and over; each value names its round so a torn mix shows.
            for (int i = 1;; ++i) {
                const QString n = QString::number(i);
                ProfileFile::writeString(file, QStringLiteral("s"), QStringLiteral("k"), n);
                ProfileFile::writeString(file, QStringLiteral("big"), QStringLiteral("v"), n + big + n);
            }
        }
        ::usleep(useconds_t(QRandomGenerator::global()->bounded(2000, 40000)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the settings file was lost in round " << round;
        const QByteArray content = f.readAll();
        ASSERT_TRUE(content.startsWith("[s]\nk=")) << "round " << round;
        ASSERT_TRUE(content.endsWith('\n')) << "torn file in round " << round;
        const QString v = ProfileFile::readString(file, QStringLiteral("big"), QStringLiteral("v"));
        if (!v.isEmpty()) {
            // A complete value is cut at 2047 characters on reading; the raw line must be whole.
            const qsizetype at = content.indexOf("[big]\nv=");
            ASSERT_GE(at, 0);
            const QByteArray line = content.mid(at + 8, content.indexOf('\n', at + 8) - at - 8);
            const QByteArray head = line.left(line.indexOf('v'));
            ASSERT_TRUE(line.endsWith(head)) << "torn value in round " << round;
            ASSERT_EQ(line.size(), 200000 + 2 * head.size());
        }
    }
    // No temporary files are left where a finished write would have removed them, except the
    // one a killed writer was in the middle of; they never replace the settings file.
    EXPECT_TRUE(QFile::exists(file));
}

}  // namespace
