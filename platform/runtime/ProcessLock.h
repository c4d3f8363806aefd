#pragma once
#include "platform/runtime/SharedMemoryBlock.h"

#include <QString>

// A named lock shared by the processes of this user. It is recursive for a thread and
// serialises threads of different processes. When its holder dies, the next one to ask takes
// it over, so a crashed process blocks no one. Its holder may remove its name (the last user
// tidying up): whoever was waiting for it then takes the lock under that name afresh.
class ProcessLock {
public:
    ProcessLock() = default;
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Opens the lock of that name, setting it up when this process is the first to use it.
    bool open(const QString& name);
    void close();
    bool isOpen() const { return shared_ != nullptr; }

    // Which part failed: the shared block, its view, or the lock inside it.
    enum class Failure { None, Object, View, Lock };
    Failure failure() const { return failure_; }
    QString errorString() const { return error_; }

    // Waits for the lock; false only when the lock is broken beyond repair.
    bool lock();
    // Takes the lock when it is free (or already ours); never waits.
    bool tryLock();
    void unlock();
    // Removes the lock's name while this process holds it, when it still names this lock.
    void removeName();
    // True when the last successful lock() or tryLock() took over from a holder that had died.
    bool tookOverFromDeadHolder() const { return tookOver_; }

    // The name of the shared block the lock lives in.
    static QString blockName(const QString& name);
    static bool remove(const QString& name);

private:
    bool setUp();
    bool finishLocking(int result);
    bool reopen();

    SharedMemoryBlock block_;
    QString name_;
    int depth_ = 0;  // how often the holding thread holds it; touched only by the holder
    void* shared_ = nullptr;
    Failure failure_ = Failure::None;
    QString error_;
    bool tookOver_ = false;
};
