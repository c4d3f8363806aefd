#include "app/CommandLine.h"

#include "core/SettingsFile.h"
#include "core/WatchWindow.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/boxes/ModalBoxes.h"

namespace {

// Marks what the selector names and hands the sections back; a name that marks nothing is said.
void activate(WatchWindow& window, const QString& selector, QStringList* selected)
{
    const bool all = selector == QStringLiteral("-all");
    const QStringList chosen = ActivateWatches(selector, all);
    if (chosen.isEmpty() && !all)
        window.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": no watch named ") + selector);
    if (selected) *selected = chosen;
}

}  // namespace

bool CheckForParameters(WatchWindow& window, const QStringList& parameters, QStringList* selected)
{
    const QString minimise = QStringLiteral("-m");
    switch (parameters.size()) {
    case 0:
        return false;
    case 1:
        if (parameters[0] == minimise) return true;
        activate(window, parameters[0], selected);
        return false;
    case 2:
        // With two parameters the first is always the watch selector.
        activate(window, parameters[0], selected);
        return parameters[1] == minimise;
    default:
        ModalBoxes::error(QStringLiteral("Too many parameters"));
        return false;
    }
}

std::optional<QString> CommandLineAnswer(const QStringList& parameters)
{
    // Only as the first word, where a watch selector would stand: a watch of that name can't
    // be chosen from the command line, a small price for the words every user tries first.
    if (parameters.isEmpty()) return std::nullopt;
    if (parameters[0] == QStringLiteral("--version")) return QStringLiteral("Vesmor 2.5\n");
    if (parameters[0] != QStringLiteral("--help")) return std::nullopt;
    return QStringLiteral(
        "Usage: vesmor [WATCH | -all] [-m]\n"
        "       vesmor --help | --version\n"
        "\n"
        "Watches up to four folders and acts on the changes chosen for each. Watches are\n"
        "defined in the window; those that were running at exit start again.\n"
        "\n"
        "  vesmor             start; the watches stored as running start with it\n"
        "  vesmor WATCH       mark the watch named WATCH (exact, case counts) to run, then start\n"
        "  vesmor -all        mark every stored watch to run, then start\n"
        "  vesmor -m          start hidden in the system tray (minimised where there is no tray)\n"
        "  vesmor WATCH -m    both; with two parameters the first always names watches\n"
        "  vesmor --help      print this help and end\n"
        "  vesmor --version   print the version and end\n"
        "\n"
        "A marked watch stays marked, and starts at every later start, until it is stopped.\n"
        "Only one copy runs: a second one brings the first one's window forward and ends.\n"
        "Settings: settings.cfg in the folder VSM25 under $TEMP, else $TMP, else\n"
        "$XDG_CONFIG_HOME (by default ~/.config). See vesmor(1).\n");
}
