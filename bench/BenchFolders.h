#pragma once
#include <QDir>
#include <QString>

// Where a bench makes its folders: VESMOR_BENCH_DIR, else /dev/shm (memory-backed), else the
// temporary folder.
inline QString benchBase()
{
    const QString env = qEnvironmentVariable("VESMOR_BENCH_DIR");
    if (!env.isEmpty()) return env;
    if (QDir(QStringLiteral("/dev/shm")).exists()) return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}
