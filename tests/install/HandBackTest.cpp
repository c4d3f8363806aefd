#include "support/LocalUsers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

unsigned ownerOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_uid : ~0u;
}

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

// `sudo make install` in a user's checkout: what root wrote in the build folder (objects, the
// install manifest, cpack's staging tree, a link) goes back to the checkout's owner, so that
// their next build can write there; a file of a third person stays theirs.
TEST(HandBackTest, RootsFilesInAUsersBuildFolderGoBackToTheUser)
{
    const QString why = LocalUsers::unavailableReason();
    if (!why.isEmpty()) GTEST_SKIP() << why.toStdString();
    LocalUsers users;
    const LocalUsers::Account user = users.account(LocalUsers::UserId, "user");
    const QString checkout = user.home + "/vesmor";
    ASSERT_EQ(LocalUsers::run(user, {"mkdir", "-p", checkout + "/build/CMakeFiles"}), 0);
    ASSERT_EQ(LocalUsers::run(user, {"touch", checkout + "/build/.ninja_log"}), 0);
    const QString build = checkout + "/build";
    const QStringList rootMade = {"/install_manifest.txt", "/.ninja_deps", "/CMakeFiles/vesmor.dir/app/VSM25.cpp.o",
                                  "/_CPack_Packages/Linux/DEB/vesmor/usr/bin/vesmor"};
    for (const QString& f : rootMade) touch(build + f);
    ASSERT_EQ(::symlink("/nonexistent", QFile::encodeName(build + "/link").constData()), 0);
    touch(build + "/theirs");
    ASSERT_EQ(::chown(QFile::encodeName(build + "/theirs").constData(), LocalUsers::IntruderId, LocalUsers::IntruderId), 0);

    QProcess p;
    p.setWorkingDirectory(checkout);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(VESMOR_SOURCE_DIR "/scripts/hand-back"), {"build"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAll().toStdString();

    QDirIterator all(build, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    int seen = 0;
    while (all.hasNext()) {
        const QString path = all.next();
        EXPECT_EQ(ownerOf(path), path.endsWith("/theirs") ? LocalUsers::IntruderId : LocalUsers::UserId) << path.toStdString();
        ++seen;
    }
    EXPECT_GE(seen, 12);
    // The user's next build and install write there again.
    EXPECT_EQ(LocalUsers::run(user, {"sh", "-c", "cd \"$0\" && echo x > build/install_manifest.txt && echo x >> build/.ninja_deps && "
                                                  "rm -r build/_CPack_Packages build/CMakeFiles/vesmor.dir",
                                     checkout}),
              0);
}

}  // namespace
