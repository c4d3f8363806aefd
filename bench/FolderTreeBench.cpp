// Figures for the folder tree: listing a wide folder, selecting a deep one, and how soon a folder
// made elsewhere shows as a node.
#include "notify/TStShellTreeView.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double msSince(const QElapsedTimer& clock) { return double(clock.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    // Keep the user's real home out of it.
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home + QStringLiteral("/Desktop"));
    qputenv("HOME", QFile::encodeName(home));

    constexpr int kWide = 2000;
    const QString wide = home + QStringLiteral("/wide");
    for (int i = 0; i < kWide; ++i) QDir().mkpath(QStringLiteral("%1/folder %2/inner").arg(wide).arg(i));
    QString deep = home + QStringLiteral("/deep");
    for (int i = 0; i < 12; ++i) deep += QStringLiteral("/level%1").arg(i);
    QDir().mkpath(deep);

    QElapsedTimer clock;
    clock.start();
    TStShellTreeView tree;
    std::printf("tree made, desktop listed:            %8.1f ms\n", msSince(clock));

    clock.restart();
    tree.SelectFolder(wide);
    std::printf("select a folder of %d sub-folders:  %8.1f ms (%.1f us per node)\n", kWide, msSince(clock),
                msSince(clock) * 1000.0 / kWide);

    clock.restart();
    tree.SelectFolder(deep);
    std::printf("select a folder 13 levels down:       %8.1f ms\n", msSince(clock));

    clock.restart();
    tree.Refresh(tree.NodeByPath(wide));
    std::printf("list the wide folder again:           %8.1f ms\n", msSince(clock));

    double worst = 0, total = 0;
    constexpr int kMade = 20;
    for (int i = 0; i < kMade; ++i) {
        const QString made = QStringLiteral("%1/made %2").arg(wide).arg(i);
        clock.restart();
        QDir().mkdir(made);
        if (!waitFor([&] { return tree.NodeByPath(made) != nullptr; })) {
            std::printf("a made folder did not show within 10 s\n");
            return 1;
        }
        worst = std::max(worst, msSince(clock));
        total += msSince(clock);
    }
    std::printf("folder made elsewhere shows as node:  %8.1f ms on average, %.1f ms at worst\n", total / kMade, worst);
    return 0;
}
