#pragma once
#include <functional>
#include <memory>

// One timer of the desktop alert: fires its callback after the interval, once or repeatedly.
class AlertTimer {
public:
    virtual ~AlertTimer() = default;
    virtual void start(int intervalMs, bool singleShot) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    void setCallback(std::function<void()> f) { callback_ = std::move(f); }

protected:
    void fire()
    {
        if (callback_) callback_();
    }

private:
    std::function<void()> callback_;
};

// Where the desktop alert's timers come from: event-loop timers in the program, a clock that
// the test drives by hand in tests.
class AlertClock {
public:
    virtual ~AlertClock() = default;
    virtual std::unique_ptr<AlertTimer> createTimer() = 0;

    // The event loop's timers.
    static AlertClock& system();
};
