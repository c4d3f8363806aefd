#include "notify/ESsException.h"
#include "notify/TStCustomShellController.h"
#include "notify/TStShellFolder.h"
#include "notify/TStShellNotification.h"
#include "platform/boxes/AppException.h"
#include "platform/changes/ChangeNotifyService.h"
#include "platform/shell/ShellNamespace.h"
#include "support/BoxRecorder.h"
#include "support/QtPrinters.h"
#include "support/FileBytes.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace {

void append(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append)) << path.toStdString();
    f.write(data);
}

bool rename(const QString& from, const QString& to) { return ::rename(QFile::encodeName(from), QFile::encodeName(to)) == 0; }

// Binds every event of a component and writes each call down as one line: the event's name
// and its arguments (paths relative to `base`, "-" for an absent item).
class EventLog {
public:
    EventLog(TStCustomShellNotification& n, QString base) : component_(&n), base_(std::move(base))
    {
        auto one = [this](const char* name) {
            return [this, name](TObject* s, TStShellItem* i) { add(s, QString::fromLatin1(name) + u' ' + rel(i)); };
        };
        auto two = [this](const char* name) {
            return [this, name](TObject* s, TStShellItem* o, TStShellItem* n) {
                add(s, QString::fromLatin1(name) + u' ' + rel(o) + u' ' + rel(n));
            };
        };
        auto none = [this](const char* name) { return [this, name](TObject* s) { add(s, QString::fromLatin1(name)); }; };
        n.OnAssociationChange = none("AssociationChange");
        n.OnAttributeChange = two("AttributeChange");
        n.OnDriveAdd = one("DriveAdd");
        n.OnDriveRemove = one("DriveRemove");
        n.OnDriveSpaceChange = [this](TObject* s, quint32 drive) { add(s, QStringLiteral("DriveSpaceChange %1").arg(drive)); };
        n.OnFileChange = one("FileChange");
        n.OnFileCreate = one("FileCreate");
        n.OnFileDelete = two("FileDelete");
        n.OnFileRename = two("FileRename");
        n.OnFolderChange = one("FolderChange");
        n.OnFolderCreate = one("FolderCreate");
        n.OnFolderDelete = one("FolderDelete");
        n.OnFolderRename = two("FolderRename");
        n.OnImageListChange = none("ImageListChange");
        n.OnMediaInsert = one("MediaInsert");
        n.OnMediaRemove = one("MediaRemove");
        n.OnNetShare = one("NetShare");
        n.OnNetUnShare = one("NetUnShare");
        n.OnServerDisconnect = one("ServerDisconnect");
        n.OnShellDriveAdd = one("ShellDriveAdd");
        n.OnShellChangeNotify = [this](TObject* s, TStShellItem* o, TStShellItem* n, TStNotifyEventsSet events) {
            if (!withNotify) return;
            add(s, QStringLiteral("ShellChangeNotify %1 %2 0x%3").arg(rel(o), rel(n)).arg(events.Bits(), 0, 16));
        };
    }

    QString rel(TStShellItem* item) const
    {
        if (!item) return QStringLiteral("-");
        if (item->Path().isEmpty()) return QStringLiteral("(empty)");
        if (item->Path().startsWith(base_ + u'/')) return item->Path().mid(base_.size() + 1);
        return item->Path() == base_ ? QStringLiteral(".") : item->Path();
    }
    void add(TObject* sender, const QString& line)
    {
        EXPECT_EQ(sender, component_);
        lines << line;
    }
    bool has(const QString& line) const { return lines.contains(line); }
    // The lines before the sentinel file's creation, which closes each case.
    QStringList upTo(const QString& sentinel) const
    {
        QStringList out;
        for (const QString& l : lines) {
            if (l.contains(sentinel)) break;
            out << l;
        }
        return out;
    }

    QStringList lines;
    bool withNotify = true;

private:
    TStCustomShellNotification* component_;
    QString base_;
};

constexpr TStNotifyEventsSet kFileAndFolderEvents = {neFileChange, neFileCreate, neFileDelete, neFileRename,
                                                     neFolderCreate, neFolderDelete, neFolderRename};

ShellNoticeWindow* windowOf(TStCustomShellNotification& n) { return dynamic_cast<ShellNoticeWindow*>(n.Handle()); }

class TStShellNotificationTest : public ::testing::Test {
protected:
    QObject owner;
    QTemporaryDir dir;
    QTemporaryDir outside;
    QString at(const QString& rel) const { return dir.filePath(rel); }

    TStShellNotification* watching(const QString& folder, bool sub, TStNotifyEventsSet events)
    {
        auto* n = new TStShellNotification(&owner);
        n->SetWatchSubFolders(sub);
        n->SetWatchFolder(folder);
        n->SetNotifyEvents(events);
        n->SetActive(true);
        EXPECT_TRUE(n->IsRegistered());
        EXPECT_TRUE(n->WaitUntilWatching());
        return n;
    }
    void settle(EventLog& log, const QString& folder, const QString& name)
    {
        touch(folder + u'/' + name);
        ASSERT_TRUE(waitFor([&] { return log.has(QStringLiteral("FileCreate ") + name) ||
                                          log.has(QStringLiteral("FileCreate ") + folder.mid(dir.path().size() + 1) + u'/' + name); }));
    }
};

TEST_F(TStShellNotificationTest, CreatedWithItsDefaults)
{
    TStShellNotification n(&owner);
    EXPECT_EQ(n.parent(), &owner);
    EXPECT_FALSE(n.Active());
    EXPECT_FALSE(n.IsRegistered());
    EXPECT_EQ(n.NotifyHandle(), 0u);
    EXPECT_EQ(n.NotifyEvents(), TStNotifyEventsSet::All());
    EXPECT_EQ(n.NotifyEvents().Count(), 20);
    EXPECT_TRUE(n.WatchFolder().isEmpty());
    EXPECT_FALSE(n.WatchSubFolders());
    EXPECT_EQ(n.SpecialWatchFolder(), sfNone);
    EXPECT_TRUE(n.WatchPidl().isNull());
    EXPECT_NE(n.Handle(), nullptr);
    EXPECT_EQ(int(sfAltStartup), 0);
    EXPECT_EQ(int(sfDesktop), 12);
    EXPECT_EQ(int(sfNone), 22);
    EXPECT_EQ(int(sfTemplates), 31);
    EXPECT_EQ(ShellEventMask({neFolderUpdate}), SHCNE_UPDATEDIR);
    EXPECT_EQ(ShellEventMask(TStNotifyEventsSet::All()), 0x807FFFFu);
}

TEST_F(TStShellNotificationTest, FileAndFolderChangesRaiseTheirEventsWithTheirItems)
{
    struct Case {
        const char* what;
        std::function<void(const QString& in, const QString& out)> before, act;
        QStringList expected;
    };
    const Case cases[] = {
        {"file create", nullptr, [](auto& in, auto&) { touch(in + "/f"); },
         {"FileCreate f", "ShellChangeNotify f - 0x8"}},
        {"file change", [](auto& in, auto&) { touch(in + "/f"); }, [](auto& in, auto&) { append(in + "/f", "x"); },
         {"FileChange f", "ShellChangeNotify f - 0x4"}},
        {"file delete", [](auto& in, auto&) { touch(in + "/f"); }, [](auto& in, auto&) { QFile::remove(in + "/f"); },
         {"FileDelete f -", "ShellChangeNotify f - 0x10"}},
        {"file rename", [](auto& in, auto&) { touch(in + "/a"); }, [](auto& in, auto&) { rename(in + "/a", in + "/b"); },
         {"FileRename a b", "ShellChangeNotify a b 0x20"}},
        {"folder create", nullptr, [](auto& in, auto&) { QDir().mkdir(in + "/d"); },
         {"FolderCreate d", "ShellChangeNotify d - 0x1000"}},
        {"folder delete", [](auto& in, auto&) { QDir().mkdir(in + "/d"); }, [](auto& in, auto&) { QDir().rmdir(in + "/d"); },
         {"FolderDelete d", "ShellChangeNotify d - 0x2000"}},
        {"folder rename", [](auto& in, auto&) { QDir().mkdir(in + "/a"); }, [](auto& in, auto&) { rename(in + "/a", in + "/b"); },
         {"FolderRename a b", "ShellChangeNotify a b 0x4000"}},
        {"file moved in", [](auto&, auto& out) { touch(out + "/f"); }, [](auto& in, auto& out) { rename(out + "/f", in + "/f"); },
         {"FileCreate f", "ShellChangeNotify f - 0x8"}},
        {"file moved out", [](auto& in, auto&) { touch(in + "/f"); }, [](auto& in, auto& out) { rename(in + "/f", out + "/f"); },
         {"FileDelete f -", "ShellChangeNotify f - 0x10"}},
        {"folder moved in", [](auto&, auto& out) { QDir().mkdir(out + "/d"); },
         [](auto& in, auto& out) { rename(out + "/d", in + "/d"); }, {"FolderCreate d", "ShellChangeNotify d - 0x1000"}},
        {"folder moved out", [](auto& in, auto&) { QDir().mkdir(in + "/d"); },
         [](auto& in, auto& out) { rename(in + "/d", out + "/d"); }, {"FolderDelete d", "ShellChangeNotify d - 0x2000"}},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString in = at(QStringLiteral("c%1").arg(i)), out = outside.filePath(QStringLiteral("c%1").arg(i));
        ++i;
        ASSERT_TRUE(QDir().mkpath(in) && QDir().mkpath(out));
        if (c.before) c.before(in, out);
        TStShellNotification* n = watching(in, false, kFileAndFolderEvents);
        EventLog log(*n, in);
        c.act(in, out);
        touch(in + "/zz-end");
        ASSERT_TRUE(waitFor([&] { return log.has("FileCreate zz-end"); }));
        EXPECT_EQ(log.upTo("zz-end"), c.expected);
        delete n;
    }
}

TEST_F(TStShellNotificationTest, ItemsOfDeletedFilesAndFoldersCarryFullPaths)
{
    ASSERT_TRUE(QDir().mkpath(at("tree/sub")));
    touch(at("tree/sub/file.txt"));
    TStShellNotification* n = watching(dir.path(), true, kFileAndFolderEvents);
    QStringList paths;
    n->OnFileDelete = [&](TObject*, TStShellItem* old, TStShellItem* now) {
        EXPECT_EQ(now, nullptr);
        EXPECT_TRUE(old->IsFile());
        paths << old->Path() << old->DisplayName();
    };
    n->OnFolderDelete = [&](TObject*, TStShellItem* item) { paths << item->Path(); };
    ASSERT_TRUE(QDir(at("tree")).removeRecursively());
    ASSERT_TRUE(waitFor([&] { return paths.contains(at("tree")); }));
    EXPECT_EQ(paths, QStringList({at("tree/sub/file.txt"), "file.txt", at("tree/sub"), at("tree")}));
}

TEST_F(TStShellNotificationTest, NoticeWithSeveralBitsRaisesThemInTheFixedOrder)
{
    TStShellNotification n(&owner);
    EventLog log(n, dir.path());
    touch(at("f"));
    const ItemIdList f = ShellNamespace::parse(at("f"));
    const ItemIdList g = ShellNamespace::listForPath(at("g"), false);
    ShellNoticeWindow* w = windowOf(n);
    ASSERT_NE(w, nullptr);
    w->shellNotice(&f, &g, SHCNE_CREATE | SHCNE_UPDATEITEM | SHCNE_RENAMEITEM | SHCNE_ASSOCCHANGED | SHCNE_INTERRUPT);
    w->shellNotice(nullptr, nullptr, SHCNE_INTERRUPT | 0x1000000);  // no bit of the table
    ASSERT_TRUE(waitFor([&] { return log.lines.size() >= 6; }));
    EXPECT_EQ(log.lines, QStringList({"AssociationChange", "FileChange f", "FileCreate f", "FileRename f g",
                                      "ShellChangeNotify f g 0x2d", "ShellChangeNotify - - 0x0"}));
}

TEST_F(TStShellNotificationTest, FolderUpdatesAndMediaReachTheirEvents)
{
    ASSERT_TRUE(QDir().mkpath(at("d")));
    TStShellNotification* n = watching(dir.path(), false, {neFolderUpdate, neFileCreate});
    EventLog log(*n, dir.path());
    log.withNotify = false;
    ASSERT_TRUE(QFile::setPermissions(at("d"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    touch(at("end"));
    // The watched folder's update comes after the other notices of the same read.
    ASSERT_TRUE(waitFor([&] { return log.has("FileCreate end") && log.has("FolderChange ."); }));
    EXPECT_TRUE(log.has("FolderChange d"));  // the folder's own change
    EXPECT_LT(log.lines.indexOf("FolderChange d"), log.lines.indexOf("FileCreate end"));
    // A medium's item is refreshed before its event: it shows the volume's name.
    QString shown;
    n->OnMediaInsert = [&](TObject*, TStShellItem* item) { shown = item->DisplayName() + u' ' + item->Path(); };
    const ItemIdList volume = ShellNamespace::volumeList(at("d"), QString());
    windowOf(*n)->shellNotice(&volume, nullptr, SHCNE_MEDIAINSERTED);
    ASSERT_TRUE(waitFor([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, "d " + at("d"));
}

TEST_F(TStShellNotificationTest, FreeSpaceNoticePassesTheDriveNumber)
{
    TStShellNotification n(&owner);
    EventLog log(n, dir.path());
    QByteArray numbers(8, '\0');
    numbers[0] = char(0x04);
    numbers[1] = char(0x01);
    const ItemIdList twoNumbers = ItemIdList::rawElement(numbers);
    windowOf(n)->shellNotice(&twoNumbers, nullptr, SHCNE_FREESPACE);
    ASSERT_TRUE(waitFor([&] { return log.lines.size() >= 2; }));
    EXPECT_EQ(log.lines.first(), QStringLiteral("DriveSpaceChange 260"));
}

TEST_F(TStShellNotificationTest, AttributeNoticesAreRaisedAtOnceEvenInsideAHandler)
{
    TStShellNotification n(&owner);
    EventLog log(n, dir.path());
    touch(at("f"));
    const ItemIdList f = ShellNamespace::parse(at("f"));
    ShellNoticeWindow* w = windowOf(n);
    w->shellNotice(&f, nullptr, SHCNE_ATTRIBUTES | SHCNE_CREATE);
    // Raised before the call returns, with an empty item for the absent list, and not queued.
    EXPECT_EQ(log.lines, QStringList({"AttributeChange f (empty)", "ShellChangeNotify f (empty) 0x2"}));
    EXPECT_EQ(n.QueueCount(), 0);
    log.lines.clear();
    n.OnFileCreate = [&](TObject*, TStShellItem*) {
        log.lines << "FileCreate begins";
        w->shellNotice(&f, &f, SHCNE_ATTRIBUTES);  // arrives while the handler pumps messages
        QCoreApplication::processEvents();
        log.lines << "FileCreate ends";
    };
    w->shellNotice(&f, nullptr, SHCNE_CREATE);
    ASSERT_TRUE(waitFor([&] { return log.lines.size() >= 5; }));
    EXPECT_EQ(log.lines, QStringList({"FileCreate begins", "AttributeChange f f", "ShellChangeNotify f f 0x2",
                                      "FileCreate ends", "ShellChangeNotify f - 0x8"}));
}

TEST_F(TStShellNotificationTest, MaxNotificationsBoundsTheQueueWhileAHandlerHoldsIt)
{
    TStShellNotification n(&owner);
    n.SetMaxNotifications(3);
    ShellNoticeWindow* w = windowOf(n);
    QStringList raised;
    int depth = 0;
    n.OnFileCreate = [&](TObject*, TStShellItem* item) {
        raised << item->DisplayName();
        if (raised.size() == 1) {
            ++depth;
            for (int i = 2; i <= 7; ++i) {
                const ItemIdList l = ShellNamespace::listForPath(at(QStringLiteral("f%1").arg(i)), false);
                w->shellNotice(&l, nullptr, SHCNE_CREATE);
            }
            EXPECT_EQ(n.QueueCount(), 4);  // the one being raised and three more
            --depth;
        }
    };
    const ItemIdList first = ShellNamespace::listForPath(at("f1"), false);
    w->shellNotice(&first, nullptr, SHCNE_CREATE);
    ASSERT_TRUE(waitFor([&] { return raised.size() >= 4 && n.QueueCount() == 0; }));
    EXPECT_EQ(raised, QStringList({"f1", "f2", "f3", "f4"}));
}

TEST_F(TStShellNotificationTest, DeactivatingKeepsQueuedNoticesDestroyingDiscardsThem)
{
    const ItemIdList f = ShellNamespace::listForPath(at("f"), false);
    {
        TStShellNotification* n = watching(dir.path(), false, kFileAndFolderEvents);
        EventLog log(*n, dir.path());
        log.withNotify = false;
        for (int i = 0; i < 3; ++i) windowOf(*n)->shellNotice(&f, nullptr, SHCNE_CREATE);
        EXPECT_EQ(n->QueueCount(), 3);
        n->SetActive(false);
        EXPECT_FALSE(n->IsRegistered());
        ASSERT_TRUE(waitFor([&] { return log.lines.size() == 3; }));
        delete n;
    }
    QStringList raised;
    QPointer<TStShellNotification> n = watching(dir.path(), false, kFileAndFolderEvents);
    n->OnFileCreate = [&](TObject*, TStShellItem*) { raised << "raised"; };
    for (int i = 0; i < 3; ++i) windowOf(*n)->shellNotice(&f, nullptr, SHCNE_CREATE);
    delete n.data();
    touch(at("after"));
    QCoreApplication::processEvents();
    QThread::msleep(50);
    QCoreApplication::processEvents();
    EXPECT_TRUE(raised.isEmpty());
}

TEST_F(TStShellNotificationTest, AHandlerThatDestroysItsComponentEndsItsDispatch)
{
    // A component may go inside its own handler (its window closed on an event): the notices
    // queued behind go with it, and nothing of it, nor of its hidden window, is touched again.
    const ItemIdList f = ShellNamespace::listForPath(at("f"), false);
    struct Case {
        const char* what;
        quint32 mask;
        int notices;
    };
    for (const Case& c : {Case{"queued notices", SHCNE_CREATE, 3}, Case{"an attribute notice, raised at once", SHCNE_ATTRIBUTES, 1}}) {
        SCOPED_TRACE(c.what);
        QPointer<TStShellNotification> n = watching(dir.path(), false, kFileAndFolderEvents);
        int raised = 0;
        int notified = 0;
        n->OnFileCreate = [&](TObject*, TStShellItem*) {
            ++raised;
            delete n.data();
        };
        n->OnAttributeChange = [&](TObject*, TStShellItem*, TStShellItem*) {
            ++raised;
            delete n.data();
        };
        n->OnShellChangeNotify = [&](TObject*, TStShellItem*, TStShellItem*, TStNotifyEventsSet) { ++notified; };
        ShellNoticeWindow* w = windowOf(*n);
        for (int i = 0; i < c.notices; ++i) w->shellNotice(&f, nullptr, c.mask);
        ASSERT_TRUE(waitFor([&] { return n.isNull(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(raised, 1);
        EXPECT_EQ(notified, 0);
    }
}

TEST_F(TStShellNotificationTest, RegistrationFollowsItsProperties)
{
    TStShellNotification n(&owner);
    n.SetActive(false);  // not registered: only stored
    EXPECT_FALSE(n.IsRegistered());
    n.SetNotifyEvents({neFileCreate});  // idle: nothing registered
    EXPECT_EQ(n.NotifyHandle(), 0u);
    n.SetWatchFolder(dir.path());
    n.SetActive(true);
    const quint32 first = n.NotifyHandle();
    EXPECT_NE(first, 0u);
    n.SetActive(true);  // twice: one registration
    EXPECT_EQ(n.NotifyHandle(), first);
    n.SetNotifyEvents({neFileCreate, neFolderCreate});  // watching: a new one
    EXPECT_NE(n.NotifyHandle(), first);
    const quint32 second = n.NotifyHandle();
    n.SetWatchFolder(QString());  // empty: nothing changes
    EXPECT_EQ(n.NotifyHandle(), second);
    EXPECT_TRUE(n.WatchFolder().isEmpty());
    ASSERT_TRUE(n.WaitUntilWatching());
    EventLog log(n, dir.path());
    touch(at("still"));
    ASSERT_TRUE(waitFor([&] { return log.has("FileCreate still"); }));
    n.SetActive(false);
    EXPECT_EQ(n.NotifyHandle(), 0u);
    EXPECT_FALSE(n.IsRegistered());
}

TEST_F(TStShellNotificationTest, InvalidWatchFolderLeavesTheRegistrationAsItWas)
{
    TStShellNotification* n = watching(dir.path(), false, {neFileCreate});
    const quint32 id = n->NotifyHandle();
    // A bare drive gets its separator; a longer text is stored as given.
    const std::pair<QString, QString> cases[] = {{"c:", "c:/"}, {at("missing"), at("missing")}, {"rel/", "rel/"}};
    for (const auto& [bad, stored] : cases) {
        try {
            n->SetWatchFolder(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const ESsInvalidFolder& e) {
            EXPECT_EQ(e.ErrorCode(), 240);
            EXPECT_EQ(e.message(), QStringLiteral("Invalid folder"));
        }
        EXPECT_EQ(n->WatchFolder(), stored);
        EXPECT_EQ(n->NotifyHandle(), id);
        EXPECT_TRUE(n->WatchPidl().isNull());
        EXPECT_EQ(n->SpecialWatchFolder(), sfNone);
    }
}

TEST_F(TStShellNotificationTest, SpecialWatchFolderDesktopWatchesTheWholeNamespace)
{
    TStShellNotification* n = watching(dir.path(), false, kFileAndFolderEvents);
    const quint32 id = n->NotifyHandle();
    n->SetSpecialWatchFolder(sfDesktop);
    EXPECT_EQ(n->SpecialWatchFolder(), sfDesktop);
    EXPECT_TRUE(n->WatchFolder().isEmpty());
    EXPECT_TRUE(n->WatchPidl().isNull());
    EXPECT_NE(n->NotifyHandle(), id);
    EXPECT_TRUE(n->IsRegistered());
    // Without a list it hears the folders it follows (once the watch is in place).
    ASSERT_TRUE(QDir().mkpath(at("followed")));
    n->FollowFolder(at("followed"));
    EventLog log(*n, dir.path());
    ASSERT_TRUE(waitFor([&] {
        QFile::remove(at("followed/new"));
        touch(at("followed/new"));
        return log.has("FileCreate followed/new");
    }));
    // A special folder with no place here is refused, and nothing changes.
    try {
        n->SetSpecialWatchFolder(sfPrinters);
        ADD_FAILURE() << "accepted";
    } catch (const ESsShellError& e) {
        EXPECT_EQ(e.ErrorCode(), 110);
        EXPECT_EQ(e.message(), QStringLiteral("Operation not supported in this version of the shell"));
    }
    EXPECT_EQ(n->SpecialWatchFolder(), sfDesktop);
    // A folder named again clears the special folder.
    n->SetWatchFolder(dir.path());
    EXPECT_EQ(n->SpecialWatchFolder(), sfNone);
}

TEST_F(TStShellNotificationTest, MakingItemsNeverMakesANotice)
{
    ASSERT_TRUE(QDir().mkpath(at("sub")));
    touch(at("file.txt"));
    TStShellNotification* n = watching(dir.path(), true, TStNotifyEventsSet::All() - TStNotifyEventsSet{neDriveSpaceChange});
    EventLog log(*n, dir.path());
    for (const char* name : {"", "sub", "file.txt"}) {
        auto item = TStShellItem::CreateFromPath(at(name));
        item->IconIndex();
        item->IsReadOnly();
        item->HasSubFolder();
        TStCustomShellController controller;
        controller.GetFileInfo(item->Pidl());
        ShellNamespace::listChildren(item->Pidl(), SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN);
    }
    settle(log, dir.path(), "end");
    EXPECT_EQ(log.upTo("end"), QStringList());
}

TEST_F(TStShellNotificationTest, MkdirDashPThenAFileReportsEveryFolderAndTheFile)
{
    TStShellNotification* n = watching(dir.path(), true, kFileAndFolderEvents);
    EventLog log(*n, dir.path());
    log.withNotify = false;
    ASSERT_TRUE(QDir().mkpath(at("a/b/c")));
    touch(at("a/b/c/file"));
    ASSERT_TRUE(waitFor([&] { return log.has("FileCreate a/b/c/file"); }));
    settle(log, dir.path(), "end");
    EXPECT_EQ(log.upTo("end"), QStringList({"FolderCreate a", "FolderCreate a/b", "FolderCreate a/b/c", "FileCreate a/b/c/file"}));
}

TEST_F(TStShellNotificationTest, FolderRenamedThenWrittenIntoReportsTheNewPaths)
{
    ASSERT_TRUE(QDir().mkpath(at("old/deep")));
    TStShellNotification* n = watching(dir.path(), true, kFileAndFolderEvents);
    EventLog log(*n, dir.path());
    log.withNotify = false;
    ASSERT_TRUE(rename(at("old"), at("new")));
    touch(at("new/deep/file"));
    append(at("new/deep/file"), "x");
    settle(log, dir.path(), "end");
    EXPECT_EQ(log.upTo("end"), QStringList({"FolderRename old new", "FileCreate new/deep/file", "FileChange new/deep/file"}));
}

TEST_F(TStShellNotificationTest, TwentyThousandFilesReachTheHandlersInOrder)
{
    QTemporaryDir fast(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/vesmor-XXXXXX") : QString());
    TStShellNotification* n = watching(fast.path(), false, {neFileCreate});
    QStringList seen;
    seen.reserve(20000);
    int depth = 0, deepest = 0;
    n->OnFileCreate = [&](TObject*, TStShellItem* item) {
        deepest = std::max(deepest, ++depth);
        seen << item->DisplayName();
        --depth;
    };
    QStringList made;
    for (int i = 0; i < 20000; ++i) {
        made << QStringLiteral("f%1").arg(i, 5, 10, QChar(u'0'));
        QFile f(fast.filePath(made.last()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(waitFor([&] { return seen.size() >= 20000; }, 60000)) << seen.size();
    EXPECT_EQ(seen, made);
    EXPECT_EQ(deepest, 1);  // one by one
}

TEST_F(TStShellNotificationTest, FailingHandlerNeitherStopsTheNoticeNorBlocksTheQueue)
{
    BoxRecorder boxes;
    TStShellNotification* n = watching(dir.path(), false, {neFileCreate});
    EventLog log(*n, dir.path());
    n->OnFileCreate = [&](TObject*, TStShellItem* item) {
        log.lines << "FileCreate " + item->DisplayName();
        if (item->DisplayName() == "bad") throw AppException(QStringLiteral("Handler failed"));
    };
    touch(at("bad"));
    touch(at("good"));
    ASSERT_TRUE(waitFor([&] { return log.has("ShellChangeNotify good - 0x8"); }));
    EXPECT_EQ(log.lines, QStringList({"FileCreate bad", "ShellChangeNotify bad - 0x8", "FileCreate good",
                                      "ShellChangeNotify good - 0x8"}));
    EXPECT_EQ(boxes.texts(), QStringList({"Handler failed."}));
    EXPECT_EQ(n->QueueCount(), 0);
    // An error hook takes the place of the box.
    QStringList hooked;
    n->OnError = [&](TObject* sender, const QString& message) {
        EXPECT_EQ(sender, n);
        hooked << message;
    };
    touch(at("bad2"));
    n->OnFileCreate = [](TObject*, TStShellItem*) { throw std::runtime_error("plain failure"); };
    ASSERT_TRUE(waitFor([&] { return !hooked.isEmpty(); }));
    EXPECT_EQ(hooked, QStringList({"plain failure"}));
    EXPECT_EQ(boxes.texts().size(), 1);
}

// Runs in a child process whose user namespace allows only a few watches (see below).
TEST_F(TStShellNotificationTest, WatchLimitChild)
{
    if (qEnvironmentVariable("VESMOR_WATCH_LIMIT_CHILD") != "1") GTEST_SKIP() << "runs in its own namespace";
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("d%1/e").arg(i))));
    TStShellNotification n(&owner);
    QStringList errors, created;
    n.OnError = [&](TObject*, const QString& message) { errors << message; };
    n.OnFileCreate = [&](TObject*, TStShellItem* item) { created << item->DisplayName(); };
    n.SetWatchSubFolders(true);
    n.SetWatchFolder(dir.path());
    n.SetActive(true);
    ASSERT_TRUE(n.IsRegistered());
    // The walk tells what it could not watch, once; folders that come later are not told again.
    ASSERT_TRUE(n.WaitUntilWatching());
    EXPECT_TRUE(n.WatchWarning().contains("limit on watched folders")) << n.WatchWarning().toStdString();
    touch(at("top"));
    ASSERT_TRUE(waitFor([&] { return created.contains("top"); }));
    ASSERT_TRUE(QDir().mkpath(at("more/x")));
    touch(at("top2"));
    ASSERT_TRUE(waitFor([&] { return created.contains("top2"); }));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
}

TEST_F(TStShellNotificationTest, WatchLimitIsToldOnceAndTheRestStaysWatched)
{
    if (QStandardPaths::findExecutable("unshare").isEmpty()) GTEST_SKIP() << "no unshare";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VESMOR_WATCH_LIMIT_CHILD", "1");
    child.setProcessEnvironment(env);
    const QString self = QCoreApplication::applicationFilePath();
    child.start("unshare", {"-Ur", "sh", "-c",
                            "echo 20 > /proc/sys/user/max_inotify_watches || exit 77; exec \"$0\" "
                            "--gtest_filter=TStShellNotificationTest.WatchLimitChild",
                            self});
    ASSERT_TRUE(child.waitForFinished(60000));
    if (child.exitCode() == 77 || child.exitStatus() != QProcess::NormalExit) GTEST_SKIP() << "no user namespaces here";
    const QByteArray out = child.readAllStandardOutput() + child.readAllStandardError();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
}

}  // namespace
