#include "core/WatchSlots.h"

#include "core/SettingsPaths.h"
#include "platform/ProfileFile.h"

std::array<Twatcher, SlotCount> Watchers;

Twatcher& WatchSlot(int n) { return Watchers.at(size_t(n - 1)); }

void CreateWatchObjects(const std::array<SlotControls, SlotCount>& controls)
{
    for (int i = 0; i < SlotCount; ++i) {
        const SlotControls& c = controls[size_t(i)];
        Twatcher w;
        w.Panel = c.Panel;
        w.StartButton = c.StartButton;
        w.EditButton = c.EditButton;
        w.RemoveButton = c.RemoveButton;
        w.WatchNameLbl = c.WatchNameLbl;
        w.PathLbl = c.PathLbl;
        w.EventsLbl = c.EventsLbl;
        w.ActionsLbl = c.ActionsLbl;
        w.Monitor = c.Monitor;
        w.Launcher = c.Launcher;
        w.Active = false;
        w.Avilable = true;
        w.ArgumentIndex = -1;
        Watchers[size_t(i)] = w;
    }
}

QString GetNextFreeWatch()
{
    for (int n = 1; n <= SlotCount; ++n)
        if (WatchSlot(n).Avilable) return QString::number(n);
    return {};
}

int SlotToHold(const QString& name)
{
    const ProfileFile::Snapshot stored = ProfileFile::read(SettingsFile());
    int slot = 0;
    // A hand-edited panel value that names no slot would hide the watch for good.
    if (!name.isEmpty() && stored.sectionExists(name)) slot = SlotNumberOf(stored.readString(name, QStringLiteral("panel")));
    return slot != 0 ? slot : SlotNumberOf(GetNextFreeWatch());
}

bool CheckForFreePanel() { return ProfileFile::sectionNames(SettingsFile()).size() < SlotCount; }

int SlotNumberOf(const QString& panelValue)
{
    if (panelValue.size() != 1) return 0;
    const int n = panelValue.at(0).unicode() - u'0';
    return n >= 1 && n <= SlotCount ? n : 0;
}
