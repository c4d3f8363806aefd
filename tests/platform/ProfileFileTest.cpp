#include "platform/boxes/AppException.h"
#include "platform/settings/ProfileFile.h"
#include "platform/text/PathBytes.h"
#include "support/FileBytes.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t Stranger = 61002;

class ProfileFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("settings.cfg"));

    void put(const QByteArray& bytes) { writeFile(file, bytes); }
    QByteArray bytes() const { return readFile(file); }
    QString entry(const QString& name) const { return dir.filePath(name); }
    static QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

    // Whether a write of the file fails with the file's "Unable to write to" error.
    bool writeRefused(const ProfileFile::Location& at)
    {
        try {
            ProfileFile::writeString(at, "s", "k", "new");
            return false;
        } catch (const AppException& e) {
            EXPECT_EQ(e.message(), "Unable to write to " + at.path());
            return true;
        }
    }
};

TEST_F(ProfileFileTest, ReadsWithProfileSemantics)
{
    put("; comment\r\n[Docs]\r\n  Path = /home/u/Docs  \r\nquoted=\"a b\"\r\nsingle='x'\r\nhalf=\"x\r\n"
        "path=second\r\n[docs]\r\npath=dup section\r\n[Other]\r\nnoequals\r\nk=v\r\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"Docs", "path", "/home/u/Docs"},  // first of duplicate keys, blanks trimmed, CRLF
        {"DOCS", "PATH", "/home/u/Docs"},  // names without regard to case
        {" Docs ", "path", "/home/u/Docs"},  // blanks around an asked name don't count
        {"Docs", "quoted", "a b"},
        {"Docs", "single", "x"},
        {"Docs", "half", "\"x"},           // unmatched quote kept
        {"Other", "k", "v"},
        {"Other", "noequals", ""},
        {"Missing", "k", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProfileFile::readString(file, c.section, c.key), QString::fromUtf8(c.expected)) << c.section << "." << c.key;
    EXPECT_EQ(ProfileFile::sectionNames(file), (QStringList{"Docs", "Other"}));
}

// A hand-edited file: every header is seen, the first of a name answers, a byte-order mark is
// skipped and kept.
TEST_F(ProfileFileTest, SnapshotSeesEveryHeaderAndAnswersFromTheFirst)
{
    put("\xEF\xBB\xBF[a]\nk=1\n[A]\nk=2\n[b]\n[ a ]\nk=3\n[\xC3\x9C]\nk=4");
    const ProfileFile::Snapshot snap = ProfileFile::read(file);
    EXPECT_EQ(snap.sectionNames(), (QStringList{"a", "b", "Ü"}));
    EXPECT_EQ(snap.sectionHeaders(), (QStringList{"a", "A", "b", "a", "Ü"}));
    EXPECT_EQ(snap.readString("A", "K"), "1");
    EXPECT_EQ(snap.readString("ü", "k"), "4") << "case is folded beyond ASCII; a last line without line end";
    EXPECT_FALSE(snap.sectionExists("b"));
    ProfileFile::writeString(file, "b", "x", "y");
    EXPECT_EQ(bytes(), QByteArray("\xEF\xBB\xBF[a]\nk=1\n[A]\nk=2\n[b]\nx=y\n[ a ]\nk=3\n[\xC3\x9C]\nk=4"));
}

TEST_F(ProfileFileTest, MissingFileReadsEmpty)
{
    EXPECT_TRUE(ProfileFile::sectionNames(file).isEmpty());
    EXPECT_EQ(ProfileFile::readString(file, "a", "b"), QString());
    EXPECT_FALSE(ProfileFile::sectionExists(file, "a"));
    EXPECT_FALSE(ProfileFile::exists(file));
}

TEST_F(ProfileFileTest, ValueIsCutAt2047Characters)
{
    put("[s]\nk=" + QByteArray(5000, 'x') + "\nsmile=" + QByteArray(2046, 'x') + "\xF0\x9F\x98\x80\n");
    EXPECT_EQ(ProfileFile::readString(file, "s", "k").size(), 2047);
    EXPECT_EQ(ProfileFile::readString(file, "s", "smile"), QString(2046, u'x')) << "a character is never cut in half";
}

// Whatever goes in comes back out, through each way of writing.
TEST_F(ProfileFileTest, OddValuesAndNamesReadBackExactly)
{
    const QString values[] = {
        "",          " lead",       "trail ",      "\tboth\t",       "'x'",     "\"x\"",   "\"x",  "x\"",
        "'",         "\"",          "''",          "\" a \"",        " ",       "a=b",     "[x]",  ";c",
        "#c",        "Ünï ✓ 😀",   "in \"side\"", "/opt/my tools/run", "\"/opt/my tools/run\"", "x'",
        QString(QChar(0xFEFF)) + " x",  // a byte-order mark inside a line is a character like any other
    };
    const QString sections[] = {"s", "a=b", "x;y", "'q", "q\"", "Ünï", "with blank"};
    auto key = [](qsizetype i) { return QStringLiteral("k%1").arg(i); };
    QList<ProfileFile::Write> all;
    QList<QPair<QString, QString>> keys;
    for (qsizetype i = 0; i < qsizetype(std::size(values)); ++i) {
        ProfileFile::writeString(file, "one", key(i), values[i]);
        all.append({"many", key(i), values[i]});
        keys.append({key(i), values[i]});
    }
    ProfileFile::writeStrings(file, all);
    ProfileFile::replaceSection(file, "whole", keys);
    for (const QString& section : sections) ProfileFile::writeString(file, section, "K", section);
    const ProfileFile::Snapshot snap = ProfileFile::read(file);
    for (qsizetype i = 0; i < qsizetype(std::size(values)); ++i)
        for (const char* section : {"one", "many", "whole"})
            EXPECT_EQ(snap.readString(section, key(i)), values[i]) << section << " " << values[i].toStdString();
    for (const QString& section : sections) EXPECT_EQ(snap.readString(section, "k"), section);
    EXPECT_EQ(snap.sectionNames(), QStringList({"one", "many", "whole"}) + QStringList(std::begin(sections), std::end(sections)));

    // What needs no quotes is written as it is: hand-readable, and as other readers expect.
    QFile::remove(file);
    QFile::remove(file + ".lock");
    ProfileFile::writeStrings(file, {{"s", "path", "/home/u/a b"}, {"s", "lead", " x"}, {"s", "q", "'x'"}});
    EXPECT_EQ(bytes(), QByteArray("[s]\npath=/home/u/a b\nlead=\" x\"\nq=\"'x'\"\n"));
    // A line break can't live inside a line: it becomes a blank instead of splitting the file.
    ProfileFile::writeString(file, "s", "nl", "a\nb\r\nc");
    EXPECT_EQ(ProfileFile::readString(file, "s", "nl"), "a b  c");
    EXPECT_EQ(ProfileFile::sectionNames(file), QStringList{"s"});
}

// A folder whose name is not UTF-8 (Latin-1 "café" typed into the file by hand) is read as the
// very bytes, so the watch finds that folder, and a save writes the bytes back unchanged.
TEST_F(ProfileFileTest, PathBytesThatAreNotUtf8ReadAndWriteBackAsThemselves)
{
    const QByteArray latin1Path = "/data/caf\xe9/r\xe9sum\xe9 ";
    writeFile(file, "[w]\npath=/data/caf\xe9/r\xe9sum\xe9\nexec=\"/opt/\xff\xfe \"\n");
    const QString path = ProfileFile::readString(file, "w", "path");
    EXPECT_EQ(PathBytes::encode(path), latin1Path.chopped(1));
    EXPECT_EQ(PathBytes::encode(ProfileFile::readString(file, "w", "exec")), QByteArray("/opt/\xff\xfe "));
    ProfileFile::writeString(file, "w", "path", PathBytes::decode(latin1Path));
    EXPECT_TRUE(bytes().contains("path=\"" + latin1Path + "\"\n")) << bytes().toStdString();
    EXPECT_TRUE(bytes().contains("exec=\"/opt/\xff\xfe \"\n")) << bytes().toStdString();
    EXPECT_EQ(PathBytes::encode(ProfileFile::readString(file, "w", "path")), latin1Path);
}

TEST_F(ProfileFileTest, WritesKeepTheRestOfTheFile)
{
    put("; keep me\n[A]\nx=1\nunknown=7\n\n[B]\ny=2\n");
    ProfileFile::writeString(file, "a", "x", "9");    // existing key, other case
    ProfileFile::writeString(file, "A", "new", "n");  // new key at the end of its section
    ProfileFile::writeString(file, "C", "z", "3");    // new section at the end
    EXPECT_EQ(bytes(), QByteArray("; keep me\n[A]\nx=9\nunknown=7\nnew=n\n\n[B]\ny=2\n[C]\nz=3\n"));
    ProfileFile::eraseSection(file, "b");
    EXPECT_EQ(bytes(), QByteArray("; keep me\n[A]\nx=9\nunknown=7\nnew=n\n\n[C]\nz=3\n"));
}

// Many values in one replacement give the bytes of writing them one at a time.
TEST_F(ProfileFileTest, ManyValuesAtOnceAreTheBytesOfOneByOne)
{
    const QByteArray start = "\xEF\xBB\xBF; head\r\n[A]\r\nx=1\r\nx=dup\r\nnoequals\r\n\r\n[b]\nk=v\n[a]\nx=ghost\n[C]\nlast=1";
    const QList<ProfileFile::Write> writes = {
        {"a", "X", "2"},     {"A", "new", "n"},   {"D", "d1", "1"},  {"b", "k", " w "}, {"C", "more", "m"},
        {"d", "d2", "'2'"},  {"A", "new", "n2"},  {"b", "z", ""},    {"E", "e", "e"},
    };
    const QString one = entry("one.cfg"), all = entry("all.cfg");
    writeFile(one, start);
    writeFile(all, start);
    for (const ProfileFile::Write& w : writes) ProfileFile::writeString(one, w.section, w.key, w.value);
    ProfileFile::writeStrings(all, writes);
    EXPECT_EQ(readFile(all), readFile(one));
    EXPECT_EQ(ProfileFile::readString(all, "a", "x"), "2");
    EXPECT_EQ(ProfileFile::readString(all, "a", "new"), "n2");
    EXPECT_EQ(ProfileFile::sectionNames(all), (QStringList{"A", "b", "C", "D", "E"}));
}

TEST_F(ProfileFileTest, SectionExistsOnlyWithAKey)
{
    put("[empty]\n; nothing\n[full]\nk=\n");
    EXPECT_FALSE(ProfileFile::sectionExists(file, "empty"));
    EXPECT_TRUE(ProfileFile::sectionExists(file, "FULL"));
}

TEST_F(ProfileFileTest, FailedWriteNamesTheFile)
{
    EXPECT_TRUE(writeRefused(dir.filePath(QStringLiteral("no/such/settings.cfg"))));
    EXPECT_TRUE(writeRefused(ProfileFile::Location(OpenFolder::open(dir.filePath("missing")), "settings.cfg")))
        << "a folder that could not be opened is never written";
}

TEST_F(ProfileFileTest, WriteLeavesNoTemporaryFiles)
{
    ProfileFile::writeString(file, "s", "k", "v");
    ProfileFile::writeString(file, "s", "k", "w");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), (QStringList{"settings.cfg", "settings.cfg.lock"}));
}

// What may stand at the file's place, and what reading and writing make of it.
TEST_F(ProfileFileTest, WhatStandsInThePlaceOfTheFile)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    const QByteArray ours = "[s]\nk=ours\n";
    const QString target = entry("real/target.cfg");
    struct Case {
        const char* what;
        std::function<void()> setUp;
        const char* reads;     // the value of s.k
        bool writable;
        QString changed;       // the file a write changes (checked to hold "new")
    } const cases[] = {
        {"a regular file of ours", [&] { put(ours); }, "ours", true, file},
        {"a link of ours: written through, stays a link",
         [&] {
             writeFile(target, ours);
             QFile::link(target, file);
         },
         "ours", true, target},
        {"a relative link of ours to a link of ours",
         [&] {
             writeFile(target, ours);
             QFile::link(target, entry("hop"));
             QFile::link("hop", file);
         },
         "ours", true, target},
        {"a link of another user", [&] {
             writeFile(target, ours);
             QFile::link(target, file);
             ::lchown(encoded(file).constData(), Stranger, Stranger);
         }, "", false, {}},
        {"a file of another user", [&] {
             put(ours);
             ::chown(encoded(file).constData(), Stranger, Stranger);
         }, "", false, {}},
        {"a read-only file of ours", [&] {
             put(ours);
             ::chmod(encoded(file).constData(), 0444);
         }, "ours", false, {}},
        {"a dangling link of ours: nothing is created through it",
         [&] { QFile::link(entry("nowhere/x.cfg"), file); }, "", false, {}},
        {"a named pipe", [&] { ::mkfifo(encoded(file).constData(), 0600); }, "", false, {}},
        {"a folder", [&] { QDir().mkpath(file); }, "", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        c.setUp();
        const QFileInfo before(file);
        const QByteArray targetBefore = readFile(target);
        EXPECT_EQ(ProfileFile::readString(file, "s", "k"), QString::fromUtf8(c.reads));
        EXPECT_TRUE(ProfileFile::exists(file));
        EXPECT_EQ(!writeRefused(file), c.writable);
        if (c.writable) {
            EXPECT_EQ(ProfileFile::readString(c.changed, "s", "k"), "new");
            EXPECT_EQ(ProfileFile::readString(file, "s", "k"), "new");
        } else {
            EXPECT_EQ(readFile(target), targetBefore);
            EXPECT_FALSE(QFile::exists(entry("nowhere/x.cfg")));
        }
        EXPECT_EQ(QFileInfo(file).isSymLink(), before.isSymLink()) << "a link stays a link";
        const QStringList left = QDir(dir.path()).entryList({"*.saving-*"}, QDir::Files | QDir::Hidden);
        EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
    }
}

// Once opened, the folder is used as opened: a folder swapped in at its path is never read or
// written, the moved original still is.
TEST_F(ProfileFileTest, TheFolderIsUsedAsOpened)
{
    const QString place = entry("VSM25"), moved = entry("moved");
    writeFile(place + "/settings.cfg", "[mine]\nk=1\n");
    const ProfileFile::Location at(OpenFolder::open(place), "settings.cfg");
    ASSERT_TRUE(at.folder().isOpen());
    ASSERT_TRUE(QDir().rename(place, moved));
    writeFile(place + "/settings.cfg", "[planted]\nk=evil\n");

    EXPECT_EQ(ProfileFile::sectionNames(at), QStringList{"mine"});
    ProfileFile::writeString(at, "mine", "k", "2");
    ProfileFile::removeUnfinishedWrites(at);
    EXPECT_EQ(readFile(moved + "/settings.cfg"), QByteArray("[mine]\nk=2\n"));
    EXPECT_EQ(readFile(place + "/settings.cfg"), QByteArray("[planted]\nk=evil\n"));
    EXPECT_EQ(QDir(place).entryList(QDir::Files), QStringList{"settings.cfg"});
}

// Two programs saving the same file at once (two copies at different paths share the settings
// folder): neither loses the other's change.
TEST_F(ProfileFileTest, WritersInTwoProcessesLoseNothing)
{
    put("[shared]\nk=0\n");
    constexpr int Writers = 2, Writes = 40;
    pid_t children[Writers];
    for (int w = 0; w < Writers; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            for (int i = 0; i < Writes; ++i)
                ProfileFile::writeString(file, QStringLiteral("writer%1").arg(w), QStringLiteral("k%1").arg(i), QString::number(i));
            ::_exit(0);
        }
    }
    for (pid_t c : children) {
        int status = 0;
        ::waitpid(c, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const ProfileFile::Snapshot snap = ProfileFile::read(file);
    EXPECT_EQ(snap.readString("shared", "k"), "0");
    for (int w = 0; w < Writers; ++w)
        for (int i = 0; i < Writes; ++i)
            EXPECT_EQ(snap.readString(QStringLiteral("writer%1").arg(w), QStringLiteral("k%1").arg(i)), QString::number(i))
                << "writer " << w << " key " << i;
}

// A copy is removed only when no writer holds the lock: while one does, its save may be in
// progress. A write waits for the lock instead of failing at once.
TEST_F(ProfileFileTest, UnfinishedCopiesAreRemovedOnlyWhileNobodyWrites)
{
    put("[s]\nk=1\n");
    const QString copy = entry("settings.cfg.saving-Ab12Cd");
    writeFile(copy, "[s]\nk=");
    int toChild[2], fromChild[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(fromChild), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(encoded(file + ".lock").constData(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        char c = 'x';
        (void)!::write(fromChild[1], &c, 1);
        (void)!::read(toChild[0], &c, 1);  // holds the lock until told
        ::usleep(300 * 1000);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(fromChild[0], &c, 1), 1);
    ProfileFile::removeUnfinishedWrites(file);
    EXPECT_TRUE(QFile::exists(copy)) << "removed while a writer held the lock";
    (void)!::write(toChild[1], &c, 1);
    ProfileFile::writeString(file, "s", "k", "2");  // waits for the holder to let go
    EXPECT_EQ(ProfileFile::readString(file, "s", "k"), "2");
    ::waitpid(holder, nullptr, 0);
    ProfileFile::removeUnfinishedWrites(file);
    EXPECT_FALSE(QFile::exists(copy));
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
}

}  // namespace
