#pragma once
#include "instance/TJclAppInstances.h"
#include "platform/runtime/SwitchChannel.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

#include <functional>
#include <memory>

#include <signal.h>
#include <unistd.h>

namespace instance_test {

// Waits for a condition while the event loop runs; false when it did not come within the time.
inline QString uniqueKey(const char* what)
{
    return QStringLiteral("JCLTEST_%1_%2").arg(QLatin1String(what), QUuid::createUuid().toString(QUuid::Id128));
}

inline QString testExecutable() { return QCoreApplication::applicationFilePath(); }

// Removes the shared objects and the channel of a key when the test ends.
struct KeyCleanup {
    QString key;
    ~KeyCleanup()
    {
        TJclAppInstances::RemoveSharedObjects(key);
        QFile::remove(SwitchChannel::socketPath(key));
    }
};

// A process of the test program or of Vesmor with its output gathered as it comes.
class Child {
public:
    Child(const QString& program, const QStringList& args, const QProcessEnvironment& env)
    {
        process_.setProcessEnvironment(env);
        process_.start(program, args);
        if (process_.waitForStarted(10000)) pid_ = process_.processId();
    }
    ~Child()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }
    QProcess& process() { return process_; }
    qint64 pid() const { return pid_; }

    QByteArray out()
    {
        out_ += process_.readAllStandardOutput();
        return out_;
    }
    QByteArray err()
    {
        err_ += process_.readAllStandardError();
        return err_;
    }
    bool waitForOut(const QByteArray& text, int timeoutMs = 10000)
    {
        return waitFor([&] { return out().contains(text) || process_.state() == QProcess::NotRunning; }, timeoutMs) &&
               out().contains(text);
    }
    bool waitForErr(const QByteArray& text, int timeoutMs = 10000)
    {
        return waitFor([&] { return err().contains(text); }, timeoutMs);
    }
    bool waitForExit(int timeoutMs = 10000)
    {
        return waitFor([&] { return process_.state() == QProcess::NotRunning; }, timeoutMs);
    }
    bool running() const { return process_.state() == QProcess::Running; }
    int exitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }

    // Ends the process by closing its input (the helpers take that as their cue to quit).
    void closeInput() { process_.closeWriteChannel(); }
    void kill9()
    {
        ::kill(static_cast<pid_t>(pid_), SIGKILL);
        waitForExit();
    }

private:
    QProcess process_;
    qint64 pid_ = 0;
    QByteArray out_;
    QByteArray err_;
};

inline QProcessEnvironment helperEnvironment(const char* mode)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VESMOR_INSTANCE_HELPER"), QString::fromLatin1(mode));
    return env;
}

// A test-program process that registers itself under a key and stays until its input closes.
inline std::unique_ptr<Child> startRegistered(const QString& key)
{
    QProcessEnvironment env = helperEnvironment("register");
    env.insert(QStringLiteral("VESMOR_INSTANCE_KEY"), key);
    auto child = std::make_unique<Child>(testExecutable(), QStringList(), env);
    if (!child->waitForOut("registered")) return nullptr;
    return child;
}

// A second name for an executable, in a folder of its own: a hard link when possible, else a
// copy. The guard sees it as a different program.
class ProgramCopy {
public:
    explicit ProgramCopy(const QString& original, const QString& name = QStringLiteral("vesmor"))
    {
        path_ = dir_.filePath(name);
        if (::link(QFile::encodeName(original).constData(), QFile::encodeName(path_).constData()) != 0) {
            QFile::copy(original, path_);
            QFile(path_).setPermissions(QFile(original).permissions());
        }
        key_ = TJclAppInstances::InstanceKey(path_);
    }
    ~ProgramCopy()
    {
        TJclAppInstances::RemoveSharedObjects(key_);
        QFile::remove(SwitchChannel::socketPath(key_));
    }
    const QString& path() const { return path_; }
    const QString& key() const { return key_; }
    QString folder() const { return dir_.path(); }

    // The registry of this program, read from outside (the test process does not register).
    std::unique_ptr<TJclAppInstances> registry() const
    {
        return std::make_unique<TJclAppInstances>(key_, path_, 0);
    }

private:
    QTemporaryDir dir_;
    QString path_;
    QString key_;
};

}  // namespace instance_test
