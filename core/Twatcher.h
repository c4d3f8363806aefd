#pragma once
#include <QString>

class QPushButton;
class QLabel;
class TCyPanel;
class TStShellNotification;
class TRzLauncher;

using TBitBtn = QPushButton;
using TLabel = QLabel;

// The watch record of one slot. The references point to the slot's controls and components,
// which the main window owns; the record never owns or frees them.
struct Twatcher {
    TCyPanel* Panel = nullptr;
    TBitBtn* StartButton = nullptr;
    TBitBtn* EditButton = nullptr;
    TBitBtn* RemoveButton = nullptr;
    QString Name;
    QString Path;
    TLabel* WatchNameLbl = nullptr;
    TLabel* PathLbl = nullptr;
    TLabel* EventsLbl = nullptr;
    TLabel* ActionsLbl = nullptr;
    bool Active = false;
    bool Avilable = false;
    TStShellNotification* Monitor = nullptr;
    TRzLauncher* Launcher = nullptr;
    bool RunProgram = false;
    QString ProgramToExecute;
    bool UseArguments = false;
    qint32 ArgumentIndex = 0;
    bool WaitForProcess = false;
    bool WriteToLogFile = false;
    QString LogFile;
    bool ShowDesktopAlert = false;
    bool PopUpMessage = false;
    bool EventFileCreate = false;
    bool EventFileDelete = false;
    bool EventFileChange = false;
    bool EventFileRename = false;
    bool EventFolderCreate = false;
    bool EventFolderDelete = false;
    bool EventFolderRename = false;
    bool EventFolderChange = false;
    bool EventMediaInsert = false;
    bool EventMediaRemove = false;
    bool EventAssociationChange = false;
    bool EventFreeSpaceChange = false;
};

// Releases the texts and zeroes every field: references empty, flags off, ArgumentIndex 0.
void ClearWatcher(Twatcher& w);
