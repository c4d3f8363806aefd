#include "fuzz/ProfileReaderExercise.h"
#include "platform/settings/ProfileFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Every input the fuzzer kept reads without a crash.
TEST(ProfileCorpusTest, ReplaysTheFuzzCorpus)
{
    const QDir corpus(QStringLiteral(VESMOR_SOURCE_DIR "/tests/fuzz/corpus/profile"));
    const QStringList files = corpus.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        QFile f(corpus.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        exerciseProfileReader(f.readAll());
    }
}

// Junk written to disk reads, and a write keeps the junk lines it does not own.
TEST(ProfileCorpusTest, JunkFilesReadAndWriteWithoutHarm)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.cfg"));
    const QByteArray cases[] = {
        QByteArray("\x00\x01\x02[\x00]\n\xff\xfe=\xc3\n", 13),
        QByteArray(50 * 1024 * 1024, 'x') + "\n[s]\nk=v\n",  // a 50 MB line
        QByteArray("[s]\nk=") + QByteArray(10 * 1024 * 1024, '"') + "\n",
        QByteArray("no equals at all\n[s]\nk\n=v\n"),
    };
    for (const QByteArray& junk : cases) {
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(junk);
        }
        QElapsedTimer t;
        t.start();
        ProfileFile::sectionNames(file);
        EXPECT_LE(ProfileFile::readString(file, QStringLiteral("s"), QStringLiteral("k")).size(), ProfileFile::MaxValueLength);
        ProfileFile::writeString(file, QStringLiteral("new"), QStringLiteral("a"), QStringLiteral("1"));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray after = f.readAll();
        EXPECT_TRUE(after.startsWith(junk.left(1024))) << "junk before the new section was changed";
        EXPECT_EQ(ProfileFile::readString(file, QStringLiteral("new"), QStringLiteral("a")), QStringLiteral("1"));
    }
}

}  // namespace
