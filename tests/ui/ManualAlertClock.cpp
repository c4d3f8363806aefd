#include "ManualAlertClock.h"

#include <limits>

class ManualAlertClock::Timer final : public AlertTimer {
public:
    explicit Timer(ManualAlertClock& clock) : clock_(clock) { clock_.timers_ << this; }
    ~Timer() override { clock_.timers_.removeAll(this); }
    void start(int intervalMs, bool singleShot) override
    {
        interval_ = intervalMs;
        singleShot_ = singleShot;
        due_ = clock_.now_ + intervalMs;
        order_ = ++clock_.sequence_;
        active_ = true;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }

    void fireNow()
    {
        if (singleShot_) {
            active_ = false;
        } else {
            due_ += interval_;
            order_ = ++clock_.sequence_;
        }
        fire();
    }

    ManualAlertClock& clock_;
    int interval_ = 0;
    bool singleShot_ = false;
    bool active_ = false;
    qint64 due_ = 0;
    quint64 order_ = 0;
};

std::unique_ptr<AlertTimer> ManualAlertClock::createTimer() { return std::make_unique<Timer>(*this); }

int ManualAlertClock::activeTimers() const
{
    int n = 0;
    for (const Timer* t : timers_) n += t->active_;
    return n;
}

void ManualAlertClock::advance(qint64 ms)
{
    const qint64 target = now_ + ms;
    for (int guard = 0; guard < 1'000'000; ++guard) {
        Timer* next = nullptr;
        for (Timer* t : timers_) {
            if (!t->active_ || t->due_ > target) continue;
            if (!next || t->due_ < next->due_ || (t->due_ == next->due_ && t->order_ < next->order_))
                next = t;
        }
        if (!next) break;
        now_ = std::max(now_, next->due_);
        next->fireNow();
    }
    now_ = target;
}
