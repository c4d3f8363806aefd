// The program's change notification service, over the inotify backend, and the shell's calls
// that reach it: the service itself knows only the backend's interface.
#include "platform/changes/ChangeNotifyService.h"

#include <QCoreApplication>

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
        s = new ChangeNotifyService(&ChangeBackend::create);
        qAddPostRoutine(dropService);  // the backend's threads stop before the application goes
    }
    return *s;
}

void ChangeNotifyService::setBeforeFolderRead(std::function<void(const QString& folder)> hook)
{
    ChangeBackend::setBeforeFolderRead(std::move(hook));
}

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
