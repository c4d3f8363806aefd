#pragma once
#include <QStringList>

class TForm1;

// The main window's creation handler: settings folder, settings file, slots, stored watches,
// banner, glyphs, command line, auto-start and the start-minimised timer, strictly in order.
// An error on the way is shown in the error box and ends the sequence; the program runs on.
// Returns false only when the settings folder is refused (another user's, writable by others, or
// not inspectable): the program must not start.
bool FormCreate(TForm1& form, const QStringList& parameters);
