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
    explicit ProgramRun(const QString& temp, const QStringList& arguments = {}, const QString& binary = QString());
    ~ProgramRun();

    static QString binaryPath();

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
