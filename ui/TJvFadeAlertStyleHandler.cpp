#include "ui/TJvFadeAlertStyleHandler.h"

#include <algorithm>
#include <utility>

namespace {
int interval(int ms) { return std::max(0, ms); }
}  // namespace

TJvFadeAlertStyleHandler::TJvFadeAlertStyleHandler(Window window, AlertClock& clock)
    : window_(std::move(window)), timer_(clock.createTimer())
{
    timer_->setCallback([this] { tick(); });
}

void TJvFadeAlertStyleHandler::SetEndInterval(int ms) { endInterval_ = interval(ms); }
void TJvFadeAlertStyleHandler::SetDisplayDuration(int ms) { displayDuration_ = interval(ms); }

void TJvFadeAlertStyleHandler::tick()
{
    switch (status_) {
    case hsStartAnim: StartAnimationStep(); break;
    case hsDisplay: DisplayTimeout(); break;
    case hsEndAnim: EndAnimationStep(); break;
    case hsIdle: timer_->stop(); break;
    }
}

void TJvFadeAlertStyleHandler::DoStartAnimation()
{
    timer_->stop();
    counter_ = 0;
    PrepareStartAnimation();
    status_ = hsStartAnim;
    timer_->start(startInterval_, false);
}

void TJvFadeAlertStyleHandler::StartAnimationStep()
{
    window_.setOpacity(minAlpha_ + (maxAlpha_ - minAlpha_) * counter_ / startSteps_);
    ++counter_;
    if (counter_ >= startSteps_) {
        timer_->stop();
        FinishStartAnimation();
        DoDisplay();
    }
}

void TJvFadeAlertStyleHandler::DoDisplay()
{
    if (displayDuration_ == 0) return;
    timer_->stop();
    counter_ = 0;
    status_ = hsDisplay;
    timer_->start(displayDuration_, true);
}

void TJvFadeAlertStyleHandler::DisplayTimeout()
{
    timer_->stop();
    status_ = hsIdle;
}

void TJvFadeAlertStyleHandler::DoEndAnimation()
{
    timer_->stop();
    counter_ = 0;
    PrepareEndAnimation();
    status_ = hsEndAnim;
    timer_->start(endInterval_, false);
}

void TJvFadeAlertStyleHandler::EndAnimationStep()
{
    ++counter_;
    if (counter_ >= endSteps_) {
        timer_->stop();
        FinishEndAnimation();
    }
    window_.setOpacity(maxAlpha_ - (maxAlpha_ - minAlpha_) * counter_ / endSteps_);
}

void TJvFadeAlertStyleHandler::AbortAnimation()
{
    if (status_ == hsStartAnim || status_ == hsDisplay) return;
    timer_->stop();
    window_.setOpacity(maxAlpha_);
}

void TJvFadeAlertStyleHandler::PrepareStartAnimation()
{
    window_.setOpacity(minAlpha_);
    window_.appear();
}

void TJvFadeAlertStyleHandler::FinishStartAnimation() { window_.setOpacity(maxAlpha_); }

void TJvFadeAlertStyleHandler::PrepareEndAnimation() { window_.setOpacity(maxAlpha_); }

void TJvFadeAlertStyleHandler::FinishEndAnimation()
{
    window_.setOpacity(minAlpha_);
    window_.closeWindow();
}
