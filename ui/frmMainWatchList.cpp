// The Watch List tab: Start/Stop, Edit and Remove of the four slots.
#include "core/WatchStartStop.h"
#include "ui/GuardedBinding.h"
#include "ui/frmMain.h"

void TForm1::btn1Click() { StartStopWatch(*this, 1); }
void TForm1::btn17Click() { StartStopWatch(*this, 2); }
void TForm1::btn9Click() { StartStopWatch(*this, 3); }
void TForm1::btn20Click() { StartStopWatch(*this, 4); }

void TForm1::btn8Click() {}
void TForm1::btn18Click() {}
void TForm1::btn19Click() {}
void TForm1::btn21Click() {}
void TForm1::btn22Click() {}
void TForm1::btn23Click() {}
void TForm1::btn24Click() {}
void TForm1::btn25Click() {}
void TForm1::ClearWatchPanel(Twatcher) {}
void TForm1::DeleteWatch(Twatcher) {}

void TForm1::connectWatchListHandlers()
{
    bind(btn1, &QPushButton::clicked, this, &TForm1::btn1Click);
    bind(btn17, &QPushButton::clicked, this, &TForm1::btn17Click);
    bind(btn9, &QPushButton::clicked, this, &TForm1::btn9Click);
    bind(btn20, &QPushButton::clicked, this, &TForm1::btn20Click);
}
