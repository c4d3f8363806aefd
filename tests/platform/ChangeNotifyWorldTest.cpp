// The change-notification service on the file systems people have: folders reached through
// links, names that are not UTF-8, the kernel's queue overflowing, folders moved in while the
// reader is late, several watches on one tree, volumes that go away.
#include "NoticeRecorder.h"
#include "platform/changes/ChangeBackend.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/text/PathBytes.h"
#include "platform/shell/ShellNamespace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace NoticeTesting;

// Files and folders made by their exact bytes.
bool makeFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}
bool makeFile(const QString& path) { return makeFile(PathBytes::encode(path)); }
bool makeFolder(const QString& path) { return QDir().mkpath(path); }
bool move(const QString& from, const QString& to)
{
    return ::rename(PathBytes::encode(from).constData(), PathBytes::encode(to).constData()) == 0;
}

// A folder in memory when there is one: the kernel's queue is tested, not the disk.
QString fastBase() { return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/vesmor-XXXXXX") : QString(); }

// How often each notice was heard.
QHash<QString, int> counts(const Recorder& r, quint32 mask)
{
    QHash<QString, int> n;
    for (const Notice& x : r.notices)
        if (x.mask == mask) ++n[x.first];
    return n;
}

class ChangeNotifyWorldTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString at(const QString& rel) const { return dir.filePath(rel); }

    // Once a file made at `sentinel` is heard, everything before it has been.
    static void settle(Recorder& r, const QString& sentinel, const QString& rel)
    {
        ASSERT_TRUE(makeFile(sentinel));
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, rel, "-"}); }, 30000)) << rel.toStdString();
    }
};

// A folder reached through a link is heard under the path it was registered with, whatever
// other path reaches the same folder; links inside the tree are items, never followed.
TEST_F(ChangeNotifyWorldTest, LinkedFolderIsHeardUnderThePathItWasRegisteredWith)
{
    const QString real = at("data/docs"), outside = at("elsewhere");
    ASSERT_TRUE(makeFolder(real) && makeFolder(outside) && makeFolder(at("home")) && makeFolder(at("mid")));
    ASSERT_TRUE(QFile::link(real, at("home/Documents")));  // the folder itself is a link
    ASSERT_TRUE(QFile::link(at("data"), at("mid/data")));  // a link on the way to it
    struct Place {
        const char* what;
        QString path;
    };
    const Place places[] = {{"the real path", real}, {"a link to the folder", at("home/Documents")},
                            {"a link on the way", at("mid/data/docs")}};
    std::vector<std::unique_ptr<Recorder>> recorders;
    for (const Place& p : places) {
        recorders.push_back(std::make_unique<Recorder>(p.path));
        ASSERT_TRUE(recorders.back()->start(p.path, true, kItemEvents)) << p.what;
    }
    ASSERT_TRUE(makeFile(real + "/a"));
    ASSERT_TRUE(makeFolder(real + "/sub"));
    ASSERT_TRUE(makeFile(at("home/Documents/sub/b")));
    ASSERT_TRUE(QFile::link(outside, real + "/escape"));
    ASSERT_TRUE(makeFile(outside + "/not-ours"));
    ASSERT_TRUE(makeFile(at("mid/data/docs/escape/still-not-ours")));
    for (size_t i = 0; i < recorders.size(); ++i) {
        SCOPED_TRACE(places[i].what);
        Recorder& r = *recorders[i];
        settle(r, real + "/zz", "zz");
        EXPECT_EQ(r.notices, QList<Notice>({{SHCNE_CREATE, "a", "-"},
                                            {SHCNE_MKDIR, "sub", "-"},
                                            {SHCNE_CREATE, "sub/b", "-"},
                                            {SHCNE_CREATE, "escape", "-"},
                                            {SHCNE_CREATE, "zz", "-"}}));
        // Whole paths under the registration's own, and the link is a file item.
        ASSERT_EQ(r.firstLists.size(), 5);
        EXPECT_EQ(ShellNamespace::pathOf(r.firstLists[0]), places[i].path + "/a");
        EXPECT_EQ(r.firstLists[3].lastKind(), ItemIdList::Kind::File);
    }
}

// Names are bytes: a folder and a file whose names are not UTF-8 are watched and reported with
// their exact bytes.
TEST_F(ChangeNotifyWorldTest, NamesThatAreNotUtf8AreReportedWithTheirExactBytes)
{
    const QByteArray base = PathBytes::encode(dir.path());
    const QByteArray folder = base + "/d\xE9j\xE0";       // Latin-1 "déjà"
    const QByteArray file = folder + "/caf\xE9 \xFF.txt";  // Latin-1 "café", and a byte no text has
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kItemEvents));
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    ASSERT_TRUE(makeFile(file));
    settle(r, at("zz"), "zz");
    ASSERT_EQ(r.firstLists.size(), 3);
    EXPECT_EQ(r.notices[0].mask, SHCNE_MKDIR);
    EXPECT_EQ(PathBytes::encode(ShellNamespace::pathOf(r.firstLists[0])), folder);
    EXPECT_EQ(r.notices[1].mask, SHCNE_CREATE);
    EXPECT_EQ(PathBytes::encode(ShellNamespace::pathOf(r.firstLists[1])), file);
    EXPECT_EQ(PathBytes::encode(r.firstLists[1].lastText()), QByteArray("caf\xE9 \xFF.txt"));
}

// A watch without its sub-folders hears a sub-folder's own changes, and not what happens inside
// it, the same way whether or not anyone else watches that sub-folder.
TEST_F(ChangeNotifyWorldTest, ANonRecursiveWatchHearsASubFolderTheSameWayWhoeverElseWatchesIt)
{
    const char* others[] = {"nobody else", "a watch on the sub-folder", "a watch on the sub-folder's own"};
    QList<QList<Notice>> heard;
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE(others[c]);
        const QString top = at(QStringLiteral("case%1").arg(c));
        ASSERT_TRUE(makeFolder(top + "/s/deep"));
        Recorder other(top);
        if (c > 0) {
            ASSERT_TRUE(other.start(top + "/s", c == 2, kChangeEvents));
        }
        Recorder r(top);
        ASSERT_TRUE(r.start(top, false, kChangeEvents));
        ASSERT_TRUE(makeFile(top + "/s/inside"));
        ASSERT_TRUE(makeFile(top + "/s/deep/deeper"));
        ASSERT_EQ(::chmod(PathBytes::encode(top + "/s").constData(), 0700), 0);
        settle(r, top + "/zz", "zz");
        EXPECT_TRUE(r.has({SHCNE_UPDATEDIR, ".", "-"}));
        QList<Notice> aboutOthers;
        for (const Notice& n : r.notices)
            if (n.first != ".") aboutOthers << n;
        heard << aboutOthers;
    }
    const QList<Notice> expected = {{SHCNE_UPDATEDIR, "s", "-"}, {SHCNE_CREATE, "zz", "-"}};
    for (int c = 0; c < 3; ++c) EXPECT_EQ(heard[c], expected) << others[c];
}

// Association folders that do not exist yet when the first registration asks for them are
// watched once they are made.
TEST_F(ChangeNotifyWorldTest, AssociationFolderMadeLaterIsWatchedToo)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QString config = at("later/config");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    {
        Recorder r(dir.path());
        ASSERT_TRUE(r.start(dir.path(), false, SHCNE_ASSOCCHANGED));
        ASSERT_TRUE(makeFolder(config));
        // The folder is found shortly after it is made: write until the change is heard.
        int round = 0;
        EXPECT_TRUE(waitFor([&] {
            QFile f(config + "/mimeapps.list");
            if (f.open(QIODevice::WriteOnly)) f.write(QByteArray::number(round++));
            return r.has({SHCNE_ASSOCCHANGED, "-", "-"});
        }));
    }
    if (saved.isNull()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", saved);
}

// The kernel's queue overflows while the reader is stalled: afterwards every registration hears
// a change of its folder, then every file and folder made or removed meanwhile, once each.
TEST_F(ChangeNotifyWorldTest, OverflowIsFollowedByAComparisonThatReportsEveryChangeOnce)
{
    QTemporaryDir fast(fastBase());
    const QString f = fast.path();
    ASSERT_TRUE(makeFolder(f + "/sub") && makeFolder(f + "/old/inner"));
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(makeFile(f + QStringLiteral("/sub/old%1").arg(i)));
    ASSERT_TRUE(makeFile(f + "/old/inner/x") && makeFile(f + "/old/y"));
    Recorder r(f);
    ASSERT_TRUE(r.start(f, true, kChangeEvents));
    ChangeNotifyService::instance().pauseReading(true);
    constexpr int kMade = 17000;  // more than the kernel's queue holds
    for (int i = 0; i < kMade; ++i) ASSERT_TRUE(makeFile(f + QStringLiteral("/sub/new%1").arg(i)));
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(QFile::remove(f + QStringLiteral("/sub/old%1").arg(i)));
    ASSERT_TRUE(QDir(f + "/old").removeRecursively());
    ASSERT_TRUE(makeFolder(f + "/came/along") && makeFile(f + "/came/along/z"));
    ChangeNotifyService::instance().pauseReading(false);
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_UPDATEDIR, ".", "-"}); }, 30000));
    // What is read later waits for the comparison, but only so long: on a slow machine it may
    // come first.
    ASSERT_TRUE(waitFor([&] { return counts(r, SHCNE_CREATE).size() >= kMade + 1; }, 30000));
    settle(r, f + "/zz", "zz");

    const QHash<QString, int> made = counts(r, SHCNE_CREATE), gone = counts(r, SHCNE_DELETE);
    for (int i = 0; i < kMade; ++i) ASSERT_EQ(made.value(QStringLiteral("sub/new%1").arg(i)), 1) << i;
    for (int i = 0; i < 200; ++i) ASSERT_EQ(gone.value(QStringLiteral("sub/old%1").arg(i)), 1) << i;
    EXPECT_EQ(gone.value("old/inner/x"), 1);
    EXPECT_EQ(gone.value("old/y"), 1);
    EXPECT_EQ(counts(r, SHCNE_RMDIR), (QHash<QString, int>{{"old", 1}, {"old/inner", 1}}));
    EXPECT_EQ(counts(r, SHCNE_MKDIR), (QHash<QString, int>{{"came", 1}, {"came/along", 1}}));
    EXPECT_EQ(made.value("came/along/z"), 1);
    EXPECT_TRUE(r.errors.isEmpty()) << r.errors.join('|').toStdString();

    // One overflow, told after what the comparison found, with how many changes that was:
    // the items heard since the folder change that began it (nothing else changed meanwhile).
    ASSERT_EQ(r.overflows.size(), 1);
    const qsizetype began = r.notices.indexOf(Notice{SHCNE_UPDATEDIR, ".", "-"});
    int items = 0;
    for (qsizetype i = began + 1; i < r.overflows[0].heardBefore; ++i)
        if (r.notices[i].mask & (SHCNE_CREATE | SHCNE_DELETE | SHCNE_MKDIR | SHCNE_RMDIR)) ++items;
    EXPECT_GT(items, 0);
    EXPECT_EQ(r.overflows[0].found, items);
    for (qsizetype i = r.overflows[0].heardBefore; i < r.notices.size(); ++i)
        EXPECT_TRUE(r.notices[i].first.startsWith("zz") || r.notices[i].mask == SHCNE_UPDATEDIR) << "only the end follows: " << ::testing::PrintToString(r.notices[i]);
}

// A window that falls too far behind is held back: no more notices queue up for it, and once
// it has caught up it hears a change of its folder and every item made or removed meanwhile.
TEST_F(ChangeNotifyWorldTest, AWindowThatFallsBehindIsHeldBackAndHearsTheDifferenceLater)
{
    class SlowWindow : public Recorder {
    public:
        using Recorder::Recorder;
        int shellNoticeBacklog() const override { return backlog; }
        int backlog = 0;
    };
    ChangeNotifyService& service = ChangeNotifyService::instance();
    const int savedLimit = service.backlogLimit();
    service.setBacklogLimit(50);
    ASSERT_TRUE(makeFolder(at("w")));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(makeFile(at(QStringLiteral("w/before%1").arg(i))));
    SlowWindow r(at("w"));
    ASSERT_TRUE(r.start(at("w"), false, kItemEvents | SHCNE_UPDATEDIR));
    // Another registration tells when the service has read everything before a point: its
    // requests and the kernel's events are each handled in order.
    ASSERT_TRUE(makeFolder(at("fence")));
    Recorder fence(at("fence"));
    ASSERT_TRUE(fence.start(at("fence"), false, SHCNE_CREATE));
    int fences = 0;
    auto allRead = [&] {
        const QString name = QStringLiteral("fence%1").arg(fences++);
        const ItemIdList list = ShellNamespace::listForPath(at("fence/" + name), false);
        SHChangeNotify(SHCNE_CREATE, &list, nullptr);
        ASSERT_TRUE(makeFile(at("fence/" + name + "-made")));
        ASSERT_TRUE(waitFor([&] { return fence.has({SHCNE_CREATE, name, "-"}) && fence.has({SHCNE_CREATE, name + "-made", "-"}); }));
    };

    r.backlog = 1000;  // as a window whose handler holds a box open: held back at its next notice
    ASSERT_TRUE(makeFile(at("w/first")));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "first", "-"}); }));
    allRead();
    const qsizetype before = r.notices.size();
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(makeFile(at(QStringLiteral("w/f%1").arg(i))));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(QFile::remove(at(QStringLiteral("w/before%1").arg(i))));
    allRead();
    EXPECT_EQ(r.notices.size(), before) << "notices kept coming to a window that was held back";
    // Caught up: its folder changed, and everything made or removed meanwhile, once each.
    r.backlog = 0;
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "f499", "-"}); }));
    settle(r, at("w/zz"), "zz");
    service.setBacklogLimit(savedLimit);
    EXPECT_EQ(r.notices.value(before), (Notice{SHCNE_UPDATEDIR, ".", "-"}));
    const QHash<QString, int> made = counts(r, SHCNE_CREATE), gone = counts(r, SHCNE_DELETE);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(made.value(QStringLiteral("f%1").arg(i)), 1) << i;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(gone.value(QStringLiteral("before%1").arg(i)), 1) << i;
    EXPECT_EQ(made.value("first"), 1);
}

// A folder moved in while the reader is stalled is reported with everything it holds, what was
// there before the move and what was made in it after, each once.
TEST_F(ChangeNotifyWorldTest, FolderMovedInWhileTheReaderIsLateIsReportedWhole)
{
    QTemporaryDir outside;
    ASSERT_TRUE(makeFolder(outside.filePath("d/e")));
    for (const char* name : {"d/one", "d/e/two"}) ASSERT_TRUE(makeFile(outside.filePath(QString::fromLatin1(name))));
    ASSERT_TRUE(makeFolder(at("w")));
    Recorder r(at("w"));
    ASSERT_TRUE(r.start(at("w"), true, kItemEvents));
    ChangeNotifyService::instance().pauseReading(true);
    ASSERT_TRUE(move(outside.filePath("d"), at("w/d")));
    ASSERT_TRUE(makeFile(at("w/d/after")) && makeFolder(at("w/d/e/later")) && makeFile(at("w/d/e/later/three")));
    QThread::msleep(100);  // late: the first half of nothing waits, the reader is just slow
    ChangeNotifyService::instance().pauseReading(false);
    settle(r, at("w/zz"), "zz");
    auto byPath = [](QList<Notice> l) {
        std::sort(l.begin(), l.end(), [](const Notice& a, const Notice& b) { return a.first < b.first; });
        return l;
    };
    EXPECT_EQ(byPath(r.notices), byPath({{SHCNE_MKDIR, "d", "-"},
                                         {SHCNE_MKDIR, "d/e", "-"},
                                         {SHCNE_MKDIR, "d/e/later", "-"},
                                         {SHCNE_CREATE, "d/e/later/three", "-"},
                                         {SHCNE_CREATE, "d/e/two", "-"},
                                         {SHCNE_CREATE, "d/after", "-"},
                                         {SHCNE_CREATE, "d/one", "-"},
                                         {SHCNE_CREATE, "zz", "-"}}));
    // A folder is told before what it holds.
    EXPECT_LT(r.notices.indexOf(Notice{SHCNE_MKDIR, "d/e/later", "-"}), r.notices.indexOf(Notice{SHCNE_CREATE, "d/e/later/three", "-"}));
}

// A watch that starts on a big tree while files are written into it hears nothing before it is
// told that it is watching: what came in the folders watched first follows that, in order.
TEST_F(ChangeNotifyWorldTest, NothingIsHeardBeforeTheWatchingNoticeWhileTheTreeIsWritten)
{
    QTemporaryDir fast(fastBase());
    const QString f = fast.path();
    constexpr int kFolders = 1500;
    for (int i = 0; i < kFolders; ++i) ASSERT_TRUE(makeFolder(f + QStringLiteral("/d%1/s").arg(i)));
    // The i-th file, in folders taken out of order.
    auto file = [&](int i) { return QStringLiteral("d%1/s/f%2").arg(qint64(i) * 7919 % kFolders).arg(i); };
    std::atomic<bool> stop{false};
    std::atomic<int> made{0};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            makeFile(f + u'/' + file(i));
            made = i + 1;
            // A steady writer, not a flood: this is about order, and a sanitizer build is slow.
            if (i % 5 == 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    Recorder r(f);
    const bool started = r.start(f, true, kChangeEvents);
    const int atStart = made;
    waitFor([&] { return made > atStart + 300; });
    stop = true;
    writer.join();
    ASSERT_TRUE(started);
    settle(r, f + "/zz", "zz");
    EXPECT_EQ(r.heardBeforeWatching, 0);
    // What was made once it was watching is all heard, once.
    const QHash<QString, int> heard = counts(r, SHCNE_CREATE);
    for (int i = atStart; i < made; ++i)
        ASSERT_EQ(heard.value(file(i)), 1) << i;
}

// Watches on the same or nested trees share the kernel's watches and the walk; each still hears
// only what its own registration covers.
TEST_F(ChangeNotifyWorldTest, OneWalkServesEveryRegistrationOnTheSameTree)
{
    for (int t = 0; t < 10; ++t)
        for (int s = 0; s < 20; ++s) ASSERT_TRUE(makeFolder(at(QStringLiteral("tree/t%1/s%2").arg(t).arg(s))));
    ChangeNotifyService& service = ChangeNotifyService::instance();
    const QString tree = at("tree");
    Recorder first(tree);
    const qint64 before = service.figures().foldersListed;
    ASSERT_TRUE(first.start(tree, true, kItemEvents));
    const qint64 walked = service.figures().foldersListed - before;
    EXPECT_GE(walked, 211);  // the tree, its 10 tops and 200 folders below them
    struct Other {
        const char* what;
        QString folder;
        bool recursive;
        QList<Notice> hears;
    };
    const Other others[] = {
        {"the same tree", tree, true, {{SHCNE_CREATE, "top", "-"}, {SHCNE_CREATE, "t3/s7/deep", "-"}, {SHCNE_CREATE, "zz", "-"}}},
        {"a tree inside it", at("tree/t3"), true, {{SHCNE_CREATE, "s7/deep", "-"}}},
        {"its top folder alone", tree, false, {{SHCNE_CREATE, "top", "-"}, {SHCNE_CREATE, "zz", "-"}}},
    };
    std::vector<std::unique_ptr<Recorder>> recorders;
    for (const Other& o : others) {
        recorders.push_back(std::make_unique<Recorder>(o.folder));
        ASSERT_TRUE(recorders.back()->start(o.folder, o.recursive, kItemEvents)) << o.what;
    }
    EXPECT_LT(service.figures().foldersListed - before, walked + 5) << "a tree already watched was walked again";
    ASSERT_TRUE(makeFile(at("tree/top")) && makeFile(at("tree/t3/s7/deep")));
    // Every registration's notices come through one queue, in order: once the first has heard
    // the last change, the others have heard theirs.
    settle(first, at("tree/zz"), "zz");
    for (size_t i = 0; i < recorders.size(); ++i) EXPECT_EQ(recorders[i]->notices, others[i].hears) << others[i].what;
}

// A folder whose names take many reads to list, in memory and on disk: every sub-folder is
// found and watched.
TEST_F(ChangeNotifyWorldTest, AFolderOfManyLongNamesIsListedToTheEnd)
{
    for (const QString& where : {fastBase(), QString()}) {
        QTemporaryDir base = where.isEmpty() ? QTemporaryDir() : QTemporaryDir(where);
        ASSERT_TRUE(base.isValid());
        SCOPED_TRACE(base.path().toStdString());
        constexpr int kFolders = 1500;  // some 180 KiB of names: three reads and more
        const QString tree = base.filePath("tree");
        const auto folder = [&](int i) { return QStringLiteral("%1-").arg(i, 5, 10, QChar('0')) + QString(94, QChar('n')); };
        for (int i = 0; i < kFolders; ++i) ASSERT_TRUE(makeFolder(tree + "/" + folder(i)));
        Recorder r(base.path());
        ASSERT_TRUE(r.start(tree, true, kItemEvents));
        for (int i = 0; i < kFolders; ++i) ASSERT_TRUE(makeFile(tree + "/" + folder(i) + "/f"));
        settle(r, tree + "/zz", "tree/zz");
        ASSERT_TRUE(waitFor([&] { return counts(r, SHCNE_CREATE).size() == kFolders + 1; }, 30000));
        const QHash<QString, int> heard = counts(r, SHCNE_CREATE);
        for (int i = 0; i < kFolders; ++i) EXPECT_EQ(heard.value("tree/" + folder(i) + "/f"), 1) << i;
    }
}

// A folder renamed just after its sub-folders were made, or moved in and renamed at once (and
// back), while the walk of it is still under way: every sub-folder is heard, and watched where
// it went.
TEST_F(ChangeNotifyWorldTest, AFolderRenamedWhileItsWalkGoesOnIsWatchedWhereItWent)
{
    struct Case {
        const char* what;
        bool movedIn;
        bool back;  // renamed back to its first name at once
    };
    for (const QString& where : {fastBase(), QString()}) {
        for (const Case& c : {Case{"made here, renamed", false, false}, Case{"moved in, renamed", true, false},
                              Case{"moved in, renamed and back", true, true}}) {
            QTemporaryDir base = where.isEmpty() ? QTemporaryDir() : QTemporaryDir(where);
            ASSERT_TRUE(base.isValid());
            SCOPED_TRACE(std::string(c.what) + " in " + base.path().toStdString());
            const QString tree = base.filePath("tree"), stage = base.filePath("stage");
            ASSERT_TRUE(makeFolder(tree) && makeFolder(stage));
            Recorder r(base.path());
            ASSERT_TRUE(r.start(tree, true, kItemEvents));
            QStringList made;  // below the folder that is renamed
            for (int a = 1; a <= 30; ++a) {
                made << QStringLiteral("a%1").arg(a);
                for (int b = 1; b <= 30; ++b) made << QStringLiteral("a%1/b%2").arg(a).arg(b);
            }
            const QString first = (c.movedIn ? stage : tree) + "/big";
            for (const QString& m : made) ASSERT_TRUE(makeFolder(first + "/" + m));
            if (c.movedIn) {
                ASSERT_TRUE(move(first, tree + "/big"));
            }
            ASSERT_TRUE(move(tree + "/big", tree + "/big2"));
            if (c.back) {
                ASSERT_TRUE(move(tree + "/big2", tree + "/big"));
            }
            const QString last = c.back ? QStringLiteral("big") : QStringLiteral("big2");
            settle(r, tree + "/zz", "tree/zz");
            // Each folder is heard made once, under the name it had at that point of the order:
            // nothing bears a new name before the rename to it is told.
            QHash<QString, int> heard;
            QString now = QStringLiteral("big");
            for (const Notice& n : r.notices) {
                if (n.mask == SHCNE_RENAMEFOLDER && n.first.section('/', 0, 1) == "tree/" + now) now = n.second.section('/', 1, 1);
                if (n.mask != SHCNE_MKDIR || !n.first.startsWith("tree/big")) continue;
                ++heard[n.first.section('/', 2)];
                EXPECT_EQ(n.first.section('/', 1, 1), now) << n.first.toStdString();
            }
            EXPECT_EQ(now, last);
            for (const QString& m : made) EXPECT_EQ(heard.value(m), 1) << m.toStdString();
            // And each is watched where it is now.
            for (int a = 1; a <= 30; ++a) {
                for (int b = 1; b <= 30; ++b) ASSERT_TRUE(makeFile(tree + QStringLiteral("/%1/a%2/b%3/t").arg(last).arg(a).arg(b)));
            }
            settle(r, tree + "/zz2", "tree/zz2");
            const QHash<QString, int> files = counts(r, SHCNE_CREATE);
            for (int a = 1; a <= 30; ++a) {
                for (int b = 1; b <= 30; ++b) {
                    const QString t = QStringLiteral("tree/%1/a%2/b%3/t").arg(last).arg(a).arg(b);
                    EXPECT_EQ(files.value(t), 1) << t.toStdString();
                }
            }
        }
    }
}

// A walk opens a folder's sub-folders by name in the folder it has just listed. That folder is
// moved away (and another put in its place) just as its sub-folder is opened: whatever the
// sub-folder is heard under is where it is now.
TEST_F(ChangeNotifyWorldTest, AFolderMovedAsItsSubFolderIsOpenedIsHeardWhereItWent)
{
    struct Case {
        const char* what;
        bool replaced;  // a new folder of the same names takes the old one's place
    };
    for (const Case& c : {Case{"moved", false}, Case{"moved and replaced", true}}) {
        SCOPED_TRACE(c.what);
        QTemporaryDir base;
        const QString tree = base.filePath("tree");
        ASSERT_TRUE(makeFolder(tree + "/a/b/c"));
        std::atomic<bool> done{false};
        ChangeNotifyService::setBeforeFolderRead([&, tree](const QString& folder) {
            if (folder != tree + "/a/b" || done.exchange(true)) return;
            move(tree + "/a", tree + "/z");
            if (c.replaced) makeFolder(tree + "/a/b");
        });
        Recorder r(base.path());
        ASSERT_TRUE(r.start(tree, true, kItemEvents));
        ChangeNotifyService::setBeforeFolderRead(nullptr);
        ASSERT_TRUE(done.load());
        ASSERT_TRUE(makeFile(tree + "/z/b/x") && makeFile(tree + "/z/b/c/y"));
        if (c.replaced) {
            ASSERT_TRUE(makeFile(tree + "/a/b/w"));
        }
        settle(r, tree + "/zz", "tree/zz");
        EXPECT_TRUE(r.has({SHCNE_CREATE, "tree/z/b/x", "-"}));
        EXPECT_TRUE(r.has({SHCNE_CREATE, "tree/z/b/c/y", "-"}));
        EXPECT_EQ(r.has({SHCNE_CREATE, "tree/a/b/w", "-"}), c.replaced);
        for (const Notice& n : r.notices) {
            EXPECT_FALSE(n.first.startsWith("tree/a/b/x") || n.first.startsWith("tree/a/b/c/y")) << n.first.toStdString();
        }
    }
}

// The folder of a registration that cannot be watched when its walk reaches it (gone between
// choosing and starting) is refused with the reason, and the registration ends.
TEST_F(ChangeNotifyWorldTest, RegistrationRefusedWithItsReason)
{
    Recorder r;
    EXPECT_FALSE(r.start(at("missing"), false, kItemEvents));
    EXPECT_EQ(SHChangeNotifyRegister(&r, 3, kItemEvents, {ShellNamespace::listForPath(at("missing"), true), false}), 0u);
    EXPECT_EQ(ChangeNotifyService::instance().lastRefusal(), "the folder does not exist");

    ASSERT_TRUE(makeFolder(at("vanishing")));
    const QString vanishing = at("vanishing");
    ChangeNotifyService::setBeforeFolderRead([vanishing](const QString& folder) {
        if (folder == vanishing) QDir(vanishing).removeRecursively();
    });
    Recorder gone;
    EXPECT_FALSE(gone.start(vanishing, true, kItemEvents));
    ChangeNotifyService::setBeforeFolderRead(nullptr);
    EXPECT_EQ(gone.refusal, "the folder does not exist");
    EXPECT_FALSE(SHChangeNotifyDeregister(gone.id)) << "a refused registration has ended";
    gone.id = 0;
}

// The volume holding a watched folder is unmounted: the folder's removal is reported, and it is
// heard again when the volume is back at its place, with what it holds. A watch on the mount
// point itself hears the folder the volume covered come back at once, and go again when the
// volume comes back. (The program's own test of this runs in a mount namespace; here the host's
// is used, so it needs root.)
TEST_F(ChangeNotifyWorldTest, FolderOnAVolumeThatGoesAwayIsRemovedAndBackWithIt)
{
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    const QString vol = at("vol");
    ASSERT_TRUE(makeFolder(vol));
    auto mount = [&] { return QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "vesmortest", vol}) == 0; };
    if (!mount()) GTEST_SKIP() << "tmpfs can't be mounted here";
    struct Unmount {
        QString at;
        ~Unmount() { QProcess::execute("umount", {"-q", at}); }
    } unmountAnyway{vol};
    ASSERT_TRUE(makeFolder(vol + "/w"));
    Recorder inside(dir.path()), mountPoint(dir.path());
    ASSERT_TRUE(inside.start(vol + "/w", true, kItemEvents));
    ASSERT_TRUE(mountPoint.start(vol, true, kItemEvents));
    ASSERT_EQ(QProcess::execute("umount", {vol}), 0);
    ASSERT_TRUE(waitFor([&] { return inside.has({SHCNE_RMDIR, "vol/w", "-"}) && mountPoint.has({SHCNE_RMDIR, "vol", "-"}); }));
    ASSERT_TRUE(waitFor([&] { return mountPoint.has({SHCNE_MKDIR, "vol", "-"}); }));
    // Back: the volume mounted again, with the folder and a file on it.
    ASSERT_TRUE(mount());
    ASSERT_TRUE(makeFolder(vol + "/w") && makeFile(vol + "/w/f"));
    ASSERT_TRUE(waitFor([&] { return inside.has({SHCNE_MKDIR, "vol/w", "-"}) && mountPoint.has({SHCNE_MKDIR, "vol", "-"}); }));
    ASSERT_TRUE(makeFile(vol + "/w/after"));
    ASSERT_TRUE(waitFor([&] { return inside.has({SHCNE_CREATE, "vol/w/after", "-"}) && mountPoint.has({SHCNE_CREATE, "vol/w/after", "-"}); }));
    EXPECT_EQ(inside.only(SHCNE_RMDIR).size(), 1) << ::testing::PrintToString(inside.notices);
    EXPECT_EQ(mountPoint.only(SHCNE_RMDIR).size(), 2) << ::testing::PrintToString(mountPoint.notices);
    EXPECT_EQ(mountPoint.only(SHCNE_MKDIR).size(), 3) << ::testing::PrintToString(mountPoint.notices);  // and vol/w
}

// The backend on its own, without the program's service.
class Backend {
public:
    Backend()
        : backend_(ChangeBackend::create([this] { ready_ = true; }))
    {
    }
    ChangeBackend& operator*() { return *backend_; }
    ChangeBackend* operator->() { return backend_.get(); }
    void reset() { backend_.reset(); }
    // Waits for a notice of that event for `id`.
    bool waitForEvent(quint32 id, quint32 mask)
    {
        return NoticeTesting::waitFor([&] {
            for (ChangeNotice& n : backend_->take()) seen_.push_back(std::move(n));
            for (const ChangeNotice& n : seen_)
                if (n.registration == id && n.kind == ChangeNotice::Kind::Notice && n.mask == mask) return true;
            return false;
        });
    }
    // Waits for a notice of that kind for `id`.
    bool waitFor(quint32 id, ChangeNotice::Kind kind, ChangeNotice* found = nullptr)
    {
        return NoticeTesting::waitFor([&] {
            for (ChangeNotice& n : backend_->take()) seen_.push_back(std::move(n));
            for (const ChangeNotice& n : seen_)
                if (n.registration == id && n.kind == kind) {
                    if (found) *found = n;
                    return true;
                }
            return false;
        });
    }

private:
    std::atomic<bool> ready_{false};
    std::vector<ChangeNotice> seen_;
    std::unique_ptr<ChangeBackend> backend_;
};

// The reader fails: every registration hears why, none is left in silence.
TEST_F(ChangeNotifyWorldTest, ReaderThatFailsIsToldToEveryRegistration)
{
    Backend backend;
    for (quint32 id : {1u, 2u}) {
        WatchRequest request;
        request.folder = dir.path();
        request.mask = kItemEvents;
        ASSERT_EQ(backend->add(id, request), QString());
        ASSERT_TRUE(backend.waitFor(id, ChangeNotice::Kind::Watching));
    }
    backend->failReader(QStringLiteral("the system refused to go on"));
    for (quint32 id : {1u, 2u}) {
        ChangeNotice n;
        ASSERT_TRUE(backend.waitFor(id, ChangeNotice::Kind::Problem, &n));
        EXPECT_EQ(n.text, "Change notification has stopped (the system refused to go on): changes are no longer reported");
    }
}

// The last registration goes: every watch goes with it at once, and what is registered next is
// watched and heard as before, again and again.
TEST_F(ChangeNotifyWorldTest, AllWatchesGoWithTheLastRegistrationAndTheNextIsHeard)
{
    for (int t = 0; t < 20; ++t) ASSERT_TRUE(makeFolder(at(QStringLiteral("tree/t%1/s").arg(t))));
    Backend backend;
    WatchRequest request;
    request.folder = at("tree");
    request.recursive = true;
    request.mask = kItemEvents;
    for (quint32 id = 1; id <= 3; ++id) {
        SCOPED_TRACE(id);
        ASSERT_EQ(backend->add(id, request), QString());
        ASSERT_TRUE(backend.waitFor(id, ChangeNotice::Kind::Watching));
        ASSERT_TRUE(makeFile(at(QStringLiteral("tree/t7/s/f%1").arg(id))));
        ASSERT_TRUE(backend.waitForEvent(id, SHCNE_CREATE));
        backend->remove(id);
        ASSERT_TRUE(waitFor([&] { return backend->figures().watchedFolders == 0; }));
    }
}

// A folder whose listing never returns (a dead network mount) holds up nothing at exit.
TEST_F(ChangeNotifyWorldTest, ExitDoesNotWaitForAFolderThatDoesNotAnswer)
{
    const QString dead = at("dead");
    ASSERT_TRUE(makeFolder(dead + "/below"));
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool entered = false;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    ChangeBackend::setBeforeFolderRead([gate, dead](const QString& folder) {
        if (!folder.startsWith(dead)) return;
        std::unique_lock lock(gate->mutex);
        gate->entered = true;
        gate->cv.notify_all();
        gate->cv.wait(lock, [&] { return gate->open; });  // as a dead volume would
    });
    {
        Backend backend;
        WatchRequest request;
        request.folder = dead;
        request.recursive = true;
        ASSERT_EQ(backend->add(1, request), QString());
        {
            std::unique_lock lock(gate->mutex);
            ASSERT_TRUE(gate->cv.wait_for(lock, std::chrono::seconds(10), [&] { return gate->entered; }));
        }
        QElapsedTimer ending;
        ending.start();
        backend.reset();
        EXPECT_LT(ending.elapsed(), 3000);
    }
    ChangeBackend::setBeforeFolderRead(nullptr);
    std::lock_guard lock(gate->mutex);
    gate->open = true;  // the thread left behind ends on its own
    gate->cv.notify_all();
}

}  // namespace
