#pragma once
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Local users played for real: the tests run as root, so two unprivileged ids (no account entry
// needed) stand for the user and for another person sharing the machine. Programs run as one of
// them through `setpriv`, with a home of their own.
class LocalUsers {
public:
    struct Account {
        unsigned uid = 0;
        unsigned gid = 0;
        QString home;  // private (0700), owned by the account
    };

    static constexpr unsigned UserId = 61001;      // the one whose program is under test
    static constexpr unsigned IntruderId = 61002;  // someone else on the same machine

    // Empty when users can be switched here (root, setpriv at hand); otherwise why not.
    static QString unavailableReason();

    // A fresh folder that every account may enter (0755), removed with this object.
    LocalUsers();
    QString root() const { return world_.path(); }

    // The account with that id, with a new private home under root().
    Account account(unsigned id, const QString& name);
    // A folder all may write to, sticky as /tmp is (1777).
    QString sharedFolder(const QString& name);
    // A copy of the program that every account may run (the one in the build folder may sit
    // below folders only root can enter).
    QString programCopy(const QString& binary, const QString& name = QStringLiteral("vesmor"));
    // Hands path (a link itself, not what it leads to) to `account`.
    static bool give(const QString& path, const Account& account);

    // The words that run a command as `account` (ProgramRun's launcher form: the command
    // follows). HOME is the account's; XDG_RUNTIME_DIR is set only when `runtimeDir` is given.
    static QStringList launcher(const Account& account, const QString& runtimeDir = QString());
    // Runs a command as `account` and waits; returns its exit code (-1 when it did not end).
    static int run(const Account& account, const QStringList& command, QString* output = nullptr, int ms = 10000);

private:
    QTemporaryDir world_;
};
