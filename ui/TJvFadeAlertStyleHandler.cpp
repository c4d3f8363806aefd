#include "ui/TJvFadeAlertStyleHandler.h"

#include "ui/TJvFormDesktopAlert.h"

#include <algorithm>

namespace {
int interval(int ms) { return std::max(0, ms); }
}  // namespace

TJvFadeAlertStyleHandler::TJvFadeAlertStyleHandler(TJvFormDesktopAlert& owner, AlertClock& clock)
    : owner_(owner), timer_(clock.createTimer())
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
    owner_.SetAlphaBlendValue(minAlpha_ + (maxAlpha_ - minAlpha_) * counter_ / startSteps_);
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
    owner_.SetAlphaBlendValue(maxAlpha_ - (maxAlpha_ - minAlpha_) * counter_ / endSteps_);
}

void TJvFadeAlertStyleHandler::AbortAnimation()
{
    if (status_ == hsStartAnim || status_ == hsDisplay) return;
    timer_->stop();
    owner_.SetAlphaBlendValue(maxAlpha_);
}

void TJvFadeAlertStyleHandler::PrepareStartAnimation()
{
    owner_.SetAlphaBlendValue(minAlpha_);
    owner_.showWithoutActivating();
}

void TJvFadeAlertStyleHandler::FinishStartAnimation() { owner_.SetAlphaBlendValue(maxAlpha_); }

void TJvFadeAlertStyleHandler::PrepareEndAnimation() { owner_.SetAlphaBlendValue(maxAlpha_); }

void TJvFadeAlertStyleHandler::FinishEndAnimation()
{
    owner_.SetAlphaBlendValue(minAlpha_);
    owner_.CloseAlert();
}
