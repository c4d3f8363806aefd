#include "core/WatchSlots.h"

#include "core/SettingsPaths.h"
#include "notify/TStShellNotification.h"
#include "platform/settings/ProfileFile.h"

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

int SlotToHold(const ProfileFile::Snapshot& stored, const QString& name)
{
    // A hand-edited panel value that names no slot would hide the watch for good.
    if (!name.isEmpty() && stored.sectionExists(name)) {
        const int own = SlotNumberOf(stored.readString(name, QStringLiteral("panel")));
        if (own != 0) return own;
    }
    // Every section holds its slot, loaded or not: a repeat of a name in another letter case is
    // refused at load, yet a watch given its slot would be refused in turn next time.
    std::array<bool, SlotCount + 1> held{};
    const qsizetype headers = stored.sectionHeaders().size();
    for (qsizetype i = 0; i < headers; ++i)
        held[size_t(SlotNumberOf(stored.readStringAt(i, QStringLiteral("panel"))))] = true;
    for (int n = 1; n <= SlotCount; ++n)
        if (!held[size_t(n)]) return n;
    return 0;
}

int RunningSlotNamed(const QString& name)
{
    for (int n = 1; n <= SlotCount; ++n) {
        const Twatcher& w = WatchSlot(n);
        if (w.Monitor && w.Monitor->Active() && !w.Name.isEmpty() && w.Name.compare(name, Qt::CaseInsensitive) == 0) return n;
    }
    return 0;
}

int SlotNumberOf(const QString& panelValue)
{
    if (panelValue.size() != 1) return 0;
    const int n = panelValue.at(0).unicode() - u'0';
    return n >= 1 && n <= SlotCount ? n : 0;
}
