#include "InstanceTestSupport.h"

#include "instance/TJclAppInstances.h"
#include "platform/boxes/AppException.h"
#include "platform/runtime/ProcessInfo.h"
#include "platform/runtime/ProcessLock.h"
#include "platform/runtime/SharedMemoryBlock.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace instance_test;

namespace {

struct RegistryTest : ::testing::Test {
    QString key = uniqueKey("registry");
    KeyCleanup cleanup{key};

    std::unique_ptr<TJclAppInstances> open(qint64 pid = ProcessInfo::currentProcessId())
    {
        return std::make_unique<TJclAppInstances>(key, testExecutable(), pid);
    }
};

TEST(InstanceKey, IsJclAndThePathUpperCasedWithSlashesAsUnderscores)
{
    const struct {
        const char* path;
        const char* key;
    } cases[] = {
        {"/usr/bin/vesmor", "JCL_USR_BIN_VESMOR"},
        {"/home/u/Tools/VSM25", "JCL_HOME_U_TOOLS_VSM25"},
        {"/opt/My App/v.2/vesmor", "JCL_OPT_MY APP_V.2_VESMOR"},
        {"/opt/gr\xc3\xbc\xc3\x9f/x", "JCL_OPT_GR\xc3\x9cSS_X"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TJclAppInstances::InstanceKey(QString::fromUtf8(c.path)), QString::fromUtf8(c.key)) << c.path;
    EXPECT_EQ(TJclAppInstances::RegistryName(QStringLiteral("JCL_X")), QStringLiteral("JCL_X_All"));
    EXPECT_EQ(TJclAppInstances::LockName(QStringLiteral("JCL_X")), QStringLiteral("JCL_X_Otx"));
}

TEST_F(RegistryTest, BlockHoldsLimitCountAndIdsLittleEndian)
{
    auto registry = open();
    ASSERT_TRUE(registry->Register());

    SharedMemoryBlock raw;
    ASSERT_TRUE(raw.open(TJclAppInstances::RegistryName(key), TJclAppInstances::BlockSize));
    const auto* bytes = static_cast<const uchar*>(raw.data());
    EXPECT_EQ(TJclAppInstances::BlockSize, 1032u);
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 0), 65535);
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 2), 1);
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 4), quint32(ProcessInfo::currentProcessId()));
    EXPECT_EQ(qFromLittleEndian<quint32>(bytes + 8), 0u);

    registry->Unregister();
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 2), 0);
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes + 0), 65535);  // stays once set
}

TEST_F(RegistryTest, KeepsRegistrationOrderAcrossProcessesAndDropsEndedOnes)
{
    auto viewer = open(0);
    EXPECT_EQ(viewer->InstanceCount(), 0);
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 3; ++i) {
        children.push_back(startRegistered(key));
        ASSERT_TRUE(children.back());
    }
    const QList<qint64> all{children[0]->pid(), children[1]->pid(), children[2]->pid()};
    EXPECT_EQ(viewer->ProcessIds(), all);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(viewer->ProcessIdAt(i), all[i]);
    EXPECT_EQ(viewer->ProcessIdAt(3), 0);
    EXPECT_EQ(viewer->ProcessIdAt(-1), 0);
    EXPECT_EQ(viewer->OwnIndex(), -1);

    // The one in the middle ends normally: it takes itself off, the others keep their order.
    children[1]->closeInput();
    ASSERT_TRUE(children[1]->waitForExit());
    EXPECT_EQ(children[1]->exitCode(), 0);
    EXPECT_EQ(viewer->ProcessIds(), (QList<qint64>{all[0], all[2]}));

    // The first is killed: its id stays until it is pruned.
    children[0]->kill9();
    EXPECT_EQ(viewer->ProcessIds(), (QList<qint64>{all[0], all[2]}));
    EXPECT_EQ(viewer->PruneEndedProcesses(), 1);
    EXPECT_EQ(viewer->ProcessIds(), QList<qint64>{all[2]});
    EXPECT_EQ(viewer->PruneEndedProcesses(), 0);
}

TEST_F(RegistryTest, OwnIndexFollowsTheOthersBeforeIt)
{
    auto first = startRegistered(key);
    ASSERT_TRUE(first);
    auto own = open();
    EXPECT_EQ(own->OwnIndex(), -1);
    ASSERT_TRUE(own->Register());
    EXPECT_EQ(own->OwnIndex(), 1);
    first->closeInput();
    ASSERT_TRUE(first->waitForExit());
    EXPECT_EQ(own->OwnIndex(), 0);
    own.reset();  // released: unregistered
    EXPECT_EQ(open(0)->InstanceCount(), 0);
}

TEST_F(RegistryTest, TheLastCopyToLeaveRemovesTheSharedObjects)
{
    const QString names[] = {TJclAppInstances::RegistryName(key),
                             ProcessLock::blockName(TJclAppInstances::LockName(key))};
    auto first = startRegistered(key);
    ASSERT_TRUE(first);
    auto own = open();
    ASSERT_TRUE(own->Register());
    own.reset();  // the first still runs: its objects stay
    for (const QString& name : names) EXPECT_TRUE(SharedMemoryBlock::exists(name)) << qPrintable(name);
    first->closeInput();
    ASSERT_TRUE(first->waitForExit());
    for (const QString& name : names) EXPECT_FALSE(SharedMemoryBlock::exists(name)) << qPrintable(name);

    auto next = open();
    ASSERT_TRUE(next->Register());
    EXPECT_EQ(next->ProcessIds(), QList<qint64>{ProcessInfo::currentProcessId()});
}

TEST_F(RegistryTest, AnIdHandedOnToAnotherProgramIsPruned)
{
    // A crashed copy's id may be reused by an unrelated process; that one must not lock us out.
    QProcess other;
    other.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(other.waitForStarted());
    {
        auto stranger = open(other.processId());
        ASSERT_TRUE(stranger->Register());
        auto viewer = open(0);
        EXPECT_EQ(viewer->InstanceCount(), 1);
        EXPECT_EQ(viewer->PruneEndedProcesses(), 1);
        EXPECT_EQ(viewer->InstanceCount(), 0);
    }
    other.kill();
    other.waitForFinished();
}

TEST_F(RegistryTest, RegistrationDropsEndedCopiesFirstAndRefusesAFullList)
{
    auto own = open();
    for (int i = 0; i < TJclAppInstances::MaxProcessIds; ++i) ASSERT_TRUE(own->Register()) << i;
    EXPECT_FALSE(own->Register());
    EXPECT_EQ(own->InstanceCount(), TJclAppInstances::MaxProcessIds);

    // A full list of copies that ended makes room again.
    SharedMemoryBlock raw;
    ASSERT_TRUE(raw.open(TJclAppInstances::RegistryName(key), TJclAppInstances::BlockSize));
    auto* bytes = static_cast<uchar*>(raw.data());
    for (int i = 0; i < TJclAppInstances::MaxProcessIds; ++i) qToLittleEndian<quint32>(999999999u, bytes + 4 + 4 * i);
    EXPECT_TRUE(own->Register());
    EXPECT_EQ(own->ProcessIds(), QList<qint64>{ProcessInfo::currentProcessId()});
}

TEST_F(RegistryTest, ADamagedCountNeverReadsPastTheBlock)
{
    auto own = open();
    SharedMemoryBlock raw;
    ASSERT_TRUE(raw.open(TJclAppInstances::RegistryName(key), TJclAppInstances::BlockSize));
    qToLittleEndian<quint16>(60000, static_cast<uchar*>(raw.data()) + 2);
    EXPECT_EQ(own->InstanceCount(), TJclAppInstances::MaxProcessIds);
    EXPECT_EQ(own->ProcessIdAt(300), 0);
    own->PruneEndedProcesses();  // every slot holds 0: none of them runs
    EXPECT_EQ(own->InstanceCount(), 0);
    EXPECT_TRUE(own->Register());
    EXPECT_EQ(own->OwnIndex(), 0);
}

TEST_F(RegistryTest, NamesTheObjectThatCouldNotBeCreated)
{
    const struct {
        QString blockName;
        const char* text;
    } cases[] = {
        {QStringLiteral("Optex_MMF_") + TJclAppInstances::LockName(key), "Failed to create FileMapping "},
        {TJclAppInstances::RegistryName(key), "Failed to create FileMapping "},
    };
    for (const auto& c : cases) {
        // A folder where the block should be can't be opened as one.
        const QString path = SharedMemoryBlock::systemName(c.blockName);
        ASSERT_TRUE(QDir().mkdir(path)) << qPrintable(path);
        try {
            open();
            ADD_FAILURE() << "no error for " << qPrintable(path);
        } catch (const AppException& e) {
            EXPECT_TRUE(e.message().startsWith(QString::fromLatin1(c.text))) << qPrintable(e.message());
            EXPECT_TRUE(e.message().contains(SharedMemoryBlock::systemName(c.blockName))) << qPrintable(e.message());
        }
        QDir().rmdir(path);
    }
}

}  // namespace
