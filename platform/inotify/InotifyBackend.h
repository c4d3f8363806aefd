#pragma once
#include "platform/changes/ChangeBackend.h"

#include <memory>
#include <thread>

namespace InotifyDetail {
struct State;
}
struct WatchRoot;

// The Linux change backend: inotify, read by a thread of its own; the mount table for media;
// a walker thread for everything that touches a path. See InotifyState.h for how the work is
// shared out.
class InotifyBackend : public ChangeBackend {
public:
    explicit InotifyBackend(std::function<void()> wake);
    ~InotifyBackend() override;
    InotifyBackend(const InotifyBackend&) = delete;
    InotifyBackend& operator=(const InotifyBackend&) = delete;

    QString startError() const override;
    QString add(quint32 id, const WatchRequest& request) override;
    void remove(quint32 id) override;
    void follow(quint32 id, const QString& folder) override;
    void unfollow(quint32 id, const QString& folder) override;
    void announce(quint32 mask, const ItemIdList& first, const ItemIdList& second) override;
    std::deque<ChangeNotice> take() override;
    void holdBack(quint32 id) override;
    void catchUp(quint32 id) override;
    void setQueueLimit(int notices) override;
    Figures figures() const override;
    void pauseReading(bool paused) override;
    void failReader(const QString& reason) override;

private:
    void request(std::function<void(InotifyDetail::State&)> job);
    void resolveAside(quint32 id, const WatchRequest& request, WatchRoot root, const QString& fsType);

    struct Finished;
    std::shared_ptr<InotifyDetail::State> d;
    std::shared_ptr<Finished> finished_;
    std::thread reader_;
    std::thread walker_;
};
