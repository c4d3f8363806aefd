#pragma once
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The one seam through which the file-open and file-save dialogs are shown. Tests install a
// responder that plays the user: it gets what the dialog would show and returns the path the
// user ends with (empty: cancelled).
namespace FileDialogs {

enum class Kind { Open, Save };

struct Request {
    Kind kind = Kind::Open;
    QString title;
    QString directory;         // folder the dialog opens in; empty: the dialog's own choice
    QString fileName;          // proposed file name (a full path or a bare name)
    QString filter;            // "Description|pattern;pattern|Description|pattern"
    QString defaultExtension;  // without the dot; added to a chosen name that has none
};

using Responder = std::function<QString(const Request&)>;

// Installs a responder (an empty one restores the real dialogs); returns the previous one.
Responder setResponder(Responder responder);

// The chosen path, or an empty string when the user cancelled. An open dialog accepts a name
// that does not exist yet (a log file to be created); a save dialog asks before replacing a file.
QString getOpenFileName(const Request& request, QWidget* parent = nullptr);
QString getSaveFileName(const Request& request, QWidget* parent = nullptr);

// "Text files (*.txt)|*.txt|All files (*.*)|*.*" as the dialog's name filters
// "Text files (*.txt)", "All files (*)": "*.*" means every file, dotted or not.
QStringList nameFilters(const QString& filter);

// The path with ".ext" appended when its file name has no extension.
QString withDefaultExtension(const QString& path, const QString& extension);

}  // namespace FileDialogs
