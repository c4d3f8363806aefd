#include "platform/runtime/SwitchChannel.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QUuid>
#include <gtest/gtest.h>

#include <future>

#include <unistd.h>

namespace {

struct SwitchChannelTest : ::testing::Test {
    QString name = QStringLiteral("VesmorTestChannel_") + QUuid::createUuid().toString(QUuid::Id128);
    ~SwitchChannelTest() override { QFile::remove(SwitchChannel::socketPath(name)); }

    // Asks from another thread, as another process would, while this thread serves.
    std::optional<QByteArray> ask(const QByteArray& request, int timeoutMs = 5000)
    {
        auto answer = std::async(std::launch::async, [&] { return SwitchChannel::ask(name, request, timeoutMs); });
        waitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        return answer.get();
    }
};

TEST_F(SwitchChannelTest, AnswersEachRequestThroughItsHandler)
{
    SwitchListener listener;
    QList<QByteArray> seen;
    listener.setHandler([&](const QByteArray& request) {
        seen << request;
        return "re: " + request;
    });
    ASSERT_TRUE(listener.listen(name)) << qPrintable(listener.errorString());
    EXPECT_EQ(ask("forward 1 2"), QByteArray("re: forward 1 2"));
    EXPECT_EQ(ask(""), QByteArray("re: "));
    EXPECT_EQ(seen, (QList<QByteArray>{"forward 1 2", ""}));

    // Only this user may connect.
    const QFileInfo socket(SwitchChannel::socketPath(name));
    EXPECT_TRUE(socket.exists());
    EXPECT_EQ(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());
}

TEST_F(SwitchChannelTest, NoListenerMeansNoAnswer)
{
    QDeadlineTimer took;
    EXPECT_EQ(SwitchChannel::ask(name, "forward 1 2", 5000), std::nullopt);
    // A socket left behind by a listener that died answers no one either.
    {
        SwitchListener gone;
        ASSERT_TRUE(gone.listen(name));
    }
    QFile stale(SwitchChannel::socketPath(name));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    EXPECT_EQ(SwitchChannel::ask(name, "forward 1 2", 5000), std::nullopt);
}

TEST_F(SwitchChannelTest, TakesOverASocketLeftBehind)
{
    QFile stale(SwitchChannel::socketPath(name));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    SwitchListener listener;
    listener.setHandler([](const QByteArray&) { return QByteArray("here"); });
    ASSERT_TRUE(listener.listen(name)) << qPrintable(listener.errorString());
    EXPECT_EQ(ask("x"), QByteArray("here"));
}

TEST_F(SwitchChannelTest, AnotherUsersSocketUnderTheNameIsNeitherAskedNorTakenOver)
{
    if (::geteuid() != 0) GTEST_SKIP() << "giving a socket away needs root";
    SwitchListener planted;
    planted.setHandler([](const QByteArray&) { return QByteArray("planted"); });
    ASSERT_TRUE(planted.listen(name));
    const QByteArray path = QFile::encodeName(SwitchChannel::socketPath(name));
    ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);

    EXPECT_EQ(ask("forward 1 2"), std::nullopt);
    SwitchListener mine;
    EXPECT_FALSE(mine.listen(name));
    EXPECT_TRUE(mine.errorString().contains(QStringLiteral("not ours"))) << qPrintable(mine.errorString());
    EXPECT_TRUE(QFileInfo::exists(SwitchChannel::socketPath(name)));
}

TEST_F(SwitchChannelTest, DropsOverlongRequestsAndGoesOnServing)
{
    SwitchListener listener;
    int calls = 0;
    listener.setHandler([&](const QByteArray&) {
        ++calls;
        return QByteArray("ok");
    });
    ASSERT_TRUE(listener.listen(name));
    EXPECT_EQ(ask(QByteArray(100000, 'a')), std::nullopt);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(ask("again"), QByteArray("ok"));
    EXPECT_EQ(calls, 1);
}

TEST_F(SwitchChannelTest, AnyNameMakesAWorkingChannel)
{
    // A key far longer than a socket address holds.
    name = QString(2000, u'A') + QUuid::createUuid().toString(QUuid::Id128);
    const QString other = name + u'B';
    EXPECT_NE(SwitchChannel::socketPath(name), SwitchChannel::socketPath(other));
    EXPECT_EQ(SwitchChannel::socketPath(name), SwitchChannel::socketPath(name));
    SwitchListener listener;
    listener.setHandler([](const QByteArray&) { return QByteArray("long"); });
    ASSERT_TRUE(listener.listen(name)) << qPrintable(listener.errorString());
    EXPECT_EQ(ask("x"), QByteArray("long"));
}

}  // namespace
