// The Live Log tab: Save and Clear.
#include "ui/GuardedBinding.h"
#include "ui/frmMain.h"

void TForm1::btn2Click() {}
void TForm1::btn16Click() {}

void TForm1::connectLiveLogHandlers() {}
