#pragma once
#include <QStringList>

#include <functional>

class TForm1;
class WatchWindow;

// The command line's step of start-up (the program passes its own; a test may pass none): whether
// to start minimised, and the sections it selected.
using ParameterCheck = std::function<bool(WatchWindow& window, const QStringList& parameters, QStringList* selected)>;

// The main window's creation handler: settings folder (and a settings file earlier versions left
// in the cache folder moved into it), settings file, slots, banner, stored watches, glyphs,
// command line, auto-start and the start-minimised timer, in order. An error on the way is shown
// in the error box and the other steps still run. Returns false only when the settings folder is
// refused (another user's, writable by others, not inspectable, or not there and impossible to
// make): the program must not start.
bool FormCreate(TForm1& form, const QStringList& parameters, const ParameterCheck& checkParameters = {});
