#include "platform/ChangeNotifyService.h"

#include "platform/InotifyBackend.h"
#include "platform/ShellNamespace.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

ChangeNotifyService*& theService()
{
    static ChangeNotifyService* service = nullptr;
    return service;
}

void dropService()
{
    delete theService();
    theService() = nullptr;
}

}  // namespace

ChangeNotifyService& ChangeNotifyService::instance()
{
    ChangeNotifyService*& s = theService();
    if (!s) {
        s = new ChangeNotifyService;
        qAddPostRoutine(dropService);  // the reader thread stops before the application goes
    }
    return *s;
}

ChangeNotifyService::ChangeNotifyService()
{
    backend_ = std::make_unique<InotifyBackend>([this] {
        QMetaObject::invokeMethod(this, &ChangeNotifyService::deliverPending, Qt::QueuedConnection);
    });
    for (const QString& folder : ShellNamespace::enumeratedFolders()) backend_->folderEnumerated(folder);
    ShellNamespace::setEnumerationObserver([this](const QString& folder) { backend_->folderEnumerated(folder); });
}

ChangeNotifyService::~ChangeNotifyService()
{
    ShellNamespace::setEnumerationObserver(nullptr);
    backend_.reset();
}

quint32 ChangeNotifyService::registerWindow(ShellNoticeWindow* window, quint32 eventMask, const SHChangeNotifyEntry& entry)
{
    if (!window) return 0;
    WatchRequest request;
    request.mask = eventMask;
    request.recursive = entry.fRecursive;
    const ItemIdList& list = entry.pidl;
    if (list.isNull()) {
        request.scope = WatchRequest::Scope::Everything;
        request.allVolumes = true;
    } else if (list.lastKind() == ItemIdList::Kind::Computer) {
        request.scope = WatchRequest::Scope::Computer;
        request.allVolumes = true;
    } else {
        const QString path = ShellNamespace::fileSystemPathOf(list);
        const QString real = QFileInfo(path).canonicalFilePath();
        if (real.isEmpty()) return 0;
        request.scope = WatchRequest::Scope::Folder;
        request.folder = real;
        request.allVolumes = list.isDesktop();
    }
    const quint32 id = nextId_++;
    if (!backend_->add(id, request)) return 0;
    windows_.insert(id, window);
    return id;
}

bool ChangeNotifyService::deregister(quint32 id)
{
    if (!windows_.remove(id)) return false;
    backend_->remove(id);
    for (auto it = ready_.begin(); it != ready_.end();) it = it->registration == id ? ready_.erase(it) : it + 1;
    return true;
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
        if (!n.error.isEmpty()) {
            window->shellNoticeError(n.error);
        } else {
            window->shellNotice(n.first.isNull() ? nullptr : &n.first, n.second.isNull() ? nullptr : &n.second, n.mask);
        }
    }
}

int ChangeNotifyService::watchedFolderCount() const { return backend_->watchedFolders(); }

QString ChangeNotifyService::startError() const { return backend_->startError(); }

void ChangeNotifyService::pauseReading(bool paused) { backend_->pauseReading(paused); }

quint32 SHChangeNotifyRegister(ShellNoticeWindow* window, int sources, quint32 events, const SHChangeNotifyEntry& entry)
{
    Q_UNUSED(sources);
    return ChangeNotifyService::instance().registerWindow(window, events, entry);
}

bool SHChangeNotifyDeregister(quint32 id)
{
    // After the application has gone there is no service left to deregister from.
    ChangeNotifyService* service = theService();
    return service && service->deregister(id);
}

void SHChangeNotify(quint32 eventId, const ItemIdList* first, const ItemIdList* second)
{
    ChangeNotifyService::instance().announce(eventId, first, second);
}
