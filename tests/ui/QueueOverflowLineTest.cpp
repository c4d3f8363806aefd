#include "StartedFormFixture.h"
#include "notify/TStShellNotification.h"
#include "platform/changes/ChangeNotifyService.h"
#include "support/FileBytes.h"

#include <QDir>
#include <QTest>

namespace {

class QueueOverflowLineTest : public StartedFormTest {};

// The kernel's queue overflows under a running watch: every creation is still reported, and
// one blue line says that it overflowed and how many changes the comparison found, after them.
TEST_F(QueueOverflowLineTest, OverflowIsOneBlueLineAfterTheChangesTheComparisonFound)
{
    // Memory-backed when there is such a place: the kernel's queue is what is tested, not the disk.
    QTemporaryDir fast(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/vesmor-XXXXXX") : QString());
    const QString watched = fast.path();
    start(("[burst]\nname=burst\npanel=1\nactive=1\navilable=0\nsub=1\nfcreate=1\npath=" + watched.toUtf8() + "\n").constData());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !logLines().filter(" Started monitoring path: " + watched).isEmpty(); }, 30000));
    ASSERT_TRUE(form->ShNotify1->WaitUntilWatching());
    constexpr int kMade = 17000;  // more than the kernel's queue holds
    ChangeNotifyService::instance().pauseReading(true);
    for (int i = 0; i < kMade; ++i) touch(watched + QStringLiteral("/f%1").arg(i));
    ChangeNotifyService::instance().pauseReading(false);
    const QString overflowed = ": Watch burst: the kernel's queue of changes overflowed; comparing the folders found ";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !logLines().filter(overflowed).isEmpty(); }, 60000));
    const QString created = ": burst: File create event, file name: ";
    ASSERT_TRUE(QTest::qWaitFor([&] { return logLines().filter(created).size() >= kMade; }, 60000));

    const QStringList lines = logLines();
    ASSERT_EQ(lines.filter(overflowed).size(), 1);
    EXPECT_EQ(lines.filter(created).size(), kMade);
    qsizetype at = -1;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].contains(overflowed)) at = i;
    EXPECT_EQ(form->edt1->lineColour(at), QColor(0, 0, 255));
    // The number is that of the creations reported between the overflow and its line.
    bool ok = false;
    const int found = lines[at].section(overflowed, 1).section(u' ', 0, 0).toInt(&ok);
    ASSERT_TRUE(ok) << lines[at].toStdString();
    EXPECT_GT(found, 0);
    EXPECT_TRUE(lines[at].endsWith(found == 1 ? " 1 change" : QStringLiteral(" %1 changes").arg(found))) << lines[at].toStdString();
    EXPECT_EQ(lines.mid(at + 1).filter(created).size(), 0) << "the line comes after the changes the comparison found";
    EXPECT_LE(found, kMade);
}

}  // namespace
