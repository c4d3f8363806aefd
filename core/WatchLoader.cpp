#include "core/WatchLoader.h"

#include "core/PanelLook.h"
#include "core/SettingsPaths.h"
#include "core/WatchSlots.h"
#include "notify/ESsException.h"
#include "platform/AppException.h"
#include "platform/ModalBoxes.h"
#include "platform/ProfileFile.h"

#include <QLabel>

namespace {

// The twelve event keys in the order of the panel's events line.
struct EventKey {
    const char* key;
    const char* abbreviation;
    bool Twatcher::*flag;
    TStNotifyEvents member;
};
const EventKey EventKeys[] = {
    {"fcreate", "FC; ", &Twatcher::EventFileCreate, neFileCreate},
    {"fdelete", "FD; ", &Twatcher::EventFileDelete, neFileDelete},
    {"fchange", "FCh; ", &Twatcher::EventFileChange, neFileChange},
    {"frename", "FR; ", &Twatcher::EventFileRename, neFileRename},
    {"asso", "Asso; ", &Twatcher::EventAssociationChange, neAssociationChange},
    {"space", "Spc; ", &Twatcher::EventFreeSpaceChange, neDriveSpaceChange},
    {"dcreate", "DC; ", &Twatcher::EventFolderCreate, neFolderCreate},
    {"ddelete", "DD; ", &Twatcher::EventFolderDelete, neFolderDelete},
    {"drename", "DR; ", &Twatcher::EventFolderRename, neFolderRename},
    {"dchange", "DCh; ", &Twatcher::EventFolderChange, neFolderUpdate},
    {"minsert", "MIns; ", &Twatcher::EventMediaInsert, neMediaInsert},
    {"mremove", "MRem; ", &Twatcher::EventMediaRemove, neMediaRemove},
};

// A stored folder that has vanished must not keep its watch from loading: the user still sees,
// edits and removes it, and starting it reports the folder.
void setMonitorFolder(TStShellNotification* monitor, const QString& path)
{
    try {
        monitor->SetWatchFolder(path);
    } catch (const ESsException&) {
    }
}

void setText(TLabel* label, const QString& text)
{
    if (label) label->setText(text);
}

// A decimal integer as the settings file stores it; anything else is an error naming the value.
qint32 toInteger(const QString& value)
{
    bool ok = false;
    const qint32 n = value.trimmed().toInt(&ok, 10);
    if (!ok) throw AppException(QStringLiteral("'%1' is not a valid integer value").arg(value));
    return n;
}

// Loads one section into its slot; throws when its argument index is not a number.
void loadSection(const QString& file, const QString& section)
{
    auto read = [&](const char* key) { return ProfileFile::readString(file, section, QString::fromLatin1(key)); };
    auto on = [&](const char* key) { return read(key) == QStringLiteral("1"); };

    const int n = SlotNumberOf(read("panel"));
    if (n == 0) return;  // names no slot: loaded into none
    Twatcher w = WatchSlot(n);

    w.Name = read("name");
    SetLabelColour(w.WatchNameLbl, PanelColour::Blue);
    setText(w.WatchNameLbl, QStringLiteral("Watch Name: ") + w.Name);
    w.Path = read("path");
    const bool sub = on("sub");
    setText(w.PathLbl, QStringLiteral("Path: ") + w.Path + (sub ? QStringLiteral("; WatchSub") : QString()));
    if (w.Monitor) {
        w.Monitor->SetWatchSubFolders(sub);
        setMonitorFolder(w.Monitor, w.Path);
    }

    QString actions;
    w.RunProgram = on("runprog");
    if (w.RunProgram) actions += QStringLiteral("Execute; ");
    w.UseArguments = on("arguments");
    if (w.UseArguments) {
        actions += QStringLiteral("Arguments; ");
        w.ArgumentIndex = toInteger(read("argindex"));
    } else if (read("waitproc") != QStringLiteral("0")) {
        ProfileFile::writeString(file, section, QStringLiteral("waitproc"), QStringLiteral("0"));
    }
    // The wait only makes sense for the one entry that hands over a bare file path.
    w.WaitForProcess = w.UseArguments && on("waitproc") && w.ArgumentIndex == 0;
    if (w.WaitForProcess) actions += QStringLiteral("Wait; ");
    w.WriteToLogFile = on("writelog");
    if (w.WriteToLogFile) actions += QStringLiteral("Log; ");
    w.PopUpMessage = on("popup");
    if (w.PopUpMessage) actions += QStringLiteral("Popup; ");
    w.ShowDesktopAlert = on("desktop");
    if (w.ShowDesktopAlert) actions += QStringLiteral("DesktopAlert; ");
    w.Avilable = read("avilable") != QStringLiteral("0");
    setText(w.ActionsLbl, QStringLiteral("Actions: ") + actions);

    w.Active = read("active") != QStringLiteral("0");
    if (w.Active) {
        SetPanelLook(w, PanelColour::Navy, PanelColour::SkyBlue, PanelColour::Aqua);
    } else {
        SetPanelLook(w, PanelColour::White, PanelColour::SkyBlue, PanelColour::Blue);
    }
    if (w.Monitor) {
        setMonitorFolder(w.Monitor, w.Path);
        w.Monitor->SetNotifyEvents(SetFlags(w.Name));
    }
    w.ProgramToExecute = read("exec");
    w.LogFile = read("logfile");

    QString events;
    for (const EventKey& e : EventKeys) {
        w.*e.flag = on(e.key);
        if (w.*e.flag) events += QString::fromLatin1(e.abbreviation);
    }
    setText(w.EventsLbl, QStringLiteral("Events: ") + events);

    WatchSlot(n) = w;
}

}  // namespace

void LoadSettingsToWatchList()
{
    const QString file = SettingsFilePath();
    for (const QString& section : ProfileFile::sectionNames(file)) {
        try {
            loadSection(file, section);
        } catch (const AppException& e) {
            // One malformed section must not keep the others from loading.
            ModalBoxes::showException(e);
        }
    }
}

TStNotifyEventsSet SetFlags(const QString& MonName)
{
    const QString file = SettingsFilePath();
    TStNotifyEventsSet result;
    for (const QString& section : ProfileFile::sectionNames(file)) {
        if (ProfileFile::readString(file, section, QStringLiteral("name")) != MonName) continue;
        TStNotifyEventsSet set;
        for (const EventKey& e : EventKeys)
            if (ProfileFile::readString(file, section, QString::fromLatin1(e.key)) == QStringLiteral("1")) set << e.member;
        result = set;
    }
    return result;
}
