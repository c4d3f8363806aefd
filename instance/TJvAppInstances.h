#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class SwitchListener;
class TJclAppInstances;

// The single-instance guard of the main window. Created, it registers this copy; loaded, it
// checks whether the copy may run. A refused copy raises OnRejected, brings the running copy
// forward, unregisters and ends. A copy that runs listens for later copies asking it to come
// forward.
class TJvAppInstances : public QObject {
    Q_OBJECT
public:
    // Works through the process-wide registry; throws AppException when it can't be created.
    explicit TJvAppInstances(QObject* owner = nullptr);
    // Works through the given registry, which must outlive the component.
    explicit TJvAppInstances(TJclAppInstances& registry, QObject* owner = nullptr);
    ~TJvAppInstances() override;

    bool Active() const { return active_; }
    void setActive(bool active);
    void setMaxInstances(int maxInstances) { maxInstances_ = maxInstances; }
    void setAutoActivate(bool autoActivate) { autoActivate_ = autoActivate; }

    // Raised when this copy is refused, before the running copy is brought forward.
    std::function<void(QObject* Sender)> OnRejected;

    enum class Verdict { Run, Refused };
    // The check: drops the ids of ended copies, then refuses this copy when others stand before
    // it. A refused copy is unregistered on return; the caller ends it.
    Verdict Check();
    // The check as the program runs it: a refused copy ends here with exit code 0, at once.
    void Loaded();

    // The window a later copy brings forward, and how; without a way of its own the window is
    // restored when minimised, shown, raised and activated. A request that came before the
    // window was handed over is carried out now.
    void setMainWindow(QWidget* window, std::function<void()> howToBringForward = {});

private:
    QByteArray answerForwardRequest(const QByteArray& request);
    void bringForward();
    void registerOnce();

    TJclAppInstances& registry_;
    bool processRegistry_;
    bool active_ = true;
    int maxInstances_ = 1;
    bool autoActivate_ = true;
    bool registered_ = false;
    bool registerRefused_ = false;
    SwitchListener* listener_ = nullptr;
    QPointer<QWidget> window_;
    std::function<void()> bringForward_;
    bool pendingForward_ = false;
};
