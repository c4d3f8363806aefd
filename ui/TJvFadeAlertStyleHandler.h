#pragma once
#include "ui/AlertClock.h"

#include <functional>
#include <memory>

// The alert's animation engine: fades the window in through its opacity, keeps it for the
// display time, fades it out and closes it. One timer drives all three phases.
class TJvFadeAlertStyleHandler {
public:
    enum Status { hsIdle, hsStartAnim, hsDisplay, hsEndAnim };

    // What the handler does to the window it animates: the window owns the handler and hands
    // it these, so the handler knows nothing else of it.
    struct Window {
        std::function<void(int alpha)> setOpacity;  // 0 (clear) to 255 (opaque)
        std::function<void()> appear;               // shown without taking the activation
        std::function<void()> closeWindow;          // hidden at once, its owner told
    };

    TJvFadeAlertStyleHandler(Window window, AlertClock& clock);
    TJvFadeAlertStyleHandler(const TJvFadeAlertStyleHandler&) = delete;
    TJvFadeAlertStyleHandler& operator=(const TJvFadeAlertStyleHandler&) = delete;

    // Style options, in milliseconds.
    int EndInterval() const { return endInterval_; }
    void SetEndInterval(int ms);
    int DisplayDuration() const { return displayDuration_; }
    void SetDisplayDuration(int ms);

    Status status() const { return status_; }
    // The handler is active while its timer runs.
    bool Active() const { return timer_->isActive(); }

    void DoStartAnimation();
    void DoEndAnimation();
    void DoDisplay();
    void AbortAnimation();
    // Stops the timer without touching the status or the opacity (the window closed).
    void StopTimer() { timer_->stop(); }

private:
    void StartAnimationStep();
    void EndAnimationStep();
    void DisplayTimeout();
    void PrepareStartAnimation();
    void FinishStartAnimation();
    void PrepareEndAnimation();
    void FinishEndAnimation();
    void tick();

    Window window_;
    std::unique_ptr<AlertTimer> timer_;
    Status status_ = hsIdle;
    int counter_ = 0;
    const int startInterval_ = 25;
    const int startSteps_ = 10;
    int endInterval_ = 50;
    const int endSteps_ = 10;
    int displayDuration_ = 1400;
    const int minAlpha_ = 0;
    const int maxAlpha_ = 255;
};
