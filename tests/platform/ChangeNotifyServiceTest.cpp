#include "NoticeRecorder.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/shell/ShellNamespace.h"
#include "support/FileBytes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/stat.h>

namespace {

using namespace NoticeTesting;

void write(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append)) << path.toStdString();
    f.write(data);
}

bool mkdirs(const QString& path) { return QDir().mkpath(path); }

QString parentPath(const QString& path) { return QFileInfo(path).absolutePath(); }

bool rename(const QString& from, const QString& to) { return ::rename(QFile::encodeName(from), QFile::encodeName(to)) == 0; }


class ChangeNotifyServiceTest : public ::testing::Test {
protected:
    QTemporaryDir dir;       // the watched folder
    QTemporaryDir outside;   // a folder nobody watches
    QString at(const QString& rel) const { return dir.filePath(rel); }

    // Marks the end of a case: once the sentinel's creation arrives, everything before it has.
    // Makes a probe file in a folder until the registration hears of it: the folder is followed.
    bool followed(Recorder& r, const QString& folder)
    {
        r.notices.clear();
        int n = 0;
        const bool heard = waitFor([&] {
            touch(at(folder + QStringLiteral("/.probe%1").arg(n++)));
            return !r.only(SHCNE_CREATE).isEmpty();
        });
        // Notices come in order: once the last probe's removal is heard, nothing of them is left.
        for (int i = 0; i < n; ++i) QFile::remove(at(folder + QStringLiteral("/.probe%1").arg(i)));
        const QString last = folder + QStringLiteral("/.probe%1").arg(n - 1);
        const bool settled = waitFor([&] { return r.has({SHCNE_DELETE, last, "-"}); });
        r.notices.clear();
        return heard && settled;
    }
    void settle(Recorder& r, const QString& name = QStringLiteral(".sentinel"))
    {
        touch(at(name));
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, name, "-"}); }));
        QList<Notice> kept;
        for (const Notice& n : r.notices)
            if (n.first != name) kept.append(n);
        r.notices = kept;
    }
};

TEST_F(ChangeNotifyServiceTest, EveryKindOfChangeMapsToItsNotice)
{
    // Each case has a watched folder `in` and a folder `out` that nobody watches.
    struct Place {
        QString in, out;
        QString at(const char* rel) const { return in + u'/' + QString::fromUtf8(rel); }
        QString away(const char* rel) const { return out + u'/' + QString::fromUtf8(rel); }
    };
    using Step = std::function<void(const Place&)>;
    struct Case {
        const char* what;
        Step before;  // made before watching
        Step act;
        QList<Notice> expected;  // in order; updates of the watched folder and of x, y left out
    };
    const Case cases[] = {
        {"file created", nullptr, [](const Place& p) { touch(p.at("f")); }, {{SHCNE_CREATE, "f", "-"}}},
        {"folder created", nullptr, [](const Place& p) { mkdirs(p.at("d")); }, {{SHCNE_MKDIR, "d", "-"}}},
        {"file deleted", [](const Place& p) { touch(p.at("f")); }, [](const Place& p) { QFile::remove(p.at("f")); },
         {{SHCNE_DELETE, "f", "-"}}},
        {"folder deleted", [](const Place& p) { mkdirs(p.at("d")); }, [](const Place& p) { QDir().rmdir(p.at("d")); },
         {{SHCNE_RMDIR, "d", "-"}}},
        {"file written", [](const Place& p) { touch(p.at("f")); }, [](const Place& p) { write(p.at("f"), "abc"); },
         {{SHCNE_UPDATEITEM, "f", "-"}}},
        {"file permissions", [](const Place& p) { touch(p.at("f")); },
         [](const Place& p) { ::chmod(QFile::encodeName(p.at("f")), 0600); }, {{SHCNE_UPDATEITEM, "f", "-"}}},
        {"folder permissions", [](const Place& p) { mkdirs(p.at("d")); },
         [](const Place& p) { ::chmod(QFile::encodeName(p.at("d")), 0700); }, {{SHCNE_UPDATEDIR, "d", "-"}}},
        {"file renamed", [](const Place& p) { touch(p.at("a")); }, [](const Place& p) { rename(p.at("a"), p.at("b")); },
         {{SHCNE_RENAMEITEM, "a", "b"}}},
        {"folder renamed", [](const Place& p) { mkdirs(p.at("a")); }, [](const Place& p) { rename(p.at("a"), p.at("b")); },
         {{SHCNE_RENAMEFOLDER, "a", "b"}}},
        {"file moved between sub-folders",
         [](const Place& p) { mkdirs(p.at("x")); mkdirs(p.at("y")); touch(p.at("x/f")); },
         [](const Place& p) { rename(p.at("x/f"), p.at("y/f")); }, {{SHCNE_RENAMEITEM, "x/f", "y/f"}}},
        {"file moved out", [](const Place& p) { touch(p.at("f")); },
         [](const Place& p) { rename(p.at("f"), p.away("f")); }, {{SHCNE_DELETE, "f", "-"}}},
        {"file moved in", [](const Place& p) { touch(p.away("f")); },
         [](const Place& p) { rename(p.away("f"), p.at("f")); }, {{SHCNE_CREATE, "f", "-"}}},
        {"folder moved out", [](const Place& p) { mkdirs(p.at("d/inner")); },
         [](const Place& p) { rename(p.at("d"), p.away("d")); }, {{SHCNE_RMDIR, "d", "-"}}},
        {"folder moved in", [](const Place& p) { mkdirs(p.away("d/inner")); touch(p.away("d/inner/f")); },
         [](const Place& p) { rename(p.away("d"), p.at("d")); },
         {{SHCNE_MKDIR, "d", "-"}, {SHCNE_MKDIR, "d/inner", "-"}, {SHCNE_CREATE, "d/inner/f", "-"}}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Place place{at(QStringLiteral("case%1").arg(n)), outside.filePath(QStringLiteral("case%1").arg(n))};
        ++n;
        ASSERT_TRUE(mkdirs(place.in) && mkdirs(place.out));
        if (c.before) c.before(place);
        Recorder r(place.in);
        ASSERT_TRUE(r.start(place.in, true, kChangeEvents));
        c.act(place);
        touch(place.in + "/.sentinel");
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, ".sentinel", "-"}); }));
        QList<Notice> items;
        for (const Notice& e : r.notices) {
            if (e.first == ".sentinel") break;
            if (!(e.mask == SHCNE_UPDATEDIR && (e.first == "." || e.first == "x" || e.first == "y"))) items.append(e);
        }
        EXPECT_EQ(items, c.expected);
        // Any change inside a folder is an update of that folder too.
        EXPECT_TRUE(r.has({SHCNE_UPDATEDIR, ".", "-"}));
    }
}

TEST_F(ChangeNotifyServiceTest, OnlyChangesCountNotOpeningOrReading)
{
    touch(at("f"));
    write(at("f"), "content");
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kChangeEvents));
    for (int i = 0; i < 5; ++i) {
        QFile f(at("f"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("content"));
    }
    QDir(dir.path()).entryList();
    settle(r);
    EXPECT_TRUE(r.only(kItemEvents).isEmpty()) << r.notices.size();
}

TEST_F(ChangeNotifyServiceTest, MaskChoosesWhatARegistrationHears)
{
    Recorder files(dir.path()), folders(dir.path());
    ASSERT_TRUE(files.start(dir.path(), true, SHCNE_CREATE));
    ASSERT_TRUE(folders.start(dir.path(), true, SHCNE_MKDIR | SHCNE_CREATE));
    ASSERT_TRUE(mkdirs(at("d")));
    touch(at("f"));
    settle(folders);
    settle(files);
    EXPECT_EQ(files.notices, QList<Notice>({{SHCNE_CREATE, "f", "-"}}));
    EXPECT_EQ(folders.notices, QList<Notice>({{SHCNE_MKDIR, "d", "-"}, {SHCNE_CREATE, "f", "-"}}));
}

TEST_F(ChangeNotifyServiceTest, NonRecursiveHearsTheFolderAndItsChildrenOnly)
{
    ASSERT_TRUE(mkdirs(at("sub")));
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), false, kItemEvents));
    touch(at("sub/deep"));
    ASSERT_TRUE(mkdirs(at("child")));
    touch(at("child/deeper"));
    touch(at("top"));
    settle(r);
    EXPECT_EQ(r.notices, QList<Notice>({{SHCNE_MKDIR, "child", "-"}, {SHCNE_CREATE, "top", "-"}}));
}

TEST_F(ChangeNotifyServiceTest, NewFoldersAreWatchedBeforeTheyAreReadSoNothingMadeInThemIsMissed)
{
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kItemEvents));
    for (int i = 0; i < 25; ++i) {
        const QString top = QStringLiteral("p%1").arg(i);
        ASSERT_TRUE(mkdirs(at(top + "/b/c")));
        touch(at(top + "/b/c/file"));
        write(at(top + "/b/c/file"), "x");
    }
    settle(r);
    for (int i = 0; i < 25; ++i) {
        const QString top = QStringLiteral("p%1").arg(i);
        const QList<Notice> expected = {{SHCNE_MKDIR, top, "-"},
                                        {SHCNE_MKDIR, top + "/b", "-"},
                                        {SHCNE_MKDIR, top + "/b/c", "-"},
                                        {SHCNE_CREATE, top + "/b/c/file", "-"}};
        QList<Notice> got;
        for (const Notice& n : r.notices)
            if (n.first.startsWith(top + "/") || n.first == top)
                if (n.mask != SHCNE_UPDATEITEM) got.append(n);
        EXPECT_EQ(got, expected) << top.toStdString();
    }
}

TEST_F(ChangeNotifyServiceTest, RenamedFolderKeepsItsTreeWatchedUnderTheNewPath)
{
    ASSERT_TRUE(mkdirs(at("old/inner/deep")));
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kItemEvents));
    ASSERT_TRUE(rename(at("old"), at("new")));
    touch(at("new/f"));
    touch(at("new/inner/deep/g"));
    ASSERT_TRUE(mkdirs(at("new/inner/made")));
    touch(at("new/inner/made/h"));
    settle(r);
    EXPECT_EQ(r.notices, QList<Notice>({{SHCNE_RENAMEFOLDER, "old", "new"},
                                        {SHCNE_CREATE, "new/f", "-"},
                                        {SHCNE_CREATE, "new/inner/deep/g", "-"},
                                        {SHCNE_MKDIR, "new/inner/made", "-"},
                                        {SHCNE_CREATE, "new/inner/made/h", "-"}}));
}

// A folder moved in is reported with everything it holds, however old, and watched.
TEST_F(ChangeNotifyServiceTest, FolderMovedOutIsNoLongerWatchedAndMovedInIs)
{
    ASSERT_TRUE(mkdirs(at("leaving/sub")));
    ASSERT_TRUE(mkdirs(outside.filePath("coming/sub")));
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kItemEvents));
    ASSERT_TRUE(rename(at("leaving"), outside.filePath("leaving")));
    ASSERT_TRUE(rename(outside.filePath("coming"), at("coming")));
    touch(outside.filePath("leaving/sub/not-ours"));
    touch(at("coming/sub/ours"));
    settle(r);
    EXPECT_EQ(r.notices, QList<Notice>({{SHCNE_RMDIR, "leaving", "-"},
                                        {SHCNE_MKDIR, "coming", "-"},
                                        {SHCNE_MKDIR, "coming/sub", "-"},
                                        {SHCNE_CREATE, "coming/sub/ours", "-"}}));
}

// The watched folder goes away (reported as its removal), nothing is heard while it is gone,
// and a folder back at its place is reported with what it holds and watched again, however it
// came back.
TEST_F(ChangeNotifyServiceTest, WatchedFolderThatGoesAwayIsReportedAndWatchedAgainWhenItIsBack)
{
    struct Case {
        const char* what;
        std::function<void(const QString& w, const QString& away)> leave;
        std::function<void(const QString& w, const QString& away)> comeBack;
        QList<Notice> back;  // after the removal, in order, before "again" and "sub/deep"
    };
    const Case cases[] = {
        {"deleted, made again",
         [](const QString& w, const QString&) { QDir(w).removeRecursively(); },
         [](const QString& w, const QString&) { mkdirs(w); },
         {{SHCNE_MKDIR, "p/w", "-"}}},
        {"moved away, made again",
         [](const QString& w, const QString& away) { rename(w, away + "/gone"); },
         [](const QString& w, const QString&) { mkdirs(w); },
         {{SHCNE_MKDIR, "p/w", "-"}}},
        {"deleted with its parent, made again with it",
         [](const QString& w, const QString&) { QDir(parentPath(w)).removeRecursively(); },
         [](const QString& w, const QString&) { mkdirs(w); },
         {{SHCNE_MKDIR, "p/w", "-"}}},
        {"deleted, made elsewhere with a file and moved in",
         [](const QString& w, const QString&) { QDir(w).removeRecursively(); },
         [](const QString& w, const QString& away) {
             mkdirs(away + "/staged");
             touch(away + "/staged/old");
             rename(away + "/staged", w);
         },
         {{SHCNE_MKDIR, "p/w", "-"}, {SHCNE_CREATE, "p/w/old", "-"}}},
        {"deleted, a file at its place first, then a folder",
         [](const QString& w, const QString&) { QDir(w).removeRecursively(); },
         [](const QString& w, const QString&) {
             touch(w);
             QFile::remove(w);
             mkdirs(w);
         },
         {{SHCNE_MKDIR, "p/w", "-"}}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString base = at(QStringLiteral("case%1").arg(n));
        const QString away = outside.filePath(QStringLiteral("case%1").arg(n++));
        const QString watched = base + "/p/w";
        ASSERT_TRUE(mkdirs(watched + "/sub") && mkdirs(away));
        Recorder r(base);
        ASSERT_TRUE(r.start(watched, true, kItemEvents));
        c.leave(watched, away);
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_RMDIR, "p/w", "-"}); }));
        // Gone: what happens where it went, or to a file at its place, is not ours.
        touch(away + "/while-gone");
        if (QFileInfo(away + "/gone").isDir()) touch(away + "/gone/sub/moved-along");
        const qsizetype gone = r.notices.indexOf(Notice{SHCNE_RMDIR, "p/w", "-"});
        c.comeBack(watched, away);
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_MKDIR, "p/w", "-"}); }));
        touch(watched + "/again");
        ASSERT_TRUE(mkdirs(watched + "/sub"));
        touch(watched + "/sub/deep");
        ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "p/w/sub/deep", "-"}); }));
        // Its return first; then what it holds, and what is made in it after, each once (found
        // by one listing, old and new come in the folder's order).
        QList<Notice> tail = r.notices.mid(gone + 1);
        QList<Notice> expected = c.back;
        expected << Notice{SHCNE_CREATE, "p/w/again", "-"} << Notice{SHCNE_MKDIR, "p/w/sub", "-"}
                 << Notice{SHCNE_CREATE, "p/w/sub/deep", "-"};
        ASSERT_FALSE(tail.isEmpty());
        EXPECT_EQ(tail.first(), (Notice{SHCNE_MKDIR, "p/w", "-"}));
        auto byPath = [](QList<Notice> l) {
            std::sort(l.begin(), l.end(), [](const Notice& a, const Notice& b) { return a.first < b.first; });
            return l;
        };
        EXPECT_EQ(byPath(tail), byPath(expected));
        EXPECT_LT(tail.indexOf(Notice{SHCNE_MKDIR, "p/w/sub", "-"}), tail.indexOf(Notice{SHCNE_CREATE, "p/w/sub/deep", "-"}));
        r.stop();
    }
}

// Keeps both cores busy while it lives, so that the service's threads are put off at any point.
class BusyMachine {
public:
    BusyMachine()
    {
        for (int i = 0; i < 2; ++i)
            burners_.emplace_back([this] {
                volatile quint64 n = 0;
                while (!stop_.load(std::memory_order_relaxed)) n = n + 1;
            });
    }
    ~BusyMachine()
    {
        stop_ = true;
        for (std::thread& t : burners_) t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> burners_;
};

// A watched folder that is back at once, round after round on a busy machine: its return is
// told once, and every file in it once, however the reader, the walker and the kernel's events
// fall in between.
TEST_F(ChangeNotifyServiceTest, WatchedFolderBackAtOnceIsToldOnceWithEveryFileOnce)
{
    struct Case {
        const char* what;
        const char* above;  // a folder above that another registration watches
        bool aboveRecursive;  // with its sub-folders (another watch), or alone (the folder tree)
        std::function<void(const QString& p, const QString& w, const QString& away, int round)> round;
        std::function<QList<Notice>(int round)> expected;  // of the watched folder, in any order
        bool alone = false;  // the folder is watched without its sub-folders
    };
    auto remake = [](const QString&, const QString& w, const QString&, int round) {
        QDir(w).removeRecursively();
        mkdirs(w);
        touch(w + QStringLiteral("/f%1").arg(round));
    };
    auto parentAwayAndBack = [](const QString& p, const QString&, const QString& away, int round) {
        rename(p, away + "/p");
        touch(away + QStringLiteral("/p/w/f%1").arg(round));
        QThread::msleep(QRandomGenerator::global()->bounded(100));
        rename(away + "/p", p);
    };
    auto goneAndBack = [](int round) {
        return QList<Notice>{{SHCNE_RMDIR, "p/w", "-"}, {SHCNE_MKDIR, "p/w", "-"},
                             {SHCNE_CREATE, QStringLiteral("p/w/f%1").arg(round), "-"}};
    };
    const Case cases[] = {
        {"deleted, made again with a file in it", nullptr, false, remake, goneAndBack},
        {"... while the folder tree follows the folder above", "p", false, remake, goneAndBack},
        {"... while another watch covers it", ".", true, remake, goneAndBack},
        {"... watched without its sub-folders, while another watch covers it", ".", true, remake, goneAndBack, true},
        {"the folder above renamed away and back, the folder tree following its parent", ".", false, parentAwayAndBack,
         goneAndBack},
        {"the folder above renamed away and back, another watch covering it", ".", true, parentAwayAndBack, goneAndBack},
    };
    const int rounds = qEnvironmentVariableIntValue("VESMOR_ROUNDS") > 0 ? qEnvironmentVariableIntValue("VESMOR_ROUNDS") : 200;
    BusyMachine busy;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString base = at(QStringLiteral("back%1").arg(n));
        const QString away = outside.filePath(QStringLiteral("back%1").arg(n++));
        const QString p = base + "/p", w = p + "/w";
        ASSERT_TRUE(mkdirs(w) && mkdirs(away));
        Recorder above(base);
        if (c.above) {
            ASSERT_TRUE(above.start(QDir::cleanPath(base + u'/' + QString::fromUtf8(c.above)), c.aboveRecursive, kItemEvents));
        }
        Recorder r(base);
        ASSERT_TRUE(r.start(w, !c.alone, kItemEvents));
        int failures = 0;
        for (int round = 0; round < rounds && failures < 3; ++round) {
            r.notices.clear();
            above.notices.clear();
            c.round(p, w, away, round);
            // Once the end marker is heard, everything before it has been.
            const QString end = QStringLiteral("p/w/end%1").arg(round);
            const bool heard = waitFor([&] {
                if (QFileInfo(w).isDir() && !QFileInfo::exists(base + u'/' + end)) touch(base + u'/' + end);
                return r.has({SHCNE_CREATE, end, "-"});
            });
            QList<Notice> got;
            for (const Notice& x : r.notices)
                if (x.first != end) got.append(x);
            auto byPath = [](QList<Notice> l) {
                std::sort(l.begin(), l.end(), [](const Notice& a, const Notice& b) {
                    return std::tie(a.first, a.mask) < std::tie(b.first, b.mask);
                });
                return l;
            };
            const QList<Notice> want = c.expected(round);
            // The registration watching from above hears each change once too.
            const QList<Notice> aboveGot = byPath(above.notices);
            const bool aboveOnce = std::adjacent_find(aboveGot.begin(), aboveGot.end()) == aboveGot.end();
            const bool ok = heard && aboveOnce && byPath(got) == byPath(want) && !got.isEmpty() && got.first() == want.first();
            if (!ok) {
                ++failures;
                ADD_FAILURE() << "round " << round << (heard ? "" : " (end never heard)") << ": got "
                              << ::testing::PrintToString(got) << ", above " << ::testing::PrintToString(aboveGot);
            }
            QFile::remove(base + u'/' + end);
            ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_DELETE, end, "-"}); }));
            QFile::remove(w + QStringLiteral("/f%1").arg(round));
            ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_DELETE, QStringLiteral("p/w/f%1").arg(round), "-"}); }));
        }
        r.stop();
        above.stop();
    }
}

// A registration without a list hears of the folders it follows, each once its watch is in
// place, and nothing of folders merely listed.
TEST_F(ChangeNotifyServiceTest, RegistrationWithoutAListHearsTheFoldersItFollows)
{
    ASSERT_TRUE(mkdirs(at("followed")));
    ASSERT_TRUE(mkdirs(at("listed")));
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(QString(), false, kChangeEvents));
    auto folder = ShellNamespace::desktopFolder()->BindToObject(ShellNamespace::parse(at("listed")));
    ASSERT_TRUE(folder && folder->EnumObjects(SHCONTF_FOLDERS));
    ChangeNotifyService::instance().follow(r.id, at("followed"));
    ASSERT_TRUE(followed(r, "followed"));
    r.notices.clear();
    ASSERT_TRUE(mkdirs(at("followed/new")));
    touch(at("listed/nothing"));
    touch(at("followed/last"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "followed/last", "-"}); }));
    EXPECT_EQ(r.only(kItemEvents), QList<Notice>({{SHCNE_MKDIR, "followed/new", "-"}, {SHCNE_CREATE, "followed/last", "-"}}));

    // Unfollowed: heard no more. Requests are handled in order, so once a folder followed
    // afterwards is told, the first is let go.
    ASSERT_TRUE(mkdirs(at("marker")));
    ChangeNotifyService::instance().unfollow(r.id, at("followed"));
    ChangeNotifyService::instance().follow(r.id, at("marker"));
    ASSERT_TRUE(followed(r, "marker"));
    touch(at("followed/after"));
    touch(at("marker/end"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "marker/end", "-"}); }));
    EXPECT_FALSE(r.has({SHCNE_CREATE, "followed/after", "-"}));
}

// Each change of an association file, as a shell or a tool makes it, is one association change
// (a truncating write is two changes to the kernel, often read apart).
TEST_F(ChangeNotifyServiceTest, AssociationFilesTellEveryRegistrationThatAsksOncePerChange)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", outside.path().toUtf8());
    // The configuration folder is watched already, for a watch of its own, when associations are
    // first asked for.
    Recorder config(outside.path());
    ASSERT_TRUE(config.start(outside.path(), false, SHCNE_CREATE));
    Recorder asks(dir.path()), doesNot(dir.path());
    ASSERT_TRUE(asks.start(dir.path(), false, SHCNE_ASSOCCHANGED | SHCNE_CREATE));
    ASSERT_TRUE(doesNot.start(dir.path(), false, SHCNE_CREATE));
    // Its folder is watched once the first change is heard.
    int n = 0;
    ASSERT_TRUE(waitFor([&] {
        write(outside.filePath("defaults.list"), "x");
        return asks.has({SHCNE_ASSOCCHANGED, "-", "-"});
    }));
    touch(at("primed"));
    ASSERT_TRUE(waitFor([&] { return asks.has({SHCNE_CREATE, "primed", "-"}); }));
    const struct {
        const char* what;
        const char* command;  // run by the shell in the configuration folder
    } cases[] = {
        {"a new file written", "echo '[Default Applications]' > mimeapps.list"},
        {"an existing file truncated and written", "echo 'text/plain=a.desktop' > mimeapps.list"},
        {"a line appended", "echo 'text/html=b.desktop' >> mimeapps.list"},
        {"written in two steps by one writer", "{ echo one; sleep 0.05; echo two; } > mimeapps.list"},
        {"its mode changed", "chmod 600 mimeapps.list"},
        {"replaced by a rename", "echo 'image/png=c.desktop' > .mimeapps.list.new && mv .mimeapps.list.new mimeapps.list"},
        {"removed", "rm mimeapps.list"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString end = QStringLiteral("end%1").arg(n++);
        asks.notices.clear();
        doesNot.notices.clear();
        QProcess shell;
        shell.setWorkingDirectory(outside.path());
        shell.start("/bin/sh", {"-c", QString::fromUtf8(c.command)});
        ASSERT_TRUE(shell.waitForFinished(10000) && shell.exitCode() == 0);
        touch(outside.filePath("unrelated.conf"));
        touch(at(end));
        ASSERT_TRUE(waitFor([&] { return asks.has({SHCNE_CREATE, end, "-"}) && doesNot.has({SHCNE_CREATE, end, "-"}); }));
        // Told once per read, after the read's items: it may follow the end read with it.
        EXPECT_EQ(asks.only(SHCNE_ASSOCCHANGED), QList<Notice>({{SHCNE_ASSOCCHANGED, "-", "-"}}));
        EXPECT_EQ(asks.notices.size(), 2);
        EXPECT_EQ(doesNot.notices, QList<Notice>({{SHCNE_CREATE, end, "-"}}));
    }
    if (saved.isNull()) qunsetenv("XDG_CONFIG_HOME"); else qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(ChangeNotifyServiceTest, FreeSpaceChangeComesInTheTwoNumberForm)
{
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), false, SHCNE_FREESPACE));
    // Keep changing the space until the once-a-second look sees it.
    int round = 0;
    ASSERT_TRUE(waitFor([&] {
        QFile f(at(QStringLiteral("space%1").arg(round++ % 4)));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(QByteArray(1 << 20, 'x'));
            f.flush();
            ::fsync(f.handle());
        }
        return !r.notices.isEmpty();
    }));
    ASSERT_EQ(r.notices.first().mask, SHCNE_FREESPACE);
    const QByteArray bytes = r.firstLists.first().bytes();
    ASSERT_EQ(bytes.size(), 12);  // 16-bit size, two 32-bit numbers, 16-bit zero
    EXPECT_EQ(quint8(bytes[0]), 10);
    EXPECT_EQ(quint8(bytes[2]) & 1, 1);  // the first volume, "/", is bit 0 of the drive number
    EXPECT_EQ(bytes.right(2), QByteArray(2, '\0'));
}

TEST_F(ChangeNotifyServiceTest, MountedVolumeIsTheMediaAndIsWatchedThrough)
{
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    ASSERT_TRUE(mkdirs(at("mnt")));
    Recorder r(dir.path());
    ASSERT_TRUE(r.start(dir.path(), true, kItemEvents | SHCNE_MEDIAINSERTED | SHCNE_MEDIAREMOVED | SHCNE_DRIVEADD |
                                              SHCNE_DRIVEREMOVED));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "vesmortest", at("mnt")}) != 0)
        GTEST_SKIP() << "tmpfs can't be mounted here";
    struct Unmount {
        QString at;
        ~Unmount() { QProcess::execute("umount", {at}); }
    } unmountAnyway{at("mnt")};
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_DRIVEADD, "mnt", "-"}); }));
    touch(at("mnt/on-the-volume"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "mnt/on-the-volume", "-"}); }));
    ASSERT_EQ(QProcess::execute("umount", {at("mnt")}), 0);
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_DRIVEREMOVED, "mnt", "-"}); }));
    const QList<Notice> media = r.only(SHCNE_MEDIAINSERTED | SHCNE_MEDIAREMOVED | SHCNE_DRIVEADD | SHCNE_DRIVEREMOVED);
    EXPECT_EQ(media, QList<Notice>({{SHCNE_MEDIAINSERTED, "mnt", "-"},
                                    {SHCNE_DRIVEADD, "mnt", "-"},
                                    {SHCNE_MEDIAREMOVED, "mnt", "-"},
                                    {SHCNE_DRIVEREMOVED, "mnt", "-"}}));
    // The volume's display name is the mount folder's name when it has no label.
    const int i = int(r.notices.indexOf(Notice{SHCNE_MEDIAINSERTED, "mnt", "-"}));
    ASSERT_GE(i, 0);
}

TEST_F(ChangeNotifyServiceTest, OverflowTellsEachRegistrationToRereadAndWatchesGoOn)
{
    // Memory-backed when there is such a place: the kernel's queue is what is tested, not the disk.
    QTemporaryDir fast(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/vesmor-XXXXXX") : QString());
    ASSERT_TRUE(mkdirs(fast.filePath("sub")));
    Recorder r(fast.path());
    ASSERT_TRUE(r.start(fast.path(), true, kChangeEvents));
    ChangeNotifyService::instance().pauseReading(true);
    for (int i = 0; i < 17000; ++i) touch(fast.filePath(QStringLiteral("sub/f%1").arg(i)));
    ChangeNotifyService::instance().pauseReading(false);
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_UPDATEDIR, ".", "-"}) && r.notices.size() > 1000; }));
    touch(fast.filePath("sub/after"));
    ASSERT_TRUE(waitFor([&] { return r.has({SHCNE_CREATE, "sub/after", "-"}); }));
}

TEST_F(ChangeNotifyServiceTest, RegistrationOfWhatCannotBeWatchedIsRefused)
{
    Recorder r;
    touch(at("file"));
    EXPECT_FALSE(r.start(at("file"), false, kChangeEvents));
    EXPECT_EQ(SHChangeNotifyRegister(&r, 3, SHCNE_ALLEVENTS, {ShellNamespace::listForPath(at("gone"), true), false}), 0u);
    EXPECT_FALSE(SHChangeNotifyDeregister(12345678));
}

}  // namespace
