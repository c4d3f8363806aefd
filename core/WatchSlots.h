#pragma once
#include "core/Twatcher.h"
#include "platform/settings/ProfileFile.h"

#include <array>

// The controls and components of one slot, as the main window built them.
struct SlotControls {
    TCyPanel* Panel = nullptr;
    TBitBtn* StartButton = nullptr;
    TBitBtn* EditButton = nullptr;
    TBitBtn* RemoveButton = nullptr;
    TLabel* WatchNameLbl = nullptr;
    TLabel* PathLbl = nullptr;
    TLabel* EventsLbl = nullptr;
    TLabel* ActionsLbl = nullptr;
    TStShellNotification* Monitor = nullptr;
    TRzLauncher* Launcher = nullptr;
};

constexpr int SlotCount = 4;

// The four process-wide slot records; slot n is Watchers[n - 1].
extern std::array<Twatcher, SlotCount> Watchers;

// Slot n's record, n from 1 to 4.
Twatcher& WatchSlot(int n);

// Binds every slot record to its controls and gives it the defaults of an empty slot. Touches
// no control and no component (a running monitor keeps running).
void CreateWatchObjects(const std::array<SlotControls, SlotCount>& controls);

// The slot that is to hold the watch `name` in the file as `stored` holds it: the slot its
// section names, else the lowest slot that no section names (another copy of the program, or a
// hand-edited section, may hold a slot this copy shows as free); 0 when there is none.
int SlotToHold(const ProfileFile::Snapshot& stored, const QString& name);

// The slot whose watch of that name (in any letter case) runs in this program; 0 when none does.
int RunningSlotNamed(const QString& name);

// The slot number a `panel` value names, or 0 when it names none ("1" to "4" exactly).
int SlotNumberOf(const QString& panelValue);
