#pragma once
#include <QList>
#include <QString>
#include <QStringList>

// A small shell script that records, for each run, its working folder, its parent's process id
// and the exact words it received (NUL-separated, so blanks, quotes and line breaks survive).
// The script itself only prints "$@"; it never evaluates what it receives.
class ArgvProbe {
public:
    struct Run {
        QString cwd;
        qint64 parentPid = 0;
        QStringList args;
    };

    // Writes the script <dir>/<name>; runs go to <dir>/<name>.runs/.
    ArgvProbe(const QString& dir, const QString& name = QStringLiteral("probe.sh"), bool executable = true,
              bool withInterpreterLine = true);

    const QString& path() const { return path_; }
    QList<Run> runs() const;  // finished runs, oldest first
    bool waitForRuns(int count, int timeoutMs = 10000) const;

private:
    QString path_;
    QString runsDir_;
};
