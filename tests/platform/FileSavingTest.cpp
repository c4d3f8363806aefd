#include "platform/files/FileSaving.h"
#include "support/FileBytes.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytes(const QString& path) { return QFile::encodeName(path); }

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(bytes(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What is replaced, and what is left alone, in a folder of the user's own: each name saved to
// once, with what the save answers and what the folder holds afterwards.
TEST(FileSavingTest, OnlyRegularFilesAreReplacedAndOwnLinksStayLinks)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    writeFile(d + "/old.txt", "old");
    ::chmod(bytes(d + "/old.txt").constData(), 0640);
    writeFile(d + "/target.txt", "target");
    ASSERT_TRUE(QFile::link(d + "/target.txt", d + "/link.txt"));
    ASSERT_TRUE(QFile::link(d + "/nowhere.txt", d + "/dangling.txt"));
    ASSERT_TRUE(QDir().mkdir(d + "/folder"));
    ASSERT_EQ(::mkfifo(bytes(d + "/pipe").constData(), 0600), 0);
    writeFile(d + "/second.txt", "shared");
    ASSERT_EQ(::link(bytes(d + "/second.txt").constData(), bytes(d + "/first.txt").constData()), 0);

    struct Case {
        const char* name;
        FileSaving::Failed failed;
    } cases[] = {
        {"new.txt", FileSaving::Failed::Nothing},
        {"old.txt", FileSaving::Failed::Nothing},
        {"link.txt", FileSaving::Failed::Nothing},
        {"first.txt", FileSaving::Failed::Nothing},
        {"dangling.txt", FileSaving::Failed::Create},
        {"folder", FileSaving::Failed::Create},
        {"pipe", FileSaving::Failed::Create},
        {"missing folder/new.txt", FileSaving::Failed::Create},
    };
    for (const Case& c : cases) {
        const FileSaving::Result r = FileSaving::replace(d + u'/' + QLatin1String(c.name), "saved\r\n");
        EXPECT_EQ(int(r.failed), int(c.failed)) << c.name << ": " << r.cause.toStdString();
        EXPECT_EQ(r.cause.isEmpty(), c.failed == FileSaving::Failed::Nothing) << c.name;
    }
    EXPECT_EQ(readFile(d + "/new.txt"), "saved\r\n");
    EXPECT_EQ(readFile(d + "/old.txt"), "saved\r\n");
    EXPECT_EQ(modeOf(d + "/old.txt"), mode_t(0640)) << "the replaced file's mode is kept";
    EXPECT_TRUE(QFileInfo(d + "/link.txt").isSymLink());
    EXPECT_EQ(readFile(d + "/target.txt"), "saved\r\n");
    EXPECT_EQ(readFile(d + "/first.txt"), "saved\r\n");
    EXPECT_EQ(readFile(d + "/second.txt"), "shared") << "the other name of the file is left alone";
    EXPECT_FALSE(QFileInfo::exists(d + "/nowhere.txt")) << "nothing is made where a link points";
    EXPECT_TRUE(QFileInfo(d + "/folder").isDir());
    EXPECT_EQ(QDir(d).entryList({QStringLiteral("*.saving-*")}, QDir::AllEntries | QDir::Hidden), QStringList());
}

}  // namespace
