#include "platform/FileInUse.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileInUseTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("data.bin"));

    void SetUp() override
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    // Another process that keeps the file open until it is killed.
    void hold(QProcess& p, bool forWriting)
    {
        if (forWriting)
            p.setStandardOutputFile(file, QIODevice::Append);
        else
            p.setStandardInputFile(file);
        p.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        ASSERT_TRUE(p.waitForStarted(10000));
    }
    static void release(QProcess& p)
    {
        p.kill();
        p.waitForFinished(10000);
    }
};

TEST_F(FileInUseTest, NothingToWaitForIsNotInUse)
{
    ASSERT_TRUE(QDir().mkdir(dir.filePath(QStringLiteral("folder"))));
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling"))));
    for (const char* name : {"data.bin", "link", "missing", "dangling", "folder"})
        EXPECT_FALSE(FileInUse::isInUse(dir.filePath(QString::fromUtf8(name)))) << name;
    EXPECT_FALSE(FileInUse::isInUse(QString()));
    EXPECT_FALSE(FileInUse::isInUse(QStringLiteral("/dev/null")));  // a device is no file
}

TEST_F(FileInUseTest, AnotherProcessHoldingTheFileMakesItInUse)
{
    for (bool forWriting : {true, false}) {
        QProcess holder;
        hold(holder, forWriting);
        EXPECT_TRUE(FileInUse::isInUse(file)) << "writer " << forWriting;
        EXPECT_TRUE(FileInUse::isInUse(dir.filePath(QStringLiteral("."))+ QStringLiteral("/data.bin")));
        EXPECT_TRUE(FileInUse::openElsewhere(file));
        release(holder);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !FileInUse::isInUse(file); }, 10000)) << "writer " << forWriting;
        EXPECT_FALSE(FileInUse::openElsewhere(file));
    }
}

TEST_F(FileInUseTest, AFileThatCantBeOpenedForWritingIsInUse)
{
    // Even root can't open this one for writing.
    EXPECT_TRUE(FileInUse::isInUse(QStringLiteral("/sys/devices/system/cpu/online")));
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    if (::geteuid() != 0) {
        EXPECT_TRUE(FileInUse::isInUse(file));
    }
}

TEST_F(FileInUseTest, TheTestLeavesNoLeaseBehind)
{
    // A lease left in place would make the next writer's open wait for it to be broken.
    ASSERT_FALSE(FileInUse::isInUse(file));
    QFile writer(file);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite));
    EXPECT_TRUE(FileInUse::isInUse(file));  // our own second handle counts as well
    writer.close();
    EXPECT_FALSE(FileInUse::isInUse(file));
}

}  // namespace
