#include "ui/AlertClock.h"

#include <QTimer>

namespace {

class LoopTimer final : public AlertTimer {
public:
    LoopTimer()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    }
    void start(int intervalMs, bool singleShot) override
    {
        timer_.setSingleShot(singleShot);
        timer_.start(intervalMs);
    }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

class LoopClock final : public AlertClock {
public:
    std::unique_ptr<AlertTimer> createTimer() override { return std::make_unique<LoopTimer>(); }
};

}  // namespace

AlertClock& AlertClock::system()
{
    static LoopClock clock;
    return clock;
}
