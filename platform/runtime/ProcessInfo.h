#pragma once
#include <QString>
#include <QtGlobal>

// Facts about processes of this machine.
namespace ProcessInfo {

qint64 currentProcessId();

// The absolute path of this program's executable file (links resolved).
QString executablePath();

// True while the process with this id runs the executable at that path. A process that has
// ended but not yet been collected by its parent counts as gone, and so does an id that was
// handed on to an unrelated program.
bool runsExecutable(qint64 processId, const QString& executablePath);

}  // namespace ProcessInfo
