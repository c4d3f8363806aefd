#include "instance/TJvAppInstances.h"

#include "instance/TJclAppInstances.h"
#include "platform/runtime/SwitchChannel.h"

#include <cstdio>
#include <cstdlib>

TJvAppInstances::TJvAppInstances(QObject* owner)
    : QObject(owner), registry_(JclAppInstances()), processRegistry_(true)
{
    registerOnce();
}

TJvAppInstances::TJvAppInstances(TJclAppInstances& registry, QObject* owner)
    : QObject(owner), registry_(registry), processRegistry_(false)
{
    registerOnce();
}

TJvAppInstances::~TJvAppInstances()
{
    // Off the list before the channel closes: a copy started meanwhile then runs in our place
    // and listens under the name, instead of being refused by a copy that is going away.
    if (processRegistry_) ReleaseJclAppInstances();
    delete listener_;
}

void TJvAppInstances::registerOnce()
{
    if (!active_ || registered_) return;
    registered_ = true;
    registerRefused_ = !registry_.Register();
}

void TJvAppInstances::setActive(bool active)
{
    if (active == active_) return;
    active_ = active;
    if (active) {
        registerOnce();
    } else if (registered_) {
        registry_.Unregister();
        registered_ = false;
        registerRefused_ = false;
    }
}

TJvAppInstances::Verdict TJvAppInstances::Check()
{
    if (!active_) return Verdict::Run;
    registry_.PruneEndedProcesses();
    const int own = registry_.OwnIndex();
    // A full list means other copies run; this one could not register and stands nowhere.
    const bool refused = maxInstances_ > 0 && (own >= maxInstances_ || (own < 0 && registerRefused_));
    if (!refused) {
        if (!listener_) {
            listener_ = new SwitchListener(this);
            listener_->setHandler([this](const QByteArray& request) { return answerForwardRequest(request); });
            if (!listener_->listen(registry_.Key()))
                std::fprintf(stderr, "instance: other copies can't reach this one: %s\n",
                             qPrintable(listener_->errorString()));
        }
        return Verdict::Run;
    }
    if (OnRejected) OnRejected(this);
    if (autoActivate_) registry_.SwitchTo(0);
    registry_.Unregister();
    registered_ = false;
    return Verdict::Refused;
}

void TJvAppInstances::Loaded()
{
    if (Check() == Verdict::Run) return;
    if (processRegistry_) ReleaseJclAppInstances();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(0);
}

void TJvAppInstances::setMainWindow(QWidget* window, std::function<void()> howToBringForward)
{
    window_ = window;
    bringForward_ = std::move(howToBringForward);
    if (pendingForward_ && window_) {
        pendingForward_ = false;
        bringForward();
    }
}

void TJvAppInstances::bringForward()
{
    if (bringForward_) {
        bringForward_();
        return;
    }
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

QByteArray TJvAppInstances::answerForwardRequest(const QByteArray& request)
{
    qint64 target = 0;
    qint64 asking = 0;
    if (!TJclAppInstances::ParseForwardRequest(request, &target, &asking)) return {};
    if (target != registry_.ProcessId()) return TJclAppInstances::AnswerNotMe;
    auto state = [this] {
        return window_ && window_->isVisible() && !window_->isMinimized() ? TJclAppInstances::AnswerShown
                                                                          : TJclAppInstances::AnswerHidden;
    };
    QByteArray answer;
    if (!window_) {
        pendingForward_ = true;
        answer = TJclAppInstances::AnswerPending;
        std::fprintf(stderr, "instance: brought forward for process %lld: not yet shown -> %s\n", asking,
                     answer.constData());
    } else {
        const QByteArray before = state();
        bringForward();
        answer = state();
        std::fprintf(stderr, "instance: brought forward for process %lld: %s -> %s\n", asking, before.constData(),
                     answer.constData());
    }
    std::fflush(stderr);
    return answer;
}
