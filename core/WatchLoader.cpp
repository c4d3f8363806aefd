#include "core/WatchLoader.h"

#include "core/SettingsPaths.h"
#include "core/WatchEvents.h"
#include "core/WatchSlots.h"
#include "core/WatchWindow.h"
#include "notify/ESsException.h"
#include "platform/boxes/AppException.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/settings/ProfileFile.h"

#include <QHash>

#include <array>

namespace {

// A stored folder that has vanished must not keep its watch from loading: the user still sees,
// edits and removes it, and starting it reports the folder.
void setMonitorFolder(TStShellNotification* monitor, const QString& path)
{
    try {
        monitor->SetWatchFolder(path);
    } catch (const ESsException&) {
    }
}

// A decimal integer as the settings file stores it; anything else is an error naming the value.
qint32 toInteger(const QString& value)
{
    bool ok = false;
    const qint32 n = value.trimmed().toInt(&ok, 10);
    if (!ok) throw AppException(QStringLiteral("'%1' is not a valid integer value").arg(value));
    return n;
}

// One section as the slot will hold it, read whole before anything is shown, so that a
// section refused half-way leaves no trace on its panel.
struct StoredWatch {
    Twatcher record;
    bool sub = false;
    QString actions;
    QString events;
    bool resetWait = false;  // `waitproc` is to be written "0"
};

StoredWatch readSection(const ProfileFile::Snapshot& snap, const QString& section, Twatcher w)
{
    auto read = [&](const char* key) { return snap.readString(section, QString::fromLatin1(key)); };
    auto on = [&](const char* key) { return read(key) == QStringLiteral("1"); };
    StoredWatch s;
    w.Name = read("name");
    w.Path = read("path");
    s.sub = on("sub");
    w.RunProgram = on("runprog");
    if (w.RunProgram) s.actions += QStringLiteral("Execute; ");
    w.UseArguments = on("arguments");
    // A stored index that is no number refuses the section even while the arguments are off:
    // the editor would show it as a choice nobody made.
    const QString argIndex = read("argindex");
    if (w.UseArguments) {
        s.actions += QStringLiteral("Arguments; ");
        w.ArgumentIndex = toInteger(argIndex);
    } else {
        if (!argIndex.isEmpty()) toInteger(argIndex);
        s.resetWait = read("waitproc") != QStringLiteral("0");
    }
    // The wait only makes sense for the one entry that hands over a bare file path.
    w.WaitForProcess = w.UseArguments && on("waitproc") && ArgumentWaitsForFile(w.ArgumentIndex);
    if (w.WaitForProcess) s.actions += QStringLiteral("Wait; ");
    w.WriteToLogFile = on("writelog");
    if (w.WriteToLogFile) s.actions += QStringLiteral("Log; ");
    w.PopUpMessage = on("popup");
    if (w.PopUpMessage) s.actions += QStringLiteral("Popup; ");
    w.ShowDesktopAlert = on("desktop");
    if (w.ShowDesktopAlert) s.actions += QStringLiteral("DesktopAlert; ");
    // A watch shown on its panel occupies its slot, whatever a hand-edited `avilable` says:
    // otherwise its Start and Edit would do nothing.
    w.Avilable = false;
    // The panel shows what runs: a watch stored as running that could not start (its folder
    // gone) is stopped, and keeps its stored `active` so that the next start tries again.
    w.Active = w.Monitor && w.Monitor->Active();
    w.ProgramToExecute = read("exec");
    w.LogFile = read("logfile");
    for (const EventKindInfo& e : WatchEvents) {
        w.*e.member = on(e.key);
        if (w.*e.member) s.events += QString::fromLatin1(e.abbreviation);
    }
    s.record = w;
    return s;
}

// Shows the watch on its panel, configures its monitor and makes it the slot's record.
void showInSlot(WatchWindow& window, int n, const StoredWatch& s, const TStNotifyEventsSet& events)
{
    const Twatcher& w = s.record;
    window.ShowSlotLines(w, QStringLiteral("Watch Name: ") + w.Name,
                         QStringLiteral("Path: ") + w.Path + (s.sub ? QStringLiteral("; WatchSub") : QString()),
                         QStringLiteral("Events: ") + s.events, QStringLiteral("Actions: ") + s.actions);
    window.ShowPanelLook(w, w.Active ? PanelLook::Running : PanelLook::Stopped);
    if (w.Monitor) {
        w.Monitor->SetWatchSubFolders(s.sub);
        setMonitorFolder(w.Monitor, w.Path);
        w.Monitor->SetNotifyEvents(events);
    }
    WatchSlot(n) = w;
}

}  // namespace

void LoadSettingsToWatchList(WatchWindow& window)
{
    const ProfileFile::Location file = SettingsFile();
    const ProfileFile::Snapshot snap = ProfileFile::read(file);
    QString stamp;  // one moment for the whole load: a stamp per line costs a time-zone lookup each
    auto notLoaded = [&](const QString& section, const QString& why) {
        if (stamp.isEmpty()) stamp = DateTimeStamp::now();
        window.WriteToLiveLog(LiveLogColour::Red, stamp + QStringLiteral(": Watch ") + section + QStringLiteral(" not loaded: ") + why);
    };

    // Of sections that share a slot or a name, the first one in the file is the watch: the
    // others could only be started, stopped or removed in its place.
    std::array<QString, SlotCount + 1> slotHolder;
    QHash<QString, QString> names;  // case-folded -> the section that bears the name
    QList<ProfileFile::Write> waitResets;
    for (const QString& section : snap.sectionHeaders()) {
        const QString folded = section.toCaseFolded();
        if (names.contains(folded)) {
            notLoaded(section, QStringLiteral("the name is taken by watch ") + names.value(folded));
            continue;
        }
        names.insert(folded, section);
        const QString panel = snap.readString(section, QStringLiteral("panel"));
        const int n = SlotNumberOf(panel);
        if (n == 0) {
            notLoaded(section, QStringLiteral("panel \"%1\" names no slot from 1 to 4").arg(panel));
            continue;
        }
        const QString name = snap.readString(section, QStringLiteral("name"));
        // The watch is stored, found and removed under its name: it must name its own section.
        if (name.toCaseFolded() != folded) {
            notLoaded(section, QStringLiteral("name \"%1\" is not the name of its section").arg(name));
            continue;
        }
        if (!slotHolder[size_t(n)].isEmpty()) {
            notLoaded(section, QStringLiteral("slot %1 already holds watch %2").arg(n).arg(slotHolder[size_t(n)]));
            continue;
        }
        StoredWatch stored;
        try {
            stored = readSection(snap, section, WatchSlot(n));
        } catch (const AppException& e) {
            notLoaded(section, e.message());
            continue;
        }
        slotHolder[size_t(n)] = stored.record.Name;
        showInSlot(window, n, stored, NotifyEventsOf(stored.record));
        if (stored.resetWait) waitResets.append({section, QStringLiteral("waitproc"), QStringLiteral("0")});
    }
    // Tidying only: the loaded watches already ignore the wait. A file that can't be written
    // (read-only) must not cut short what follows the load.
    try {
        ProfileFile::writeStrings(file, waitResets);
    } catch (const AppException& e) {
        QStringList names;
        for (const ProfileFile::Write& write : waitResets) names << write.section;
        if (stamp.isEmpty()) stamp = DateTimeStamp::now();
        window.WriteToLiveLog(LiveLogColour::Red, stamp + QStringLiteral(": ") + e.message() +
                                                      QStringLiteral(": waitproc of watch %1 stays as stored, and is off all the same")
                                                          .arg(names.join(QStringLiteral(", "))));
    }
}

