// What inotify cannot hear is polled: the compare of two walks, the choice of what is polled from
// the mount table, and a real FUSE mount (bindfs) whose underlying folder is changed directly.
#include "NoticeRecorder.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/polling/FolderPoller.h"
#include "platform/polling/PollChooser.h"
#include "platform/polling/TreeSnapshot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace NoticeTesting;
using Change = PollChange::Kind;

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
bool move(const QString& from, const QString& to) { return ::rename(from.toUtf8().constData(), to.toUtf8().constData()) == 0; }

// Each case: a tree, what is done to it between two walks, and what the compare tells.
TEST(TreeSnapshotTest, TheCompareOfTwoWalksTellsEachChangeOnce)
{
    struct Case {
        const char* name;
        std::function<bool(const QString&)> before;
        std::function<bool(const QString&)> change;
        std::vector<PollChange> expected;  // paths relative to the folder
    };
    auto mk = [](const QString& p) { return QDir().mkpath(p); };
    const std::vector<Case> cases = {
        {"a file made", [](const QString&) { return true; }, [&](const QString& r) { return write(r + "/f", "x"); },
         {{Change::Created, "f", {}, false}}},
        {"a folder made with what it holds, parents first", [](const QString&) { return true; },
         [&](const QString& r) { return mk(r + "/d/e") && write(r + "/d/e/f", "x"); },
         {{Change::Created, "d", {}, true}, {Change::Created, "d/e", {}, true}, {Change::Created, "d/e/f", {}, false}}},
        {"a folder removed: what it held first", [&](const QString& r) { return mk(r + "/d/e") && write(r + "/d/e/f", "x"); },
         [](const QString& r) { return QDir(r + "/d").removeRecursively(); },
         {{Change::Deleted, "d/e/f", {}, false}, {Change::Deleted, "d/e", {}, true}, {Change::Deleted, "d", {}, true}}},
        {"a file renamed keeps its identity", [](const QString& r) { return write(r + "/a", "x"); },
         [](const QString& r) { return move(r + "/a", r + "/b"); }, {{Change::Renamed, "a", "b", false}}},
        {"a folder renamed takes what it holds along", [&](const QString& r) { return mk(r + "/d/e") && write(r + "/d/f", "x"); },
         [](const QString& r) { return move(r + "/d", r + "/g"); }, {{Change::Renamed, "d", "g", true}}},
        {"content written changes the size", [](const QString& r) { return write(r + "/f", "x"); },
         [](const QString& r) { return write(r + "/f", "longer"); }, {{Change::Changed, "f", {}, false}}},
        {"the time alone changes", [](const QString& r) { return write(r + "/f", "x"); },
         [](const QString& r) {
             const struct timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
             return ::utimensat(AT_FDCWD, (r + "/f").toUtf8().constData(), times, 0) == 0;
         },
         {{Change::Changed, "f", {}, false}}},
        {"permissions of a folder", [&](const QString& r) { return mk(r + "/d"); },
         [](const QString& r) { return ::chmod((r + "/d").toUtf8().constData(), 0700) == 0; }, {{Change::Changed, "d", {}, true}}},
        {"a file replaced by a folder of its name", [](const QString& r) { return write(r + "/x", "x"); },
         [&](const QString& r) { return QFile::remove(r + "/x") && mk(r + "/x"); },
         {{Change::Deleted, "x", {}, false}, {Change::Created, "x", {}, true}}},
        {"nothing done", [](const QString& r) { return write(r + "/f", "x"); }, [](const QString&) { return true; }, {}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString root = dir.path();
        ASSERT_TRUE(c.before(root)) << c.name;
        TreeSnapshot first;
        ASSERT_TRUE(first.walk(root.toUtf8(), true)) << c.name;
        ASSERT_TRUE(c.change(root)) << c.name;
        TreeSnapshot second;
        ASSERT_TRUE(second.walk(root.toUtf8(), true)) << c.name;
        std::vector<PollChange> expected = c.expected;
        for (PollChange& e : expected) {
            e.path = root.toUtf8() + "/" + e.path;
            if (!e.path2.isEmpty()) e.path2 = root.toUtf8() + "/" + e.path2;
        }
        EXPECT_EQ(second.changesSince(first, root.toUtf8()), expected) << c.name;
    }
}

TEST(TreeSnapshotTest, AWalkWithoutSubFoldersSeesTheDirectChildrenOnlyAndNoLinkIsFollowed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("d/e")));
    ASSERT_TRUE(write(dir.filePath("d/f"), "x"));
    ASSERT_TRUE(QFile::link(dir.filePath("d"), dir.filePath("link")));
    TreeSnapshot flat, deep;
    ASSERT_TRUE(flat.walk(dir.path().toUtf8(), false));
    ASSERT_TRUE(deep.walk(dir.path().toUtf8(), true));
    EXPECT_EQ(flat.size(), 2);  // d, link
    EXPECT_EQ(deep.size(), 4);  // d, d/e, d/f, link (not what it leads to)
    EXPECT_FALSE(TreeSnapshot().walk(dir.filePath("missing").toUtf8(), true));
}

TEST(PollChooserTest, NetworkAndFuseFoldersArePolledFromTheMountTableAlone)
{
    const QList<MountTable::Mount> mounts = {
        {"/", "ext4", "/dev/sda1"},
        {"/home/u/share", "fuse.sshfs", "u@host:"},
        {"/home/u/share/inner", "tmpfs", "tmpfs"},
        {"/mnt/nas", "nfs4", "nas:/export"},
        {"/mnt/nas/deeper", "cifs", "//srv/x"},
        {"/mnt/hidden", "fuse.bindfs", "/x"},
        {"/mnt/hidden", "ext4", "/dev/sdb1"},  // mounted over it
        {"/proc", "proc", "proc"},
    };
    struct Case {
        const char* root;
        bool recursive;
        std::vector<std::pair<QByteArray, QByteArray>> areas;  // root, lane
    };
    const std::vector<Case> cases = {
        {"/home/u", false, {}},
        {"/home/u", true, {{"/home/u/share", "/home/u/share"}}},
        {"/home/u/share/docs", true, {{"/home/u/share/docs", "/home/u/share"}}},
        {"/home/u/share/inner", true, {}},  // a local file system inside the share
        {"/mnt", true, {{"/mnt/nas", "/mnt/nas"}, {"/mnt/nas/deeper", "/mnt/nas/deeper"}}},
        {"/mnt/nas/deeper/x", false, {{"/mnt/nas/deeper/x", "/mnt/nas/deeper"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<QByteArray, QByteArray>> got;
        for (const PollChooser::Area& a : PollChooser::remoteAreas(mounts, c.root, c.recursive)) got.emplace_back(a.root, a.lane);
        EXPECT_EQ(got, c.areas) << c.root;
    }
    for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "fuse.bindfs", "fuse.gvfsd-fuse", "fuse.rclone", "9p", "afs", "ceph"})
        EXPECT_TRUE(PollChooser::isRemoteType(type)) << type;
    for (const char* type : {"ext4", "btrfs", "xfs", "tmpfs", "overlay", "proc"}) EXPECT_FALSE(PollChooser::isRemoteType(type)) << type;
}

TEST(FolderPollerTest, TheIntervalGrowsWithWhatIsPolled)
{
    EXPECT_EQ(FolderPoller::intervalFor(10).count(), 2000);
    EXPECT_EQ(FolderPoller::intervalFor(10'000).count(), 2000);
    EXPECT_GT(FolderPoller::intervalFor(100'000).count(), FolderPoller::intervalFor(20'000).count());
    EXPECT_EQ(FolderPoller::intervalFor(100'000'000).count(), 60'000);
}

// A bindfs mount of a folder of ours: what is done to the folder behind it is never seen by the
// kernel's notification of the mount.
class FuseMountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("bindfs").isEmpty()) GTEST_SKIP() << "bindfs is not installed";
        if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse here";
        ASSERT_TRUE(QDir().mkpath(under()) && QDir().mkpath(mount()));
        if (QProcess::execute("bindfs", {"--no-allow-other", under(), mount()}) != 0) GTEST_SKIP() << "bindfs can't mount here";
        mounted_ = true;
    }
    void TearDown() override
    {
        if (mounted_) QProcess::execute("fusermount3", {"-u", "-z", mount()});
    }
    QString under(const QString& rel = {}) const { return dir_.filePath(rel.isEmpty() ? "under" : "under/" + rel); }
    QString mount(const QString& rel = {}) const { return dir_.filePath(rel.isEmpty() ? "mount" : "mount/" + rel); }

    QTemporaryDir dir_;
    bool mounted_ = false;
};

TEST_F(FuseMountTest, ChangesBehindTheMountAreReportedOnceAndLocalOnesNotTwice)
{
    ASSERT_TRUE(write(under("old"), "x") && QDir().mkpath(under("sub")));
    Recorder r(mount());
    ASSERT_TRUE(r.start(mount(), true, kItemEvents));
    ASSERT_EQ(r.polled.size(), 1) << r.polled.join('\n').toStdString();
    EXPECT_TRUE(r.polled[0].contains("(fuse") && r.polled[0].contains("every 2 s")) << r.polled[0].toStdString();

    // Behind the mount: made, renamed, written, removed, a folder with what it holds.
    ASSERT_TRUE(write(under("made"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "made", "-"}); }));
    ASSERT_TRUE(move(under("old"), under("new")));
    ASSERT_TRUE(QDir().mkpath(under("sub/deep")) && write(under("sub/deep/f"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "sub/deep/f", "-"}); }));
    EXPECT_TRUE(r.has({SHCNE_RENAMEITEM, "old", "new"})) << ::testing::PrintToString(r.notices);
    EXPECT_TRUE(r.has({SHCNE_MKDIR, "sub/deep", "-"})) << ::testing::PrintToString(r.notices);
    ASSERT_TRUE(write(under("new"), "longer"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_UPDATEITEM, "new", "-"}); }));
    ASSERT_TRUE(QFile::remove(under("made")));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_DELETE, "made", "-"}); }));

    // Through the mount: the kernel tells it at once, and the poll does not tell it again.
    ASSERT_TRUE(write(mount("local"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "local", "-"}); }, 1000)) << "not heard at once";
    ASSERT_TRUE(write(mount("sub/deep/local2"), "x"));
    ASSERT_TRUE(move(mount("local"), mount("local-renamed")));
    // Two more polls: a change behind the mount made after them is heard after them.
    for (const char* sentinel : {"sentinel1", "sentinel2"}) {
        ASSERT_TRUE(write(under(sentinel), "x"));
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, sentinel, "-"}); }));
    }
    QHash<QString, int> seen;
    for (const Notice& n : r.notices) ++seen[QString::number(n.mask) + " " + n.first + " " + n.second];
    for (auto it = seen.begin(); it != seen.end(); ++it) EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    EXPECT_TRUE(r.has({SHCNE_CREATE, "sub/deep/local2", "-"}));
    EXPECT_TRUE(r.has({SHCNE_RENAMEITEM, "local", "local-renamed"})) << ::testing::PrintToString(r.notices);
    EXPECT_EQ(r.heardBeforeWatching, 0);
}

TEST_F(FuseMountTest, AFolderBesideTheMountIsNotPolled)
{
    ASSERT_TRUE(QDir().mkpath(dir_.filePath("plain")));
    Recorder r(dir_.path());
    ASSERT_TRUE(r.start(dir_.filePath("plain"), true, kItemEvents));
    EXPECT_TRUE(r.polled.isEmpty()) << r.polled.join('\n').toStdString();
}

}  // namespace

namespace {

// The watch limit is per user namespace: the test runs again in one of its own, whose limit is
// low, so that no machine-wide setting changes.
constexpr int kLimit = 40;

bool inNamespace() { return qEnvironmentVariableIsSet("VESMOR_TEST_WATCH_LIMIT_NAMESPACE"); }

TEST(WatchLimitTest, FoldersPastTheLimitArePolledAndGoBackToKernelWatchesWhenTheyAreFree)
{
    if (!inNamespace()) {
        if (QStandardPaths::findExecutable("unshare").isEmpty()) GTEST_SKIP() << "no unshare";
        QProcess inner;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VESMOR_TEST_WATCH_LIMIT_NAMESPACE", "1");
        inner.setProcessEnvironment(env);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start("unshare", {"-Ur", "sh", "-c",
                                QStringLiteral("echo %1 > /proc/sys/user/max_inotify_watches || exit 77; exec \"$0\" "
                                               "--gtest_filter=WatchLimitTest.*")
                                    .arg(kLimit),
                                QCoreApplication::applicationFilePath()});
        ASSERT_TRUE(inner.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(inner.readAll());
        if (inner.exitCode() == 77 || out.contains("unshare failed")) GTEST_SKIP() << "no user namespace here";
        EXPECT_EQ(inner.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        return;
    }
    QTemporaryDir dir, other;
    constexpr int kFolders = 60, kOther = 10;
    for (int i = 0; i < kFolders; ++i) ASSERT_TRUE(QDir().mkpath(dir.filePath(QString::number(i))));
    for (int i = 0; i < kOther; ++i) ASSERT_TRUE(QDir().mkpath(other.filePath(QString::number(i))));
    Recorder first(other.path());
    ASSERT_TRUE(first.start(other.path(), true, kItemEvents));
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kItemEvents));
    // Its start tells, once, the true number: every folder that got no watch.
    const int polled = kFolders + 1 - (kLimit - (kOther + 1));
    EXPECT_TRUE(r.warning.contains(QStringLiteral("limit on watched folders has been reached at %1/").arg(dir.path())))
        << r.warning.toStdString();
    EXPECT_TRUE(r.warning.contains(QStringLiteral("%1 folders are polled every 2 s").arg(polled))) << r.warning.toStdString();

    // A change in every folder, watched or polled, is heard once.
    for (int i = 0; i < kFolders; ++i) ASSERT_TRUE(write(dir.filePath(QString::number(i) + "/f"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.only(SHCNE_CREATE).size() >= kFolders; }));
    // A folder made there, with what it already holds.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("new/inner")) && write(dir.filePath("new/inner/f"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "new/inner/f", "-"}); }));
    EXPECT_TRUE(r.has({SHCNE_MKDIR, "new", "-"}) && r.has({SHCNE_MKDIR, "new/inner", "-"})) << ::testing::PrintToString(r.notices);

    // The other watch stops: its watches go to folders that were polled.
    first.stop();
    ASSERT_TRUE(waitFor([&] { return ChangeNotifyService::instance().watchedFolderCount() == kLimit; }))
        << ChangeNotifyService::instance().watchedFolderCount();
    ASSERT_TRUE(write(dir.filePath("0/g"), "x") && write(dir.filePath("59/g"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "0/g", "-"}) && r.has({SHCNE_CREATE, "59/g", "-"}); }));
    ASSERT_TRUE(write(dir.filePath("sentinel"), "x"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "sentinel", "-"}); }));
    // Two more polls, so that anything told twice would be.
    for (const char* s : {"s1", "s2"}) {
        ASSERT_TRUE(write(dir.filePath(QString::number(kFolders - 1) + "/" + s), "x"));
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, QString::number(kFolders - 1) + "/" + s, "-"}); }));
    }
    QHash<QString, int> seen;
    for (const Notice& n : r.only(SHCNE_CREATE | SHCNE_MKDIR)) ++seen[n.first];
    for (auto it = seen.begin(); it != seen.end(); ++it) EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join('\n').toStdString();
}

}  // namespace
