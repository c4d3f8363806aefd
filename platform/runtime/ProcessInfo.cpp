#include "platform/runtime/ProcessInfo.h"

#include <unistd.h>

namespace ProcessInfo {
namespace {

QString executableOf(const QByteArray& procEntry)
{
    QByteArray target(4096, '\0');
    const ssize_t n = ::readlink(procEntry.constData(), target.data(), target.size());
    if (n <= 0 || n >= target.size()) return {};
    QString path = QString::fromLocal8Bit(target.constData(), n);
    // A file replaced or removed while it runs still names the same program.
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted)) path.chop(deleted.size());
    return path;
}

}  // namespace

qint64 currentProcessId() { return ::getpid(); }

QString executablePath() { return executableOf("/proc/self/exe"); }

bool runsExecutable(qint64 processId, const QString& executablePath)
{
    if (processId <= 0 || executablePath.isEmpty()) return false;
    // The link is unreadable for a process that has ended, even before it is collected.
    const QString running = executableOf("/proc/" + QByteArray::number(processId) + "/exe");
    return !running.isEmpty() && running == executablePath;
}

}  // namespace ProcessInfo
