#include "platform/changes/ChangeNotifyService.h"

#include "platform/shell/ShellNamespace.h"

#include <QCoreApplication>

namespace {

// How often a held-back window is looked at to see whether it has caught up.
constexpr int kCatchUpCheckMs = 100;

}  // namespace

ChangeNotifyService::ChangeNotifyService(const BackendMaker& makeBackend)
{
    backend_ = makeBackend([this] {
        QMetaObject::invokeMethod(this, &ChangeNotifyService::deliverPending, Qt::QueuedConnection);
    });
    backend_->setQueueLimit(backlogLimit_);
    catchUpTimer_.setInterval(kCatchUpCheckMs);
    connect(&catchUpTimer_, &QTimer::timeout, this, &ChangeNotifyService::catchUpHeldBack);
}

ChangeNotifyService::~ChangeNotifyService() { backend_.reset(); }

quint32 ChangeNotifyService::registerWindow(ShellNoticeWindow* window, quint32 eventMask, const SHChangeNotifyEntry& entry)
{
    lastRefusal_.clear();
    if (!window) return 0;
    WatchRequest request;
    request.mask = eventMask;
    request.recursive = entry.fRecursive;
    const ItemIdList& list = entry.pidl;
    if (list.isNull()) {
        request.scope = WatchRequest::Scope::Followed;
        request.allVolumes = true;
    } else if (list.lastKind() == ItemIdList::Kind::Computer) {
        request.scope = WatchRequest::Scope::Computer;
        request.allVolumes = true;
    } else {
        request.folder = ShellNamespace::fileSystemPathOf(list);
        if (request.folder.isEmpty()) {
            lastRefusal_ = QStringLiteral("not a folder of the file system");
            return 0;
        }
        request.scope = WatchRequest::Scope::Folder;
        request.allVolumes = list.isDesktop();
    }
    const quint32 id = nextId_++;
    lastRefusal_ = backend_->add(id, request);
    if (!lastRefusal_.isEmpty()) return 0;
    windows_.insert(id, window);
    return id;
}

bool ChangeNotifyService::deregister(quint32 id)
{
    if (!windows_.remove(id)) return false;
    backend_->remove(id);
    heldBack_.remove(id);
    for (auto it = ready_.begin(); it != ready_.end();) it = it->registration == id ? ready_.erase(it) : it + 1;
    return true;
}

void ChangeNotifyService::follow(quint32 id, const QString& folder)
{
    if (windows_.contains(id) && !folder.isEmpty()) backend_->follow(id, folder);
}

void ChangeNotifyService::unfollow(quint32 id, const QString& folder)
{
    if (windows_.contains(id) && !folder.isEmpty()) backend_->unfollow(id, folder);
}

void ChangeNotifyService::announce(quint32 eventMask, const ItemIdList* first, const ItemIdList* second)
{
    backend_->announce(eventMask, first ? *first : ItemIdList(), second ? *second : ItemIdList());
}

void ChangeNotifyService::deliverPending()
{
    std::deque<ChangeNotice> fresh = backend_->take();
    for (ChangeNotice& n : fresh) ready_.push_back(std::move(n));
    // One at a time from the shared queue: a window that runs a nested event loop goes on
    // with the notices after its own, in order.
    while (!ready_.empty()) {
        ChangeNotice n = std::move(ready_.front());
        ready_.pop_front();
        ShellNoticeWindow* window = windows_.value(n.registration);
        if (!window) continue;
        switch (n.kind) {
        case ChangeNotice::Kind::Notice:
            // A window that falls too far behind is held back; this notice was read before.
            if (!heldBack_.contains(n.registration) && window->shellNoticeBacklog() >= backlogLimit_) {
                heldBack_.insert(n.registration);
                backend_->holdBack(n.registration);
                catchUpTimer_.start();
            }
            window->shellNotice(n.first.isNull() ? nullptr : &n.first, n.second.isNull() ? nullptr : &n.second, n.mask);
            break;
        case ChangeNotice::Kind::Problem: window->shellNoticeError(n.text); break;
        case ChangeNotice::Kind::Watching: window->shellNoticeWatching(n.text); break;
        case ChangeNotice::Kind::Refused:
            windows_.remove(n.registration);
            heldBack_.remove(n.registration);
            window->shellNoticeRefused(n.text);
            break;
        case ChangeNotice::Kind::Followed: window->shellNoticeFollowed(n.text); break;
        case ChangeNotice::Kind::Polled: window->shellNoticePolled(n.text); break;
        case ChangeNotice::Kind::Overflowed: window->shellNoticeOverflow(n.found); break;
        case ChangeNotice::Kind::HeldBack:
            heldBack_.insert(n.registration);
            catchUpTimer_.start();
            break;
        }
    }
}

void ChangeNotifyService::catchUpHeldBack()
{
    for (auto it = heldBack_.begin(); it != heldBack_.end();) {
        ShellNoticeWindow* window = windows_.value(*it);
        if (!window) {
            it = heldBack_.erase(it);
        } else if (window->shellNoticeBacklog() == 0) {
            backend_->catchUp(*it);
            it = heldBack_.erase(it);
        } else {
            ++it;
        }
    }
    if (heldBack_.isEmpty()) catchUpTimer_.stop();
}

int ChangeNotifyService::watchedFolderCount() const { return backend_->figures().watchedFolders; }

ChangeBackend::Figures ChangeNotifyService::figures() const { return backend_->figures(); }

QString ChangeNotifyService::startError() const { return backend_->startError(); }

void ChangeNotifyService::setBacklogLimit(int notices)
{
    backlogLimit_ = qMax(1, notices);
    backend_->setQueueLimit(backlogLimit_);
}

void ChangeNotifyService::pauseReading(bool paused) { backend_->pauseReading(paused); }

void ChangeNotifyService::failReader(const QString& reason) { backend_->failReader(reason); }
