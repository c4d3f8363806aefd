#pragma once
#include <QString>

// Starts a program, script or document the way the desktop's shell would, and forgets it.
// With the verb "Open" (or none): an executable file is started directly, never through a
// shell; a script without its execute bit but with a "#!" line through that interpreter; any
// other file is handed to the desktop's opener (xdg-open). The started process is detached: it
// is not our child, nothing waits for it and it leaves no zombie behind.
namespace ProgramStarter {

// Shell error codes (all 32 or less) for a start that failed.
enum Error : int {
    Ok = 0,
    FileNotFound = 2,
    PathNotFound = 3,
    AccessDenied = 5,
    OutOfMemory = 8,
    BadFormat = 11,
    SharingViolation = 26,
    NoAssociation = 31,
};

// Show commands of the shell; a started program's window is its own affair here, so the value
// is passed on only as a wish.
enum ShowCommand : int { Hide = 0, ShowNormal = 1, ShowMaximized = 3, ShowMinNoActive = 7 };

struct Result {
    int error = Ok;         // 0 when started
    qint64 processId = 0;   // the started process (the opener's for documents), 0 on failure
};

// parameters are split into words by the Windows command-line rules (WindowsCommandLine);
// documents get none. directory empty: the current one. One pair of quotes around file is
// ignored. A bare name (no "/") is looked up in PATH, never in the current folder.
Result start(const QString& verb, const QString& file, const QString& parameters, const QString& directory,
             int showCommand = ShowNormal);

}  // namespace ProgramStarter
