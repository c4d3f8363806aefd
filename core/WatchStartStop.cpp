#include "core/WatchStartStop.h"

#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "core/WatchWindow.h"
#include "notify/TStShellNotification.h"
#include "platform/boxes/AppException.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/settings/ProfileFile.h"

namespace {

// A stored folder the tree can't select: names the watch and the folder, in the box of a Start
// press as in the live log of the auto-start.
class CannotMonitor : public AppException {
public:
    CannotMonitor(const QString& name, const QString& path, const QString& why)
        : AppException(QStringLiteral("Watch ") + name + QStringLiteral(" Cannot monitor path: ") + path +
                       QStringLiteral(" (") + why + u')')
    {
    }
};

QString lineHead(const Twatcher& w) { return DateTimeStamp::now() + QStringLiteral(": Watch ") + w.Name; }

// Stores `active` unless it already reads so (a read-only file that already says it is fine).
// What runs does not depend on it: a write that fails is returned, for the live log to say.
QString storeActive(const ProfileFile::Location& file, const QString& section, const QString& value)
{
    if (section.isEmpty() || ProfileFile::readString(file, section, QStringLiteral("active")) == value) return {};
    try {
        ProfileFile::writeString(file, section, QStringLiteral("active"), value);
    } catch (const AppException& e) {
        return e.message();
    }
    return {};
}

// Stopping never needs the folder: a watch whose folder has vanished (an unplugged drive) can
// always be stopped, and then edited or removed.
void stop(WatchWindow& window, Twatcher& w, const ProfileFile::Location& file, const QString& section)
{
    window.ShowStartButton(w, false);
    w.Monitor->SetActive(false);
    // A section that is gone from the file is not written back as a stray one-key section.
    const QString unstored = storeActive(file, section, QStringLiteral("0"));
    window.ShowPanelLook(w, PanelLook::Stopped);
    window.WriteToLiveLog(LiveLogColour::Green,
                          lineHead(w) + QStringLiteral(" Stoped monitoring path: ") + w.Monitor->WatchFolder());
    if (!unstored.isEmpty())
        window.WriteToLiveLog(LiveLogColour::Red, lineHead(w) + QStringLiteral(" is stopped but stays stored as running (") +
                                                      unstored + QStringLiteral("): it starts again at the next start"));
    window.EnableSlotEditing(w, true);
    window.ClearAllControls();
    w.Active = false;
}

// A watch that cannot watch is not started. What is stored stays as it was, so that a start
// stored as running tries again at the next start of the program.
void refused(WatchWindow& window, Twatcher& w)
{
    const QString reason = w.Monitor->RefusalReason();
    window.ShowStartButton(w, false);
    w.Monitor->SetActive(false);
    window.ShowPanelLook(w, PanelLook::Stopped);
    window.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": Watch ") + w.Name +
                                                  QStringLiteral(" Cannot monitor path: ") + w.Monitor->WatchFolder() +
                                                  QStringLiteral(" (") + reason + u')');
    window.EnableSlotEditing(w, true);
    w.Active = false;
}

void start(WatchWindow& window, Twatcher& w, const ProfileFile::Location& file, const QString& section)
{
    // With nothing selected there is no folder to watch: refuse before anything changes.
    const std::optional<TreeFolder> folder = window.SelectedTreeFolder();
    if (!folder) throw AppException(QStringLiteral("No folder selected to monitor"));
    if (folder->IsFileFolder) {
        w.Monitor->SetWatchFolder(folder->Path);
    } else {
        w.Monitor->SetWatchPidl(folder->Pidl);
    }
    window.ShowStartButton(w, true);
    w.Monitor->SetActive(true);
    // The folders are walked off the window's thread; the window goes on meanwhile, and the
    // watch counts as started once all of them are watched.
    window.EnableSlotEditing(w, false);
    TStShellNotification* monitor = w.Monitor;
    const quint32 registration = monitor->NotifyHandle();
    if (!monitor->WaitUntilWatching([&] { return window.closing(); })) {
        // Stopped or started again by a press meanwhile, which did its own telling.
        if (window.closing() || !monitor->Active() || monitor->NotifyHandle() != 0) return;
        refused(window, w);
        return;
    }
    if (monitor->NotifyHandle() != registration) return;
    const QString unstored = storeActive(file, section, QStringLiteral("1"));
    window.ShowPanelLook(w, PanelLook::Running);
    window.WriteToLiveLog(LiveLogColour::Green,
                          lineHead(w) + QStringLiteral(" Started monitoring path: ") + w.Monitor->WatchFolder());
    if (!unstored.isEmpty())
        window.WriteToLiveLog(LiveLogColour::Red, lineHead(w) + QStringLiteral(" runs but is not stored as running (") +
                                                      unstored + QStringLiteral("): it will not start by itself next time"));
    // Part of the tree could not be watched: the first such folder and how many, in one line.
    if (!monitor->WatchWarning().isEmpty())
        window.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": ") + w.Name + QStringLiteral(": ") +
                                                      monitor->WatchWarning());
    window.ClearAllControls();
    w.Active = true;
}

// The section of the watch that slot n shows: the one named as its panel names it, provided it
// still names slot n. Never another section that happens to bear the same slot number.
QString sectionOfSlot(const ProfileFile::Snapshot& snap, int slot)
{
    const Twatcher& w = WatchSlot(slot);
    if (w.Avilable || w.Name.isEmpty() || !snap.sectionExists(w.Name)) return {};
    if (SlotNumberOf(snap.readString(w.Name, QStringLiteral("panel"))) != slot) return {};
    return w.Name;
}

// The red line for a watch whose section another copy removed.
void tellGone(WatchWindow& window, const Twatcher& w, const ProfileFile::Location& file)
{
    window.WriteToLiveLog(LiveLogColour::Red, lineHead(w) + QStringLiteral(" is no longer stored in ") + file.path() +
                                                  QStringLiteral(": the watch list is reloaded from the file"));
}

}  // namespace

bool SlotStillStored(WatchWindow& window, int slot)
{
    const Twatcher& w = WatchSlot(slot);
    if (w.Avilable || w.Name.isEmpty()) return true;
    const ProfileFile::Location file = SettingsFile();
    if (!sectionOfSlot(ProfileFile::read(file), slot).isEmpty()) return true;
    tellGone(window, w, file);
    return false;
}

bool StartStopWatch(WatchWindow& window, int slot)
{
    const ProfileFile::Location file = SettingsFile();
    const ProfileFile::Snapshot snap = ProfileFile::read(file);
    Twatcher& w = WatchSlot(slot);
    if (!w.Monitor) return true;
    const QString section = sectionOfSlot(snap, slot);
    if (w.Monitor->Active()) {
        stop(window, w, file, section);
    } else {
        if (section.isEmpty()) {
            if (w.Avilable || w.Name.isEmpty()) return true;
            tellGone(window, w, file);
            return false;
        }
        const QString path = snap.readString(section, QStringLiteral("path"));
        try {
            window.SelectFolderInTree(path);
        } catch (const std::exception& e) {
            throw CannotMonitor(w.Name, path, QString::fromUtf8(e.what()));
        }
        start(window, w, file, section);
    }
    window.ResetFolderSelection();
    return true;
}

void CheckForAutoRuns(WatchWindow& window, const QStringList& alsoStart)
{
    const ProfileFile::Snapshot snap = ProfileFile::read(SettingsFile());
    for (const QString& section : snap.sectionNames()) {
        if (snap.readString(section, QStringLiteral("active")) != QStringLiteral("1") &&
            !alsoStart.contains(section, Qt::CaseInsensitive))
            continue;
        const int n = SlotNumberOf(snap.readString(section, QStringLiteral("panel")));
        // Only the section the slot shows; one the loader left out must not start it.
        if (n == 0 || section.compare(WatchSlot(n).Name, Qt::CaseInsensitive) != 0) continue;
        // A watch that already runs stays running.
        if (!WatchSlot(n).Monitor || WatchSlot(n).Monitor->Active()) continue;
        try {
            StartStopWatch(window, n);
        } catch (const std::exception& e) {
            // One missing folder (an unplugged drive) must not keep the other watches from
            // starting: it is named, shown stopped since it does not run, stays stored as
            // running, and starts again next time.
            Twatcher& w = WatchSlot(n);
            const auto* named = dynamic_cast<const CannotMonitor*>(&e);
            const QString text = named ? named->message()
                                       : CannotMonitor(w.Name, snap.readString(section, QStringLiteral("path")),
                                                       QString::fromUtf8(e.what()))
                                             .message();
            window.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": ") + text);
            window.ResetFolderSelection();
            if (!w.Monitor->Active()) {
                window.ShowStartButton(w, false);
                window.ShowPanelLook(w, PanelLook::Stopped);
                window.EnableSlotEditing(w, true);
                w.Active = false;
            }
        }
    }
}
