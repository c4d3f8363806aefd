// The Watch Settings tab: the watch editor.
#include "ui/GuardedBinding.h"
#include "ui/frmMain.h"

void TForm1::btn3Click() {}
void TForm1::btn4Click() { ClearAllControls(); }
void TForm1::ClearAllControls() {}
void TForm1::LoadToEditor(Twatcher) {}
void TForm1::chk14Click() {}
void TForm1::chk15Click() {}
void TForm1::chk17Click() {}
void TForm1::cbb1Change() {}
void TForm1::DisableEventControls() {}
void TForm1::EnableEventControls() {}
void TForm1::UnCheckEventConrolls() {}
void TForm1::tv1FolderSelected(QObject*, const QString&) {}

void TForm1::connectEditorHandlers() { bind(btn4, &QPushButton::clicked, this, &TForm1::btn4Click); }
