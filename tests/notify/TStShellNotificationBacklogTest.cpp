// A watch whose handler keeps a box open while a burst comes: the notices waiting for it stay
// bounded, and once the box is closed every file made meanwhile is raised, once each.
#include "notify/TStShellNotification.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/shell/ShellNamespace.h"
#include "support/FileBytes.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Waits longer than the shared helper by default: bursts of many thousand notices.
bool waitLong(const std::function<bool()>& condition, int ms = 30000) { return waitFor(condition, ms); }

// Another registration: once it hears of a file made after a burst, the service has read the
// burst (the kernel's events come in order).
class Fence : public ShellNoticeWindow {
public:
    explicit Fence(const QString& folder) : folder_(folder)
    {
        id_ = SHChangeNotifyRegister(this, 3, SHCNE_CREATE, {ShellNamespace::parse(folder), false});
        EXPECT_TRUE(waitLong([&] { return watching_; }));
    }
    ~Fence() override { SHChangeNotifyDeregister(id_); }
    void pass()
    {
        const QString name = QStringLiteral("fence%1").arg(count_++);
        touch(folder_ + u'/' + name);
        ASSERT_TRUE(waitLong([&] { return heard_.contains(name); }));
    }
    void shellNotice(const ItemIdList* first, const ItemIdList*, quint32) override
    {
        if (first) heard_ << first->lastText();
    }
    void shellNoticeError(const QString&) override {}
    void shellNoticeWatching(const QString&) override { watching_ = true; }

private:
    QString folder_;
    quint32 id_ = 0;
    bool watching_ = false;
    int count_ = 0;
    QStringList heard_;
};

TEST(TStShellNotificationBacklogTest, AHandlerHoldingABoxOpenKeepsTheQueueBoundedAndLosesNothing)
{
    ChangeNotifyService& service = ChangeNotifyService::instance();
    const int savedLimit = service.backlogLimit();
    service.setBacklogLimit(200);
    QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/vesmor-XXXXXX") : QString());
    ASSERT_TRUE(QDir().mkpath(dir.filePath("w")) && QDir().mkpath(dir.filePath("fence")));
    Fence fence(dir.filePath("fence"));

    TStShellNotification n;
    n.SetWatchFolder(dir.filePath("w"));
    n.SetNotifyEvents({neFileCreate});
    n.SetActive(true);
    ASSERT_TRUE(n.WaitUntilWatching());
    constexpr int kBatches = 10, kEach = 300;
    QHash<QString, int> raised;
    int mostWaiting = 0;
    n.OnFileCreate = [&](TObject*, TStShellItem* item) {
        ++raised[item->DisplayName()];
        if (item->DisplayName() != "opens-the-box") return;
        // The box's own event loop runs while the burst comes.
        for (int b = 0; b < kBatches; ++b) {
            for (int i = 0; i < kEach; ++i) touch(dir.filePath(QStringLiteral("w/b%1-%2").arg(b).arg(i)));
            fence.pass();
            mostWaiting = std::max(mostWaiting, n.QueueCount());
        }
    };
    touch(dir.filePath("w/opens-the-box"));
    ASSERT_TRUE(waitLong([&] { return raised.size() == kBatches * kEach + 1; })) << raised.size();
    fence.pass();
    service.setBacklogLimit(savedLimit);
    // Without the bound every one of the burst's notices would have waited.
    EXPECT_LT(mostWaiting, kBatches * kEach / 3) << mostWaiting;
    EXPECT_GE(mostWaiting, 200);
    for (auto it = raised.cbegin(); it != raised.cend(); ++it) ASSERT_EQ(it.value(), 1) << it.key().toStdString();
}

}  // namespace
