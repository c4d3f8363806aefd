#include "core/WatchStartStop.h"

#include "core/PanelLook.h"
#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "core/WatchWindow.h"
#include "notify/TStShellNotification.h"
#include "platform/AppException.h"
#include "platform/DateTimeStamp.h"
#include "platform/ProfileFile.h"

#include <QPushButton>

namespace {

constexpr int StartGlyph = 0;
constexpr int StopGlyph = 1;

void setButton(TBitBtn* button, const QString& caption, const QIcon& icon)
{
    if (!button) return;
    button->setText(caption);
    button->setIcon(icon);
}

void setEnabled(TBitBtn* button, bool enabled)
{
    if (button) button->setEnabled(enabled);
}

void stop(WatchWindow& window, Twatcher& w, const QString& file, const QString& section)
{
    setButton(w.StartButton, QStringLiteral("Start"), window.glyph(StartGlyph));
    w.Monitor->SetActive(false);
    ProfileFile::writeString(file, section, QStringLiteral("active"), QStringLiteral("0"));
    SetPanelLook(w, PanelColour::White, PanelColour::SkyBlue, PanelColour::Blue);
    window.WriteToLiveLog(LiveLogColour::Green, DateTimeStamp::now() + QStringLiteral(": Watch ") + w.Name +
                                                    QStringLiteral(" Stoped monitoring path: ") + w.Monitor->WatchFolder());
    setEnabled(w.EditButton, true);
    setEnabled(w.RemoveButton, true);
    window.ClearAllControls();
    w.Active = false;
}

// A watch that cannot watch is not started. What is stored stays as it was, so that a start
// stored as running tries again at the next start of the program.
void refused(WatchWindow& window, Twatcher& w)
{
    const QString reason = w.Monitor->RefusalReason();
    setButton(w.StartButton, QStringLiteral("Start"), window.glyph(StartGlyph));
    w.Monitor->SetActive(false);
    SetPanelLook(w, PanelColour::White, PanelColour::SkyBlue, PanelColour::Blue);
    window.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": Watch ") + w.Name +
                                                  QStringLiteral(" Cannot monitor path: ") + w.Monitor->WatchFolder() +
                                                  QStringLiteral(" (") + reason + u')');
    setEnabled(w.EditButton, true);
    setEnabled(w.RemoveButton, true);
    w.Active = false;
}

void start(WatchWindow& window, Twatcher& w, const QString& file, const QString& section)
{
    // With nothing selected there is no folder to watch: refuse before anything changes.
    const std::optional<TreeFolder> folder = window.SelectedTreeFolder();
    if (!folder) throw AppException(QStringLiteral("No folder selected to monitor"));
    setButton(w.StartButton, QStringLiteral("Stop"), window.glyph(StopGlyph));
    if (folder->IsFileFolder) {
        w.Monitor->SetWatchFolder(folder->Path);
    } else {
        w.Monitor->SetWatchPidl(folder->Pidl);
    }
    w.Monitor->SetActive(true);
    // The folders are walked off the window's thread; the window goes on meanwhile, and the
    // watch counts as started once all of them are watched.
    setEnabled(w.EditButton, false);
    setEnabled(w.RemoveButton, false);
    TStShellNotification* monitor = w.Monitor;
    const quint32 registration = monitor->NotifyHandle();
    if (!monitor->WaitUntilWatching([&] { return window.closing(); })) {
        // Stopped or started again by a press meanwhile, which did its own telling.
        if (window.closing() || !monitor->Active() || monitor->NotifyHandle() != 0) return;
        refused(window, w);
        return;
    }
    if (monitor->NotifyHandle() != registration) return;
    ProfileFile::writeString(file, section, QStringLiteral("active"), QStringLiteral("1"));
    SetPanelLook(w, PanelColour::Navy, PanelColour::SkyBlue, PanelColour::Aqua);
    window.WriteToLiveLog(LiveLogColour::Green, DateTimeStamp::now() + QStringLiteral(": Watch ") + w.Name +
                                                    QStringLiteral(" Started monitoring path: ") + w.Monitor->WatchFolder());
    // Part of the tree could not be watched: the first such folder and how many, in one line.
    if (!monitor->WatchWarning().isEmpty())
        window.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": ") + w.Name + QStringLiteral(": ") +
                                                      monitor->WatchWarning());
    window.ClearAllControls();
    w.Active = true;
}

}  // namespace

void StartStopWatch(WatchWindow& window, int slot)
{
    const QString file = SettingsFilePath();
    const QString panel = QString::number(slot);
    // Of two sections naming one slot, the later is the one loaded there; toggling both would
    // start and stop the watch in one press.
    QString section;
    for (const QString& s : ProfileFile::sectionNames(file))
        if (ProfileFile::readString(file, s, QStringLiteral("panel")) == panel) section = s;
    Twatcher& w = WatchSlot(slot);
    if (section.isEmpty() || !w.Monitor) return;
    window.SelectFolderInTree(ProfileFile::readString(file, section, QStringLiteral("path")));
    if (w.Monitor->Active()) {
        stop(window, w, file, section);
    } else {
        start(window, w, file, section);
    }
    window.ResetFolderSelection();
}

void CheckForAutoRuns(WatchWindow& window)
{
    const QString file = SettingsFilePath();
    for (const QString& section : ProfileFile::sectionNames(file)) {
        if (ProfileFile::readString(file, section, QStringLiteral("active")) != QStringLiteral("1")) continue;
        const int n = SlotNumberOf(ProfileFile::readString(file, section, QStringLiteral("panel")));
        // A slot already started by an earlier section stays running.
        if (n && WatchSlot(n).Monitor && !WatchSlot(n).Monitor->Active()) StartStopWatch(window, n);
    }
}
