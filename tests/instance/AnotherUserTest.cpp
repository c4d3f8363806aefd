// The real program run by one local user while another user of the machine plants objects
// where the program keeps, or used to keep, its single-instance objects. Whatever was planted,
// the user's program starts, a second copy brings it forward, and nothing stays behind.
#include "instance/TJclAppInstances.h"
#include "platform/runtime/ProcessLock.h"
#include "support/LocalUsers.h"
#include "support/ProgramRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Runtime { Private, Unset, SharedWithAll, TheIntruders };

std::string runtimeName(const testing::TestParamInfo<Runtime>& info)
{
    switch (info.param) {
    case Runtime::Private: return "PrivateRuntimeFolder";
    case Runtime::Unset: return "NoRuntimeFolder";
    case Runtime::SharedWithAll: return "RuntimeFolderSharedWithAll";
    case Runtime::TheIntruders: return "RuntimeFolderOfTheIntruder";
    }
    return "?";
}

bool give(const QString& path, unsigned uid, mode_t mode)
{
    const QByteArray p = QFile::encodeName(path);
    return ::chown(p.constData(), uid, uid) == 0 && ::chmod(p.constData(), mode) == 0;
}

bool own(const QString& folder, unsigned uid, mode_t mode) { return QDir().mkpath(folder) && give(folder, uid, mode); }

// The entries of a folder that belong to `uid`.
QStringList ownedBy(const QString& folder, unsigned uid)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        struct stat st {};
        if (::lstat(QFile::encodeName(folder + u'/' + name).constData(), &st) == 0 && st.st_uid == uid) found << name;
    }
    return found;
}

class AnotherUser : public testing::TestWithParam<Runtime> {
protected:
    void SetUp() override
    {
        if (const QString why = LocalUsers::unavailableReason(); !why.isEmpty()) GTEST_SKIP() << qPrintable(why);
        if (ProgramRun::binaryPath().isEmpty()) GTEST_SKIP() << "VESMOR_BINARY is not set";
        victim = users.account(LocalUsers::UserId, QStringLiteral("victim"));
        intruder = users.account(LocalUsers::IntruderId, QStringLiteral("intruder"));
        shared = users.sharedFolder(QStringLiteral("shared"));
        program = users.programCopy(ProgramRun::binaryPath());
        temp = victim.home + QStringLiteral("/temp");
        ASSERT_TRUE(own(temp, victim.uid, 0700));
        notes = victim.home + QStringLiteral("/notes.txt");
        QFile f(notes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Notes);
        f.close();
        ASSERT_TRUE(give(notes, victim.uid, 0600));

        switch (GetParam()) {
        case Runtime::Private:
            runtimeDir = victim.home + QStringLiteral("/run");
            ASSERT_TRUE(own(runtimeDir, victim.uid, 0700));
            break;
        case Runtime::Unset: break;
        case Runtime::SharedWithAll: runtimeDir = shared; break;
        case Runtime::TheIntruders:
            runtimeDir = shared + QStringLiteral("/run");
            ASSERT_EQ(LocalUsers::run(intruder, {QStringLiteral("sh"), QStringLiteral("-c"),
                                                 QStringLiteral("mkdir -m 777 \"$1\""), QStringLiteral("sh"), runtimeDir}),
                      0);
            break;
        }
        // Where the victim's objects live: the runtime folder when it is private, else a folder
        // in the victim's cache folder.
        objectFolder = GetParam() == Runtime::Private
                           ? runtimeDir
                           : victim.home + QStringLiteral("/.cache/vesmor-") + QSysInfo::machineHostName();
    }

    // The launcher that runs the program as the victim, with no cache folder from our own
    // environment.
    QStringList asVictim() const
    {
        QStringList words = LocalUsers::launcher(victim, runtimeDir);
        words.insert(words.indexOf(QStringLiteral("env")) + 1, QStringLiteral("XDG_CACHE_HOME"));
        words.insert(words.indexOf(QStringLiteral("env")) + 1, QStringLiteral("-u"));
        return words;
    }

    // What the intruder leaves, as the intruder: files under the victim's predictable names in
    // the shared memory folder, and links to the victim's notes under every name the program
    // uses, in every folder the intruder can write to.
    void plant()
    {
        const QString key = TJclAppInstances::InstanceKey(program);
        const QString uid = QString::number(victim.uid);
        const QString blocks[] = {TJclAppInstances::RegistryName(key), ProcessLock::blockName(TJclAppInstances::LockName(key))};
        const QString socket = QStringLiteral("jcl-") +
                               QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
        QStringList files, links;
        for (const QString& b : blocks) files << QStringLiteral("/dev/shm/") + b + u'.' + uid;
        QStringList folders{shared};
        if (!runtimeDir.isEmpty() && runtimeDir != shared) folders << runtimeDir;
        for (const QString& folder : folders) {
            for (const QString& b : blocks) links << folder + u'/' + b;
            links << folder + u'/' + socket + u'.' + uid << folder + u'/' + socket + QStringLiteral(".sock");
        }
        planted = files + links;
        const QString script = QStringLiteral(
            "target=$1; shift; n=$1; shift; i=0; for f in \"$@\"; do "
            "if [ $i -lt $n ]; then : > \"$f\"; else ln -s \"$target\" \"$f\" 2>/dev/null || : ; fi; i=$((i+1)); done");
        QString output;
        ASSERT_EQ(LocalUsers::run(intruder,
                                  QStringList{QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), notes,
                                              QString::number(files.size())} + planted,
                                  &output),
                  0)
            << qPrintable(output);
        // The victim's own private folder stays closed to the intruder.
        if (GetParam() == Runtime::Private) {
            EXPECT_NE(LocalUsers::run(intruder, {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral(": > \"$1/x\""),
                                                 QStringLiteral("sh"), runtimeDir}),
                      0);
        }
    }

    void TearDown() override
    {
        for (const QString& f : planted) QFile::remove(f);
    }

    static constexpr const char* Notes = "the victim's notes\n";
    LocalUsers users;
    LocalUsers::Account victim, intruder;
    QString shared, program, temp, notes, runtimeDir, objectFolder;
    QStringList planted;
};

TEST_P(AnotherUser, CannotKeepTheProgramFromStartingOrComingForward)
{
    plant();
    const QStringList shmBefore = ownedBy(QStringLiteral("/dev/shm"), victim.uid);

    ProgramRun first(temp, {}, program, asVictim());
    ASSERT_TRUE(first.waitForLine(QStringLiteral("Vesmor 2.5 running on computer"), 20000))
        << first.lines().join(u'\n').toStdString();

    ProgramRun second(temp, {QStringLiteral("-all")}, program, asVictim());
    const qint64 secondId = second.pid();
    EXPECT_EQ(second.waitForExit(20000), 0) << second.lines().join(u'\n').toStdString();
    EXPECT_EQ(second.lines().filter(QStringLiteral("box: warning: Vesmor is already running !")).size(), 1)
        << second.lines().join(u'\n').toStdString();
    const QString forward = QStringLiteral("instance: brought forward for process %1: ").arg(secondId);
    EXPECT_TRUE(first.waitForLine(forward)) << first.lines().join(u'\n').toStdString();
    EXPECT_TRUE(first.lines().filter(forward).value(0).endsWith(QStringLiteral("-> shown")));
    EXPECT_FALSE(ownedBy(objectFolder, victim.uid).isEmpty());  // the objects are where they belong

    EXPECT_EQ(first.terminate(), 0) << first.lines().join(u'\n').toStdString();
    EXPECT_TRUE(first.lines().filter(QStringLiteral("box: ")).isEmpty()) << first.lines().join(u'\n').toStdString();

    // The last copy took its objects with it; nothing of the victim's is left in /dev/shm.
    EXPECT_EQ(ownedBy(objectFolder, victim.uid), QStringList()) << qPrintable(objectFolder);
    EXPECT_EQ(ownedBy(QStringLiteral("/dev/shm"), victim.uid), shmBefore);
    // What was planted was neither used nor followed.
    QFile f(notes);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(Notes));
    for (const QString& p : planted) {
        struct stat st {};
        if (::lstat(QFile::encodeName(p).constData(), &st) == 0) {
            EXPECT_EQ(st.st_uid, intruder.uid) << qPrintable(p);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runtimes, AnotherUser,
                         testing::Values(Runtime::Private, Runtime::Unset, Runtime::SharedWithAll, Runtime::TheIntruders),
                         runtimeName);

}  // namespace
