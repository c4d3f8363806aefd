#pragma once
#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

// Where a bench makes its folders: VESMOR_BENCH_DIR, else /dev/shm (memory-backed), else the
// temporary folder.
inline QString benchBase()
{
    const QString env = qEnvironmentVariable("VESMOR_BENCH_DIR");
    if (!env.isEmpty()) return env;
    if (QDir(QStringLiteral("/dev/shm")).exists()) return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}

// tops x each folders below `root`, each with `files` empty files; returns the folders made.
inline int makeTree(const QString& root, int tops, int each, int files)
{
    const QByteArray base = QFile::encodeName(root);
    int made = 0;
    char path[4096];
    for (int t = 0; t < tops; ++t) {
        std::snprintf(path, sizeof path, "%s/t%d", base.constData(), t);
        made += ::mkdir(path, 0755) == 0;
        for (int e = 0; e < each; ++e) {
            std::snprintf(path, sizeof path, "%s/t%d/s%d", base.constData(), t, e);
            made += ::mkdir(path, 0755) == 0;
            for (int f = 0; f < files; ++f) {
                std::snprintf(path, sizeof path, "%s/t%d/s%d/file%d", base.constData(), t, e, f);
                const int fd = ::open(path, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd >= 0) ::close(fd);
            }
        }
    }
    return made;
}
