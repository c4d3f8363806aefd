// The Watch List tab: Start/Stop, Edit and Remove of the four slots.
#include "core/SettingsPaths.h"
#include "core/WatchLoader.h"
#include "core/WatchRemoval.h"
#include "core/WatchStartStop.h"
#include "notify/TStShellNotification.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/settings/ProfileFile.h"
#include "ui/ButtonGlyphs.h"
#include "ui/GuardedBinding.h"
#include "ui/PanelLook.h"
#include "ui/frmMain.h"

#include <QLabel>
#include <QPushButton>

#include <array>
#include <optional>

namespace {

// Edit of slot n: an empty slot only opens the editor, which keeps what it holds.
void editSlot(TForm1& form, int n)
{
    if (!SlotStillStored(form, n)) {
        form.ReloadWatchList();
        return;
    }
    if (WatchSlot(n).Avilable) {
        form.pgc1->setCurrentWidget(form.ts3);
        return;
    }
    form.LoadToEditor(WatchSlot(n));
}

}  // namespace

void TForm1::btn1Click() { startStopSlot(1); }
void TForm1::btn17Click() { startStopSlot(2); }
void TForm1::btn9Click() { startStopSlot(3); }
void TForm1::btn20Click() { startStopSlot(4); }

void TForm1::startStopSlot(int n)
{
    if (!StartStopWatch(*this, n)) ReloadWatchList();
}

void TForm1::ReloadWatchList()
{
    // A running watch keeps its record, so that Stop still names and stops it; every other
    // panel is drawn again from the file.
    std::array<std::optional<Twatcher>, SlotCount> running;
    for (int n = 1; n <= SlotCount; ++n) {
        const Twatcher& w = WatchSlot(n);
        if (w.Monitor && w.Monitor->Active())
            running[size_t(n - 1)] = w;
        else
            ClearWatchPanel(w);
    }
    CreateWatchObjects(SlotBindings());
    for (int n = 1; n <= SlotCount; ++n)
        if (running[size_t(n - 1)]) WatchSlot(n) = *running[size_t(n - 1)];
    LoadSettingsToWatchList(*this);
}

void TForm1::btn8Click() { editSlot(*this, 1); }
void TForm1::btn18Click() { editSlot(*this, 2); }
void TForm1::btn19Click() { editSlot(*this, 3); }
void TForm1::btn21Click() { editSlot(*this, 4); }

void TForm1::btn22Click() { DeleteWatch(WatchSlot(1)); }
void TForm1::btn23Click() { DeleteWatch(WatchSlot(2)); }
void TForm1::btn24Click() { DeleteWatch(WatchSlot(3)); }
void TForm1::btn25Click() { DeleteWatch(WatchSlot(4)); }

namespace {

void setText(TLabel* label, const QString& text)
{
    if (label) label->setText(text);
}

}  // namespace

void TForm1::ShowSlotLines(const Twatcher& w, const QString& name, const QString& path, const QString& events,
                           const QString& actions)
{
    setText(w.WatchNameLbl, name);
    setText(w.PathLbl, path);
    setText(w.EventsLbl, events);
    setText(w.ActionsLbl, actions);
}

void TForm1::ShowPanelLook(const Twatcher& w, PanelLook look) { SetPanelLook(w, look); }

void TForm1::ShowStartButton(const Twatcher& w, bool running)
{
    if (!w.StartButton) return;
    w.StartButton->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    w.StartButton->setIcon(glyph(running ? ButtonGlyph::EyeRed : ButtonGlyph::EyeGreen));
}

void TForm1::EnableSlotEditing(const Twatcher& w, bool enabled)
{
    if (w.EditButton) w.EditButton->setEnabled(enabled);
    if (w.RemoveButton) w.RemoveButton->setEnabled(enabled);
}

void TForm1::ClearWatchPanel(Twatcher AWatch)
{
    SetEmptyPanelLook(AWatch);
    ShowSlotLines(AWatch, QStringLiteral("Watch Name:"), QStringLiteral("Path:"), QStringLiteral("Events:"),
                  QStringLiteral("Actions:"));
}

void TForm1::DeleteWatch(Twatcher AWatch)
{
    if (AWatch.Name.isEmpty()) return;
    if (!ModalBoxes::confirm(QStringLiteral("Delete Watch: ") + AWatch.Name + QStringLiteral(" ?"))) return;
    RemoveWatch(*this, AWatch);
    CreateWatchObjects(SlotBindings());
    ClearWatchPanel(AWatch);
    ClearWatcher(AWatch);
    LoadSettingsToWatchList(*this);
}

void TForm1::connectWatchListHandlers()
{
    bind(btn1, &QPushButton::clicked, this, &TForm1::btn1Click);
    bind(btn17, &QPushButton::clicked, this, &TForm1::btn17Click);
    bind(btn9, &QPushButton::clicked, this, &TForm1::btn9Click);
    bind(btn20, &QPushButton::clicked, this, &TForm1::btn20Click);
    bind(btn8, &QPushButton::clicked, this, &TForm1::btn8Click);
    bind(btn18, &QPushButton::clicked, this, &TForm1::btn18Click);
    bind(btn19, &QPushButton::clicked, this, &TForm1::btn19Click);
    bind(btn21, &QPushButton::clicked, this, &TForm1::btn21Click);
    bind(btn22, &QPushButton::clicked, this, &TForm1::btn22Click);
    bind(btn23, &QPushButton::clicked, this, &TForm1::btn23Click);
    bind(btn24, &QPushButton::clicked, this, &TForm1::btn24Click);
    bind(btn25, &QPushButton::clicked, this, &TForm1::btn25Click);
}
