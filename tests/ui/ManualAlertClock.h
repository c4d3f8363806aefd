#pragma once
#include "ui/AlertClock.h"

#include <QList>

#include <memory>

// A clock that moves only when the test says so. Timers fire in order of their due time
// (ties in the order they were started), each at its own moment.
class ManualAlertClock : public AlertClock {
public:
    std::unique_ptr<AlertTimer> createTimer() override;

    qint64 now() const { return now_; }
    // Moves time forward by ms, firing every timer that falls due on the way.
    void advance(qint64 ms);
    int activeTimers() const;

private:
    class Timer;
    friend class Timer;
    QList<Timer*> timers_;
    qint64 now_ = 0;
    quint64 sequence_ = 0;
};
