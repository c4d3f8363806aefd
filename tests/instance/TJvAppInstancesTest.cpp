#include "InstanceTestSupport.h"

#include "instance/TJvAppInstances.h"
#include "platform/runtime/ProcessInfo.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <future>

using namespace instance_test;

namespace {

std::unique_ptr<TJclAppInstances> openRegistry(const QString& key, qint64 pid = ProcessInfo::currentProcessId())
{
    return std::make_unique<TJclAppInstances>(key, testExecutable(), pid);
}

// Asks from another thread, as another copy would, while this thread keeps serving events.
QByteArray askFromOutside(const QString& key, const QByteArray& request)
{
    auto answer = std::async(std::launch::async, [key, request] { return SwitchChannel::ask(key, request, 5000); });
    waitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    const auto result = answer.get();
    return result ? *result : QByteArray("(no answer)");
}

TEST(TJvAppInstances, VerdictFollowsThePlaceInTheRegistryAndMaxInstances)
{
    const struct {
        int before;
        int maxInstances;
        bool active;
        TJvAppInstances::Verdict verdict;
    } cases[] = {
        {0, 1, true, TJvAppInstances::Verdict::Run},
        {1, 1, true, TJvAppInstances::Verdict::Refused},
        {2, 1, true, TJvAppInstances::Verdict::Refused},
        {1, 2, true, TJvAppInstances::Verdict::Run},
        {2, 2, true, TJvAppInstances::Verdict::Refused},
        {1, 1, false, TJvAppInstances::Verdict::Run},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "before " << c.before << ", max " << c.maxInstances << ", active "
                                        << c.active);
        const QString key = uniqueKey("verdict");
        KeyCleanup cleanup{key};
        std::vector<std::unique_ptr<Child>> others;
        QList<qint64> otherIds;
        for (int i = 0; i < c.before; ++i) {
            others.push_back(startRegistered(key));
            ASSERT_TRUE(others.back());
            otherIds << others.back()->pid();
        }
        auto registry = openRegistry(key);
        TJvAppInstances guard(*registry);
        EXPECT_EQ(registry->OwnIndex(), c.before);  // registered as it is created
        guard.setActive(c.active);
        guard.setMaxInstances(c.maxInstances);
        guard.setAutoActivate(false);
        int rejected = 0;
        int indexWhenRejected = -2;
        guard.OnRejected = [&](QObject* sender) {
            EXPECT_EQ(sender, &guard);
            ++rejected;
            indexWhenRejected = registry->OwnIndex();
        };

        EXPECT_EQ(guard.Check(), c.verdict);
        if (c.verdict == TJvAppInstances::Verdict::Refused) {
            EXPECT_EQ(rejected, 1);
            EXPECT_EQ(indexWhenRejected, c.before);  // still registered while it says so
            EXPECT_EQ(registry->ProcessIds(), otherIds);  // then off the list
        } else {
            EXPECT_EQ(rejected, 0);
            EXPECT_EQ(registry->OwnIndex(), c.active ? c.before : -1);
        }
    }
}

TEST(TJvAppInstances, ACopyThatFindsTheListFullIsRefused)
{
    const QString key = uniqueKey("full");
    KeyCleanup cleanup{key};
    auto filler = openRegistry(key);
    for (int i = 0; i < TJclAppInstances::MaxProcessIds; ++i) ASSERT_TRUE(filler->Register());

    auto idle = std::make_unique<Child>(testExecutable(), QStringList(), helperEnvironment("idle"));
    ASSERT_TRUE(idle->waitForOut("idle"));
    auto registry = openRegistry(key, idle->pid());
    TJvAppInstances guard(*registry);
    guard.setAutoActivate(false);
    int rejected = 0;
    guard.OnRejected = [&](QObject*) { ++rejected; };
    EXPECT_EQ(guard.Check(), TJvAppInstances::Verdict::Refused);
    EXPECT_EQ(rejected, 1);
}

TEST(TJvAppInstances, RunningCopyComesForwardWhenAsked)
{
    const QString key = uniqueKey("forward");
    KeyCleanup cleanup{key};
    auto registry = openRegistry(key);
    TJvAppInstances guard(*registry);
    ASSERT_EQ(guard.Check(), TJvAppInstances::Verdict::Run);
    const qint64 own = ProcessInfo::currentProcessId();
    const QByteArray request = TJclAppInstances::ForwardRequest(own, 4242);

    // Asked before the window exists: it comes forward as soon as it is handed over.
    EXPECT_EQ(askFromOutside(key, request), "pending");
    QWidget window;
    EXPECT_FALSE(window.isVisible());
    guard.setMainWindow(&window);
    EXPECT_TRUE(window.isVisible());

    window.hide();
    EXPECT_EQ(askFromOutside(key, request), "shown");
    EXPECT_TRUE(window.isVisible());

    window.showMinimized();
    EXPECT_EQ(askFromOutside(key, request), "shown");
    EXPECT_FALSE(window.isMinimized());

    // Requests meant for another process or malformed ones change nothing.
    window.hide();
    EXPECT_EQ(askFromOutside(key, TJclAppInstances::ForwardRequest(own + 1, 4242)), "elsewhere");
    EXPECT_EQ(askFromOutside(key, "forward me"), "");
    EXPECT_EQ(askFromOutside(key, "forward 1 2 3"), "");
    EXPECT_FALSE(window.isVisible());

    // The main window's own way of coming forward (out of the tray) is used when given.
    int calls = 0;
    guard.setMainWindow(&window, [&] {
        ++calls;
        window.show();
    });
    EXPECT_EQ(askFromOutside(key, request), "shown");
    EXPECT_EQ(calls, 1);
    guard.setMainWindow(&window, [&] { ++calls; });
    window.hide();
    EXPECT_EQ(askFromOutside(key, request), "hidden");
    EXPECT_EQ(calls, 2);
}

TEST(TJvAppInstances, SwitchToReachesTheCopyAtThatPlace)
{
    const QString key = uniqueKey("switch");
    KeyCleanup cleanup{key};
    auto first = startRegistered(key);  // registered, but listens to no one
    ASSERT_TRUE(first);
    auto registry = openRegistry(key);
    ASSERT_TRUE(registry->Register());

    // Nobody answers: the switch gives up once the time is over.
    EXPECT_FALSE(registry->SwitchTo(0));
    EXPECT_FALSE(registry->SwitchTo(5));  // no copy there
    EXPECT_FALSE(registry->SwitchTo(1));  // itself

    // A listener under the key answering for the first copy's id.
    SwitchListener listener;
    QByteArray seen;
    listener.setHandler([&](const QByteArray& request) {
        seen = request;
        return QByteArray("shown");
    });
    ASSERT_TRUE(listener.listen(key));
    auto switched = std::async(std::launch::async, [&] { return registry->SwitchTo(0); });
    waitFor([&] { return switched.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    EXPECT_TRUE(switched.get());
    EXPECT_EQ(seen, TJclAppInstances::ForwardRequest(first->pid(), ProcessInfo::currentProcessId()));
}

}  // namespace
