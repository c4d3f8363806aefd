#include "support/FileBytes.h"
#include "support/LocalUsers.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// scripts/install-deps on machines where packages are missing, run as root and as a normal user
// with and without a usable sudo; only `--sudo` (make deps) may run sudo. The package database, apt-get and sudo are stand-ins on PATH
// (nothing is installed); the user is played for real.
class InstallDepsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString why = LocalUsers::unavailableReason();
        if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
        user = users.account(LocalUsers::UserId, "user");
        bin = users.root() + "/bin";
        QDir().mkpath(bin);
        // Only the tools the script needs, so that no real sudo or apt-get is found.
        for (const char* tool : {"bash", "grep", "id"})
            QFile::link(QStandardPaths::findExecutable(tool), bin + "/" + tool);
        calls = users.root() + "/calls";
        writeFile(calls, "");
        ::chmod(QFile::encodeName(calls).constData(), 0666);
        tool("apt-get", "echo \"apt-get $*\" >> '" + calls + "'");
    }

    void tool(const QString& name, const QString& body)
    {
        writeFile(bin + "/" + name, ("#!/bin/sh\n" + body + "\n").toUtf8());
        ::chmod(QFile::encodeName(bin + "/" + name).constData(), 0755);
    }
    // A package database in which these packages are missing.
    void missing(const QString& packages)
    {
        tool("dpkg-query", "for p in " + packages + "; do [ \"$p\" = \"$3\" ] && exit 1; done; printf 'install ok installed'");
    }

    struct Result {
        int code;
        QString output;
    };
    Result run(bool asUser, bool viaSudo, const QString& group)
    {
        const QString script = QStringLiteral(VESMOR_SOURCE_DIR "/scripts/install-deps");
        QStringList words = {"env", "PATH=" + bin, script};
        if (viaSudo) words << "--sudo";
        if (!group.isEmpty()) words << group;
        if (asUser) words = LocalUsers::launcher(user) + words;
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.setStandardInputFile(QProcess::nullDevice());  // nobody at a terminal
        p.start(words.first(), words.mid(1));
        if (!p.waitForFinished(20000)) return {-1, "did not end"};
        return {p.exitCode(), QString::fromLocal8Bit(p.readAll())};
    }

    LocalUsers users;
    LocalUsers::Account user;
    QString bin, calls;
};

// Building and running ask only for their own packages; the tests' tools only with `test`.
TEST_F(InstallDepsTest, InstallsOrSaysWhatToRunAsRoot)
{
    struct Case {
        const char* what;
        const char* missingPackages;
        const char* group;  // the word after the script: "" for make build and make run
        const char* sudo;  // the stand-in's body; null: no sudo at all
        bool asUser;
        bool viaSudo;  // make deps
        int code;
        const char* asked;  // the packages of the line to run as root; null: none told
        QString apt;  // what apt-get was asked
    } const cases[] = {
        {"nothing missing", "", "test", nullptr, true, false, 0, nullptr, ""},
        {"a build needs no test tool", "fswatch xdotool lintian", "", nullptr, true, false, 0, nullptr, ""},
        {"a build asks only for its own", "cmake fswatch", "", nullptr, true, false, 1, "cmake", ""},
        {"the tests ask for both", "cmake fswatch", "test", nullptr, true, false, 1, "cmake fswatch", ""},
        {"a user without sudo", "fswatch xdotool", "test", nullptr, true, false, 1, "fswatch xdotool", ""},
        {"a user without sudo, asking for it", "fswatch xdotool", "test", nullptr, true, true, 1, "fswatch xdotool", ""},
        {"a user whom sudo refuses", "fswatch xdotool", "test", "exit 1", true, true, 1, "fswatch xdotool", ""},
        {"a build never runs sudo, even one that asks nothing", "fswatch xdotool", "test",
         "[ \"$1\" = -n ] && shift; \"$@\"", true, false, 1, "fswatch xdotool", ""},
        {"a user with a sudo that asks nothing, asking for it", "fswatch xdotool", "test",
         "[ \"$1\" = -n ] && shift; \"$@\"", true, true, 0, nullptr,
         "apt-get update -qq\napt-get install -y -qq --no-install-recommends fswatch xdotool\n"},
        {"root", "fswatch xdotool", "test", nullptr, false, false, 0, nullptr,
         "apt-get update -qq\napt-get install -y -qq --no-install-recommends fswatch xdotool\n"},
        {"a package is made with dpkg-dev", "dpkg-dev fswatch", "package", nullptr, false, false, 0, nullptr,
         "apt-get update -qq\napt-get install -y -qq --no-install-recommends dpkg-dev\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        missing(c.missingPackages);
        QFile::remove(bin + "/sudo");
        if (c.sudo) tool("sudo", c.sudo);
        writeFile(calls, "");
        const Result r = run(c.asUser, c.viaSudo, c.group);
        EXPECT_EQ(r.code, c.code) << r.output.toStdString();
        const QString line = QStringLiteral("  apt-get install --no-install-recommends %1\n").arg(c.asked);
        EXPECT_EQ(r.output.endsWith("Run this as root, then try again:\n" + line), c.asked != nullptr) << r.output.toStdString();
        if (c.code == 0 && c.apt.isEmpty()) {
            EXPECT_EQ(r.output, QString()) << "nothing to say when nothing is missing";
        }
        EXPECT_EQ(QString::fromUtf8(readFile(calls)), c.apt);
    }
}

}  // namespace
