// Time from starting the program to its banner in the live log, for settings files of 1, 100,
// 1,000 and 10,000 full sections: the settings are read, every section is looked at, and the
// window is ready. The real binary is started as a user would, on the offscreen platform.
//
//   bench_StartUpBench [program] [runs]   (program: ../vesmor beside this bench by default)
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A settings file of n sections as the editor writes them; slots taken in turn, so that the
// first four load and every later one is named as left out.
QByteArray settingsOf(int n)
{
    QByteArray file;
    for (int i = 1; i <= n; ++i)
        file += QStringLiteral("[watch%1]\nname=watch%1\npath=/tmp\npanel=%2\nactive=0\navilable=0\nsub=0\nfcreate=1\n"
                               "fdelete=0\nfchange=0\nfrename=0\nasso=0\nspace=0\ndcreate=0\nddelete=0\ndrename=0\n"
                               "dchange=0\nminsert=0\nmremove=0\nrunprog=1\nexec=/usr/bin/true\narguments=1\nargindex=0\n"
                               "waitproc=0\nwritelog=1\nlogfile=/tmp/watch%1.log\npopup=0\ndesktop=0\n")
                    .arg(i)
                    .arg((i - 1) % 4 + 1)
                    .toUtf8();
    return file;
}

// Milliseconds from the start to the banner's second line on standard error; -1 when it never came.
qint64 timeToBanner(const QString& program, const QString& temp)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TEMP"), temp);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VESMOR_AUTO_ANSWER_BOXES"), QStringLiteral("1"));
    env.insert(QStringLiteral("VESMOR_ECHO_LIVE_LOG"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    p.start(program, {});
    QByteArray seen;
    qint64 ms = -1;
    const QDeadlineTimer deadline(600000);
    while (ms < 0 && !deadline.hasExpired() && p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(50);
        seen += p.readAllStandardError();
        if (seen.contains("live-log: #000000 Windows Platform: ")) ms = clock.elapsed();
        // Only the tail can still hold the start of the line looked for.
        if (seen.size() > 1 << 20) seen = seen.right(4096);
    }
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(5000);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString original = args.size() > 1 ? args[1] : QCoreApplication::applicationDirPath() + QStringLiteral("/../vesmor");
    const int runs = args.size() > 2 ? qMax(1, args[2].toInt()) : 5;
    QTemporaryDir dir;
    // A path of its own: a copy already running elsewhere is not "the first copy" of this one.
    const QString program = dir.filePath(QStringLiteral("vesmor"));
    if (::link(QFile::encodeName(original).constData(), QFile::encodeName(program).constData()) != 0 &&
        !QFile::copy(original, program)) {
        std::fprintf(stderr, "can't use the program %s\n", qPrintable(original));
        return 1;
    }
    QFile::setPermissions(program, QFile::permissions(original));

    std::printf("time to the banner (median of %d runs; min .. max)\n", runs);
    double first = 0;
    for (int sections : {1, 100, 1000, 10000}) {
        const QString temp = dir.filePath(QStringLiteral("temp%1").arg(sections));
        QDir().mkpath(temp + QStringLiteral("/VSM25"));
        ::chmod(QFile::encodeName(temp + QStringLiteral("/VSM25")).constData(), 0700);
        const QByteArray content = settingsOf(sections);
        QFile f(temp + QStringLiteral("/VSM25/settings.cfg"));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) return 1;
        f.close();
        std::vector<qint64> ms;
        for (int r = 0; r < runs; ++r) ms.push_back(timeToBanner(program, temp));
        std::sort(ms.begin(), ms.end());
        const qint64 median = ms[ms.size() / 2];
        if (sections == 1) first = double(median);
        std::printf("  %6d sections (%5lld KB): %6lld ms  (%lld .. %lld)  x%.2f of one section\n", sections,
                    static_cast<long long>(content.size() / 1024), static_cast<long long>(median),
                    static_cast<long long>(ms.front()), static_cast<long long>(ms.back()), first > 0 ? double(median) / first : 0.0);
        std::fflush(stdout);
    }
    return 0;
}
