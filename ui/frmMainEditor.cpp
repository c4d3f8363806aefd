// The Watch Settings tab: the watch editor.
#include "core/SettingsFile.h"
#include "core/SettingsPaths.h"
#include "core/WatchLoader.h"
#include "core/WatchEvents.h"
#include "core/WatchSlots.h"
#include "notify/TStShellNotification.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/polling/PathReach.h"
#include "platform/settings/ProfileFile.h"
#include "platform/system/MountTable.h"
#include "platform/text/PathBytes.h"
#include "platform/text/PathRelations.h"
#include "ui/GuardedBinding.h"
#include "ui/frmMain.h"
#include "ui/kit/TFilenameEdit.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>

namespace {

const QString AutomaticModeNotice = QStringLiteral(
    "Using arguments will set events selection to automatic mode.\n\r"
    "The event to monitor will be selected automatically according to the argument selection.\n\r"
    "To cancel automatic mode, uncheck this checkbox again.");

bool sameOrBelow(const QString& folder, const QString& top, bool below)
{
    if (folder.isEmpty() || top.isEmpty()) return false;
    return below ? PathRelations::isAtOrUnder(folder, top) : folder == top;
}

// A log file the watch reports on would feed itself without end: refused when it lies in the
// watched folder, or anywhere below it when sub-folders are watched. Compared as typed
// (lower-cased) and, where both exist, as the folders they really are (links resolved).
bool logFileInsideWatchedPath(const QString& logFile, const QString& watched, bool subFolders)
{
    const QString folder = PathRelations::parentFolder(logFile);
    if (folder.isEmpty() || watched.isEmpty()) return false;
    if (sameOrBelow(QDir::cleanPath(folder).toLower(), QDir::cleanPath(watched).toLower(), subFolders)) return true;
    // Links are not resolved where that would ask a network or FUSE server: this is the
    // window's thread, and the server may not answer.
    const QList<MountTable::Mount> mounts = MountTable::current();
    if (PathReach::asksRemote(mounts, PathBytes::encode(folder)) || PathReach::asksRemote(mounts, PathBytes::encode(watched)))
        return false;
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    const QString realWatched = QFileInfo(watched).canonicalFilePath();
    return sameOrBelow(realFolder, realWatched, subFolders);
}

// Enter on the Watch Settings tab presses Apply, or the button that has the focus. Key presses
// that a control does not use itself travel up to the tab, where this filter sees them.
class EnterPressesApply : public QObject {
public:
    EnterPressesApply(TForm1* form) : QObject(form), form_(form) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        QPushButton* target = focused && form_->ts3->isAncestorOf(focused) ? focused : form_->btn3;
        if (target->isEnabled() && target->isVisible()) target->click();
        return true;
    }

private:
    TForm1* form_;
};

}  // namespace

void TForm1::btn3Click()
{
    const std::optional<TreeFolder> folder = SelectedTreeFolder();
    if (!folder) {
        ModalBoxes::error(QStringLiteral("No folder selected to monitor"));
        return;
    }
    if (logFileInsideWatchedPath(edt3->text(), folder->Path, chk1->isChecked())) {
        ModalBoxes::error(QStringLiteral("Log file can't be inside the monitored path"));
        edt3->setFocus();
        return;
    }
    if (chk14->isChecked() && edt2->text().isEmpty()) {
        ModalBoxes::error(QStringLiteral("You selected to run a program on event, enter the program full path and name"));
        edt2->setFocus();
        return;
    }
    if (chk17->isChecked() && edt3->text().isEmpty()) {
        ModalBoxes::error(QStringLiteral("You selected to write a log file on event, enter the log file full path and name"));
        edt3->setFocus();
        return;
    }
    if (chk15->isChecked() && cbb1->currentIndex() < 0) {
        ModalBoxes::error(QStringLiteral("You selected to use arguments, select an argument from list"));
        cbb1->setFocus();
        return;
    }

    WatchEditorInput in;
    in.nameText = edt4->text();
    in.path = folder->Path;
    in.sub = chk1->isChecked();
    for (size_t i = 0; i < in.events.size(); ++i) in.events[i] = EventBoxes[i]->isChecked();
    in.runProgram = chk14->isChecked();
    in.program = edt2->text();
    in.useArguments = chk15->isChecked();
    in.argumentIndex = cbb1->currentIndex();
    in.wait = chk16->isChecked();
    in.writeLog = chk17->isChecked();
    in.logFile = edt3->text();
    in.popup = chk18->isChecked();
    in.desktop = chk19->isChecked();

    int slot = 0;
    const PopulateResult result = PopulatIni(*this, in, &slot);
    // The slot's panel may still show a watch another copy of the program removed; the reload
    // below draws what is stored now.
    if (slot != 0) ClearWatchPanel(WatchSlot(slot));
    switch (result) {
    case PopulateResult::EmptyName:
    case PopulateResult::BadName:
        edt4->setFocus();
        pgc1->setCurrentWidget(ts3);
        break;
    case PopulateResult::Running:
        break;  // the editor keeps what it holds
    case PopulateResult::ListFull:
    case PopulateResult::Stored:
        pgc1->setCurrentWidget(ts1);
        break;
    }
    LoadSettingsToWatchList(*this);
}

void TForm1::btn4Click() { ClearAllControls(); }

void TForm1::ClearAllControls()
{
    chk1->setChecked(false);
    for (QCheckBox* box : EventBoxes) box->setChecked(false);
    edt2->clear();
    edt4->clear();
    chk14->setChecked(false);
    cbb1->setCurrentIndex(-1);
    chk15->setChecked(false);
    chk16->setChecked(false);
    edt3->clear();
    chk17->setChecked(false);
    chk18->setChecked(false);
    chk19->setChecked(false);
    ResetFolderSelection();
    lbl1->setText(QStringLiteral("Selected folder:"));
}

void TForm1::LoadToEditor(Twatcher AWatch)
{
    if (AWatch.Avilable) return;
    ClearAllControls();
    SelectFolderInTree(AWatch.Path);
    chk1->setChecked(AWatch.Monitor && AWatch.Monitor->WatchSubFolders());
    lbl1->setText(AWatch.Path);
    for (size_t i = 0; i < EventBoxes.size(); ++i) EventBoxes[i]->setChecked(AWatch.*WatchEvents[i].member);
    if (AWatch.RunProgram) {
        chk14->setChecked(true);
        edt2->setText(AWatch.ProgramToExecute);
    }
    if (AWatch.UseArguments) {
        chk15->setChecked(true);
        // An index outside the list selects no entry: the user must choose one before Apply.
        cbb1->setCurrentIndex(AWatch.ArgumentIndex >= 0 && AWatch.ArgumentIndex < cbb1->count() ? AWatch.ArgumentIndex : -1);
        cbb1Change();
        chk16->setChecked(AWatch.WaitForProcess);
    }
    if (AWatch.WaitForProcess) {
        if (ArgumentWaitsForFile(cbb1->currentIndex())) chk16->setEnabled(true);
        chk16->setChecked(true);
    } else {
        if (AWatch.UseArguments) chk16->setEnabled(ArgumentWaitsForFile(cbb1->currentIndex()));
        chk16->setChecked(false);
    }
    if (AWatch.WriteToLogFile) {
        chk17->setChecked(true);
        edt3->setText(AWatch.LogFile);
    }
    chk18->setChecked(AWatch.PopUpMessage);
    chk19->setChecked(AWatch.ShowDesktopAlert);
    edt4->setText(AWatch.Name);
    pgc1->setCurrentWidget(ts3);
}

void TForm1::chk14Click()
{
    const bool on = chk14->isChecked();
    edt2->setEnabled(on);
    chk15->setEnabled(on);
    if (on) return;
    edt2->clear();
    chk15->setChecked(false);
    cbb1->setCurrentIndex(-1);
    cbb1->setEnabled(false);
    chk16->setChecked(false);
    chk16->setEnabled(false);
}

void TForm1::chk15Click()
{
    if (chk15->isChecked()) {
        ModalBoxes::notice(AutomaticModeNotice);
        cbb1->setEnabled(true);
        UnCheckEventConrolls();
        DisableEventControls();
    } else {
        cbb1->setCurrentIndex(-1);
        cbb1->setEnabled(false);
        EnableEventControls();
        chk16->setChecked(false);
        chk16->setEnabled(false);
    }
}

void TForm1::chk17Click()
{
    const bool on = chk17->isChecked();
    edt3->setEnabled(on);
    if (!on) edt3->clear();
}

void TForm1::cbb1Change()
{
    const int i = cbb1->currentIndex();
    if (i < 0 || i >= ArgumentEntryCount) return;
    if (ArgumentWaitsForFile(i)) {
        DisableEventControls();
        UnCheckEventConrolls();
        chk16->setEnabled(true);
    } else {
        chk16->setEnabled(false);
        chk16->setChecked(false);
        DisableEventControls();
        UnCheckEventConrolls();
    }
    EventBoxes[size_t(argumentEntries()[size_t(i)].kind)]->setChecked(true);
}

void TForm1::DisableEventControls()
{
    for (QCheckBox* box : EventBoxes) box->setEnabled(false);
}

void TForm1::EnableEventControls()
{
    for (QCheckBox* box : EventBoxes) box->setEnabled(true);
}

void TForm1::UnCheckEventConrolls()
{
    for (QCheckBox* box : EventBoxes) box->setChecked(false);
}

void TForm1::tv1FolderSelected(QObject*, const QString& FolderPath)
{
    lbl1->setText(QStringLiteral("Selected folder: ") + FolderPath);
}

void TForm1::connectEditorHandlers()
{
    bind(btn3, &QPushButton::clicked, this, &TForm1::btn3Click);
    bind(btn4, &QPushButton::clicked, this, &TForm1::btn4Click);
    // Check boxes react to every real change of state, also one made by code: the editor's
    // cascades rest on it.
    bind(chk14, &QCheckBox::toggled, this, &TForm1::chk14Click);
    bind(chk15, &QCheckBox::toggled, this, &TForm1::chk15Click);
    bind(chk17, &QCheckBox::toggled, this, &TForm1::chk17Click);
    // Only the user's choice applies an entry; selecting one from code does not.
    bind(cbb1, &QComboBox::activated, this, &TForm1::cbb1Change);
    ts3->installEventFilter(new EnterPressesApply(this));
}
