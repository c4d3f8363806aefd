#pragma once
#include <QObject>
#include <QString>

enum TShowMode { smNormal, smMaximized, smMinimized, smHide };

// Starts a program, script or document through the desktop and forgets it: nothing waits for
// the program, and a failed start shows nothing; only Execute's result tells.
class TRzLauncher : public QObject {
    Q_OBJECT

public:
    explicit TRzLauncher(QObject* AOwner = nullptr);

    QString Action = QStringLiteral("Open");
    QString FileName;
    QString Parameters;
    QString StartDir;
    TShowMode ShowMode = smNormal;
    int Timeout = -1;  // kept for the record; Execute doesn't consult it

    // The process id of the last successful start; 0 when none. Only a number here, nothing to
    // release.
    qint64 HProcess() const { return hProcess_; }

    // 0 when a start was made or FileName is empty, otherwise the shell's error code (<= 32).
    int Execute();

private:
    qint64 hProcess_ = 0;
};
