#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Keeps the event loop running until `condition` holds or `timeoutMs` has passed; true when it
// holds. Never a fixed sleep: a test waits only as long as the thing it waits for takes.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}
