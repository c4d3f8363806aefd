#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real program started as a user would, on the offscreen platform, with its temporary folder
// pointed at `temp`. Boxes are answered at once and, like the live log, echoed on its standard
// error, which the test reads line by line.
class ProgramRun {
public:
    // `launcher` is a command line the program is handed to (it runs `"$@"`), e.g. one that
    // enters a user namespace first.
    explicit ProgramRun(const QString& temp, const QStringList& arguments = {}, const QString& binary = QString(),
                        const QStringList& launcher = {});
    ~ProgramRun();

    static QString binaryPath();
    // A launcher that runs the program in a user namespace whose per-user limit on inotify
    // watches is `limit`. Where namespaces are refused the program does not start and the run
    // ends with NoNamespaceExit.
    static QStringList watchLimitLauncher(int limit);
    // A launcher that runs the program with a file system of its own, `bytes` large, mounted at
    // `folder` (a user and mount namespace). The test reaches it through /proc/<pid>/root.
    static QStringList smallDiskLauncher(const QString& folder, qint64 bytes);
    static constexpr int NoNamespaceExit = 77;

    // Waits until a line of standard error contains `text`; false after `ms`.
    bool waitForLine(const QString& text, int ms = 10000);
    // All standard error so far, as lines.
    QStringList lines();
    // Sends SIGTERM and waits for the end; returns the exit code (-1 when it did not end).
    int terminate(int ms = 10000);
    // Waits for the program to end by itself; returns the exit code (-1 when it did not end).
    int waitForExit(int ms = 10000);
    void kill();
    qint64 pid() const { return process_.processId(); }
    QProcess& process() { return process_; }

private:
    void drain();

    // The program runs from a link of its own, so that parallel tests are not one another's
    // "second copy" (the single-instance guard keys on the executable's path).
    QTemporaryDir programDir_;
    QString program_;
    QProcess process_;
    QString buffer_;
    QStringList lines_;
};
