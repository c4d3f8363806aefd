#pragma once
#include "actions/AlertHooks.h"
#include "actions/EventKinds.h"
#include "core/Twatcher.h"
#include "core/WatchSlots.h"
#include "core/WatchWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TCyPanel;
class TShadowLabel;
class TLiveLogView;
class TFilenameEdit;
class TImageList;
class TJvDesktopAlert;
class TStShellItem;
class TStShellTreeView;
class TStShellNotification;

// The main window. It owns every control and component of the program; its handler methods
// carry the names of the controls and events they serve and call into core/ and actions/.
class TForm1 : public QMainWindow, public WatchWindow, public AlertHooks {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // WatchWindow
    void WriteToLiveLog(const QColor& colour, const QString& line) override;
    void ClearAllControls() override;
    void SelectFolderInTree(const QString& path) override;
    std::optional<TreeFolder> SelectedTreeFolder() override;
    void ResetFolderSelection() override;
    void ShowSlotLines(const Twatcher& w, const QString& name, const QString& path, const QString& events,
                       const QString& actions) override;
    void ShowPanelLook(const Twatcher& w, PanelLook look) override;
    void ShowStartButton(const Twatcher& w, bool running) override;
    void EnableSlotEditing(const Twatcher& w, bool enabled) override;
    void processMessages() override;
    // Image n of the button glyph list il1 (ButtonGlyph names them).
    QIcon glyph(int index) const;
    bool closing() const override { return closing_; }

    // Page control and tabs.
    QTabWidget* pgc1 = nullptr;
    QWidget* ts4 = nullptr;  // Home
    QWidget* ts3 = nullptr;  // Watch Settings
    QWidget* ts1 = nullptr;  // Watch List
    QWidget* ts2 = nullptr;  // Live Log

    // Home tab.
    TCyPanel* cypnl5 = nullptr;
    TShadowLabel* lbl19 = nullptr;
    TShadowLabel* lbl20 = nullptr;
    TShadowLabel* lbl21 = nullptr;
    QLabel* img = nullptr;

    // Watch Settings tab.
    TStShellTreeView* tv1 = nullptr;
    QCheckBox* chk1 = nullptr;
    QLabel* lbl1 = nullptr;
    // The event boxes, made from WatchEvents, one per row and in its order; chkN is the box N.
    std::array<QCheckBox*, EventKindCount> EventBoxes{};
    QCheckBox *&chk2 = EventBoxes[boxRow(2)], *&chk3 = EventBoxes[boxRow(3)], *&chk4 = EventBoxes[boxRow(4)];
    QCheckBox *&chk5 = EventBoxes[boxRow(5)], *&chk6 = EventBoxes[boxRow(6)], *&chk7 = EventBoxes[boxRow(7)];
    QCheckBox *&chk8 = EventBoxes[boxRow(8)], *&chk9 = EventBoxes[boxRow(9)], *&chk10 = EventBoxes[boxRow(10)];
    QCheckBox *&chk11 = EventBoxes[boxRow(11)], *&chk12 = EventBoxes[boxRow(12)], *&chk13 = EventBoxes[boxRow(13)];
    QCheckBox* chk14 = nullptr;
    QCheckBox* chk15 = nullptr;
    QCheckBox* chk16 = nullptr;
    QCheckBox* chk17 = nullptr;
    QCheckBox* chk18 = nullptr;
    QCheckBox* chk19 = nullptr;
    TFilenameEdit* edt2 = nullptr;  // program file box
    TFilenameEdit* edt3 = nullptr;  // log file box
    QComboBox* cbb1 = nullptr;
    QLabel* lbl2 = nullptr;
    QLineEdit* edt4 = nullptr;
    QPushButton* btn3 = nullptr;  // 5. Apply
    QPushButton* btn4 = nullptr;  // Clear All
    QPushButton* btn7 = nullptr;  // Tray
    QPushButton* btn5 = nullptr;  // Exit

    // Watch List tab.
    TCyPanel *cypnl1 = nullptr, *cypnl2 = nullptr, *cypnl3 = nullptr, *cypnl4 = nullptr;
    QLabel *lbl3 = nullptr, *lbl4 = nullptr, *lbl5 = nullptr, *lbl6 = nullptr;
    QLabel *lbl7 = nullptr, *lbl8 = nullptr, *lbl9 = nullptr, *lbl10 = nullptr;
    QLabel *lbl11 = nullptr, *lbl12 = nullptr, *lbl13 = nullptr, *lbl14 = nullptr;
    QLabel *lbl15 = nullptr, *lbl16 = nullptr, *lbl17 = nullptr, *lbl18 = nullptr;
    QPushButton *btn1 = nullptr, *btn17 = nullptr, *btn9 = nullptr, *btn20 = nullptr;    // Start
    QPushButton *btn8 = nullptr, *btn18 = nullptr, *btn19 = nullptr, *btn21 = nullptr;   // Edit
    QPushButton *btn22 = nullptr, *btn23 = nullptr, *btn24 = nullptr, *btn25 = nullptr;  // Remove
    QWidget* pnl1 = nullptr;
    QPushButton* btn12 = nullptr;  // Tray
    QPushButton* btn10 = nullptr;  // Exit

    // Live Log tab.
    TLiveLogView* edt1 = nullptr;
    QWidget* pnl2 = nullptr;
    QPushButton* btn2 = nullptr;   // Save...
    QPushButton* btn16 = nullptr;  // Clear
    QPushButton* btn15 = nullptr;  // Tray
    QPushButton* btn13 = nullptr;  // Exit

    // Components.
    std::unique_ptr<TImageList> il1;
    TJvDesktopAlert* jvdsktplrt1 = nullptr;
    TRzLauncher *rzlnchr1 = nullptr, *rzlnchr2 = nullptr, *rzlnchr3 = nullptr, *rzlnchr4 = nullptr;
    TStShellNotification *ShNotify1 = nullptr, *ShNotify2 = nullptr, *ShNotify3 = nullptr, *ShNotify4 = nullptr;
    QTimer* tmr1 = nullptr;
    QSystemTrayIcon* trycn1 = nullptr;
    QMenu* pm2 = nullptr;
    QAction* OpenVesmor1 = nullptr;
    QAction* N2 = nullptr;
    QAction* About2 = nullptr;
    QAction* Exit2 = nullptr;

    // Watch Settings tab: the editor.
    void btn3Click();
    void btn4Click();
    void LoadToEditor(Twatcher AWatch);
    void chk14Click();
    void chk15Click();
    void chk17Click();
    void cbb1Change();
    void DisableEventControls();
    void EnableEventControls();
    void UnCheckEventConrolls();
    void tv1FolderSelected(QObject* Sender, const QString& FolderPath);

    // Watch List tab.
    void btn1Click();
    void btn17Click();
    void btn9Click();
    void btn20Click();
    void btn8Click();
    void btn18Click();
    void btn19Click();
    void btn21Click();
    void btn22Click();
    void btn23Click();
    void btn24Click();
    void btn25Click();
    void ClearWatchPanel(Twatcher AWatch);
    void DeleteWatch(Twatcher AWatch);
    // Draws the four panels again from the settings file; running watches keep their slots.
    void ReloadWatchList();

    // Live Log tab.
    void btn2Click();
    void btn16Click();

    // The event handlers of the four slots' monitors: one family, bound per slot and kind.
    void ShNotify1FileCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1FileDelete(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify1FileChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1FileRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify1AssociationChange(QObject* Sender);
    void ShNotify1FolderCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1FolderDelete(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1FolderRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify1FolderChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1MediaInsert(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1MediaRemove(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify1DriveSpaceChange(QObject* Sender, quint32 Drive);
    void ShNotify2FileCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2FileDelete(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify2FileChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2FileRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify2AssociationChange(QObject* Sender);
    void ShNotify2FolderCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2FolderDelete(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2FolderRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify2FolderChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2MediaInsert(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2MediaRemove(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify2DriveSpaceChange(QObject* Sender, quint32 Drive);
    void ShNotify3FileCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3FileDelete(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify3FileChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3FileRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify3AssociationChange(QObject* Sender);
    void ShNotify3FolderCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3FolderDelete(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3FolderRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify3FolderChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3MediaInsert(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3MediaRemove(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify3DriveSpaceChange(QObject* Sender, quint32 Drive);
    void ShNotify4FileCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4FileDelete(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify4FileChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4FileRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify4AssociationChange(QObject* Sender);
    void ShNotify4FolderCreate(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4FolderDelete(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4FolderRename(QObject* Sender, TStShellItem* OldShellItem, TStShellItem* NewShellItem);
    void ShNotify4FolderChange(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4MediaInsert(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4MediaRemove(QObject* Sender, TStShellItem* ShellItem);
    void ShNotify4DriveSpaceChange(QObject* Sender, quint32 Drive);

    // The alert actions of an event.
    void TriggerPopUp(Twatcher watch, const QString& message) override;
    void TriggerDesktopAlert(Twatcher watch, const QString& message) override;
    void jvdsktplrt1MessageClick(QObject* Sender);

    // Handlers.
    void tmr1Timer();
    void btn5Click();
    void btn7Click();
    void trycn1Click();
    void About2Click();
    void imgClick();
    void FormCloseQuery(bool& CanClose);

    // The slot table: each slot's panel, labels, buttons, monitor and launcher.
    std::array<SlotControls, 4> SlotBindings() const;
    // Gives the buttons their glyphs from il1.
    void AssignGlyphs();

    // Whether the desktop offers a system tray; tests put a tray in.
    std::function<bool()> TrayAvailable;

    // Brings the window forward from anywhere (minimised, hidden in the tray).
    void BringForward();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Start/Stop of slot n; reloads the list when its watch is gone from the file.
    void startStopSlot(int n);
    void buildHomeTab();
    void buildWatchSettingsTab();
    void buildWatchListTab();
    void buildLiveLogTab();
    void buildTray();
    void connectHandlers();
    // Each tab's own handlers, connected where they are written.
    void connectEditorHandlers();
    void connectWatchListHandlers();
    void connectLiveLogHandlers();
    void connectEventHandlers();
    // Runs the handler family for one event of slot n.
    void onEvent(int slot, EventKind kind, TStShellItem* first = nullptr, TStShellItem* second = nullptr);

    QString dlgSave1FileName = QStringLiteral("Log");  // the save dialog's file name, kept between saves
    bool closing_ = false;
};
