#include "support/ProgramRun.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString AppId = QStringLiteral("org.vesmor.Vesmor");

QString buildDir() { return QFileInfo(QStringLiteral(VESMOR_BINARY_PATH)).absolutePath(); }

struct ToolRun {
    int code = -1;
    QString output;
};

ToolRun run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
        int ms = 120000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("%1 did not finish: %2").arg(program, QString::fromLocal8Bit(p.readAll()))};
    }
    const QString out = QString::fromLocal8Bit(p.readAll());
    if (p.exitStatus() != QProcess::NormalExit) return {-1, program + " crashed: " + out};
    return {p.exitCode(), out};
}

// A validator that the tests need; install-deps brings it.
QString tool(const char* name)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    EXPECT_FALSE(path.isEmpty()) << name << " is missing: run scripts/install-deps";
    return path;
}

// What an installed tree under /usr holds, beside the binary.
const char* const DataFiles[] = {
    "usr/share/applications/org.vesmor.Vesmor.desktop",
    "usr/share/metainfo/org.vesmor.Vesmor.metainfo.xml",
    "usr/share/icons/hicolor/scalable/apps/org.vesmor.Vesmor.svg",
    "usr/share/icons/hicolor/48x48/apps/org.vesmor.Vesmor.png",
    "usr/share/icons/hicolor/128x128/apps/org.vesmor.Vesmor.png",
    "usr/share/icons/hicolor/256x256/apps/org.vesmor.Vesmor.png",
    "usr/share/vesmor/autostart/org.vesmor.Vesmor.desktop",
    "usr/share/man/man1/vesmor.1.gz",
    "usr/share/doc/vesmor/copyright",
    "usr/share/doc/vesmor/changelog.gz",
};

QString desktopKey(const QString& file, const QString& key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key.toUtf8() + '=')) return QString::fromUtf8(line.mid(key.size() + 1)).trimmed();
    return {};
}

// Checks a tree rooted at `root` as a desktop would see it after an install to /usr.
void expectDesktopProgramTree(const QString& root)
{
    SCOPED_TRACE(root.toStdString());
    const QFileInfo binary(root + "/usr/bin/vesmor");
    EXPECT_TRUE(binary.isFile() && binary.isExecutable()) << "no executable usr/bin/vesmor";
    for (const char* relative : DataFiles) EXPECT_TRUE(QFileInfo(root + '/' + relative).isFile()) << relative;

    // Each PNG is the size its folder says, with a picture in it, not an empty canvas.
    QDirIterator pngs(root + "/usr/share/icons/hicolor", {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
    while (pngs.hasNext()) {
        const QString png = pngs.next();
        const QString sizeFolder = QFileInfo(QFileInfo(png).absolutePath()).dir().dirName();
        const QImage image(png);
        ASSERT_FALSE(image.isNull()) << png.toStdString();
        EXPECT_EQ(QStringLiteral("%1x%2").arg(image.width()).arg(image.height()), sizeFolder);
        EXPECT_TRUE(image.hasAlphaChannel());
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "the corners of the round icon are see-through";
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2).alpha(), 255);
    }

    const QString desktop = root + "/usr/share/applications/" + AppId + ".desktop";
    const QString autostart = root + "/usr/share/vesmor/autostart/" + AppId + ".desktop";
    const QString metainfo = root + "/usr/share/metainfo/" + AppId + ".metainfo.xml";
    for (const QString& entry : {desktop, autostart}) {
        const ToolRun v = run(tool("desktop-file-validate"), {entry});
        EXPECT_EQ(v.code, 0) << v.output.toStdString();
        EXPECT_TRUE(v.output.trimmed().isEmpty()) << "hints: " << v.output.toStdString();
        // The entry names what the tree installs.
        EXPECT_EQ(desktopKey(entry, "Icon"), AppId);
        EXPECT_TRUE(QFileInfo(root + "/usr/bin/" + desktopKey(entry, "Exec").section(u' ', 0, 0)).isExecutable());
    }
    EXPECT_EQ(desktopKey(desktop, "Exec"), "vesmor");
    EXPECT_EQ(desktopKey(autostart, "Exec"), "vesmor -m") << "at login it starts hidden";
    const ToolRun a = run(tool("appstreamcli"), {"validate", "--no-net", metainfo});
    EXPECT_EQ(a.code, 0) << a.output.toStdString();
    QFile meta(metainfo);
    ASSERT_TRUE(meta.open(QIODevice::ReadOnly));
    EXPECT_TRUE(meta.readAll().contains("<launchable type=\"desktop-id\">" + AppId.toUtf8() + ".desktop</launchable>"));

    // Installed, not switched on: nothing lands in a folder that desktops start programs from.
    EXPECT_FALSE(QFileInfo::exists(root + "/etc/xdg/autostart"));
    EXPECT_FALSE(QFileInfo::exists(root + "/usr/etc"));
}

// Every folder 0755, every file 0644 but the program's 0755, whatever the installer's umask:
// a folder open to all would let anyone replace the autostart template users copy.
void expectModesSet(const QString& root)
{
    QDirIterator all(root + "/usr", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    int seen = 0;
    while (all.hasNext()) {
        const QString path = all.next();
        const QFileInfo info(path);
        const QFile::Permissions mode = info.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        const bool executable = info.isDir() || path.endsWith("/usr/bin/vesmor");
        const QFile::Permissions expected = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther |
                                            (executable ? QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther : QFile::Permissions());
        EXPECT_EQ(mode, expected) << path.toStdString() << QStringLiteral(" has mode %1").arg(int(info.permissions()), 0, 16).toStdString();
        ++seen;
    }
    EXPECT_GT(seen, 20);
}

// cmake --install and cpack both write the build folder's install manifest: the tests that run
// them take turns (RESOURCE_LOCK in tests/CMakeLists.txt).
TEST(InstalledTreeTest, InstallIntoADestdirGivesADesktopProgramThatStarts)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", root.path());
    // Under the loosest umask there is.
    const ToolRun install = run("sh", {"-c", "umask 000 && exec cmake --install \"$0\" --prefix /usr", buildDir()}, env);
    ASSERT_EQ(install.code, 0) << install.output.toStdString();
    expectDesktopProgramTree(root.path());
    expectModesSet(root.path());

    // Everything else lands under the prefix too: no stray file outside usr/.
    QDirIterator all(root.path(), QDir::Files, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString f = all.next();
        EXPECT_TRUE(f.startsWith(root.path() + "/usr/")) << f.toStdString();
    }

    // The installed binary runs on its own, away from the build tree.
    QTemporaryDir temp;
    ProgramRun program(temp.path(), {}, root.path() + "/usr/bin/vesmor");
    EXPECT_TRUE(program.waitForLine("live-log: #000000 Windows Platform: ", 30000)) << program.lines().join('\n').toStdString();
    EXPECT_EQ(program.terminate(), 0);

    // Its manual page is read without a warning, and so is --help.
    const ToolRun man = run("man", {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                                    root.path() + "/usr/share/man/man1/vesmor.1.gz"});
    EXPECT_EQ(man.code, 0) << man.output.toStdString();
    EXPECT_FALSE(man.output.contains("warning")) << man.output.toStdString();
    EXPECT_TRUE(run(root.path() + "/usr/bin/vesmor", {"--help"}).output.startsWith("Usage: vesmor [WATCH | -all] [-m]\n"));
}

// make uninstall takes away every file and every folder that make install made, a second
// install included; a folder that was there before, with another program's file, stays.
TEST(InstalledTreeTest, UninstallRemovesWhatInstallMade)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString foreign = root.path() + "/usr/local/share/applications/other.desktop";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(foreign).absolutePath()));
    QFile other(foreign);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", root.path());
    for (int i = 0; i < 2; ++i) {
        const ToolRun install = run("cmake", {"--install", buildDir(), "--prefix", "/usr/local"}, env);
        ASSERT_EQ(install.code, 0) << install.output.toStdString();
    }
    ASSERT_TRUE(QFileInfo(root.path() + "/usr/local/share/vesmor/autostart/org.vesmor.Vesmor.desktop").isFile());
    const ToolRun uninstall =
        run(QStringLiteral(VESMOR_SOURCE_DIR "/scripts/uninstall"), {buildDir() + "/install_manifest.txt"}, env);
    ASSERT_EQ(uninstall.code, 0) << uninstall.output.toStdString();
    QStringList left;
    QDirIterator all(root.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (all.hasNext()) left << all.next().mid(root.path().size());
    left.sort();
    EXPECT_EQ(left, QStringList({"/usr", "/usr/local", "/usr/local/share", "/usr/local/share/applications",
                                 "/usr/local/share/applications/other.desktop"}));
}

TEST(InstalledTreeTest, DebianPackageHoldsTheTreeAndNamesItsRunTimeDependencies)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "packages are made from the plain build";
#endif
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const ToolRun pack = run("sh", {"-c", "umask 000 && exec cpack -G DEB --config \"$0\" -B \"$1\"",
                                    buildDir() + "/CPackConfig.cmake", out.path()});
    ASSERT_EQ(pack.code, 0) << pack.output.toStdString();
    const QStringList debs = QDir(out.path()).entryList({"vesmor_*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << pack.output.toStdString();
    const QString deb = out.path() + '/' + debs.first();

    const auto field = [&](const char* name) { return run("dpkg-deb", {"-f", deb, name}).output.trimmed(); };
    EXPECT_EQ(field("Package"), "vesmor");
    EXPECT_EQ(field("Version"), "2.5");
    EXPECT_EQ(field("Recommends"), "xdg-utils");
    QStringList depends;
    for (const QString& d : field("Depends").split(u',', Qt::SkipEmptyParts))
        depends << d.trimmed().section(QRegularExpression("[ (|]"), 0, 0);
    // The libraries the binary links, found by dpkg-shlibdeps, and the platform plugin the
    // toolkit loads at run time: without it the program can't open a window.
    for (const char* needed : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6network6",
                               "libqt6svg6", "qt6-qpa-plugins"})
        EXPECT_TRUE(depends.contains(needed)) << needed << " missing from: " << depends.join(", ").toStdString();
    for (const QString& d : depends) EXPECT_FALSE(d.endsWith("-dev")) << "build-only package at run time: " << d.toStdString();

    QTemporaryDir root;
    const ToolRun extract = run("dpkg-deb", {"-x", deb, root.path()});
    ASSERT_EQ(extract.code, 0) << extract.output.toStdString();
    expectDesktopProgramTree(root.path());
    expectModesSet(root.path());
    EXPECT_FALSE(field("Maintainer").contains("localhost")) << field("Maintainer").toStdString();
    EXPECT_FALSE(field("Homepage").isEmpty());

    // What a packager checks: no error and no warning, pedantic included (the hardening of
    // the binary, the copyright file, the changelog, the manual page, the maintainer).
    const ToolRun lint = run(tool("lintian"), {"-I", "--pedantic", "--fail-on", "error,warning", deb},
                             QProcessEnvironment::systemEnvironment(), 240000);
    EXPECT_EQ(lint.code, 0) << lint.output.toStdString();
    EXPECT_TRUE(lint.output.split(u'\n').filter(QRegularExpression("^[EW]: ")).isEmpty()) << lint.output.toStdString();

    // Shipped without debugging symbols: a fraction of the build's size.
    EXPECT_LT(QFileInfo(root.path() + "/usr/bin/vesmor").size(), QFileInfo(QStringLiteral(VESMOR_BINARY_PATH)).size() / 2);
}

}  // namespace
