#include "platform/files/OpenFolder.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

struct OpenFolder::Handle {
    explicit Handle(int d) : fd(d) {}
    ~Handle() { ::close(fd); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int fd;
};

OpenFolder::OpenFolder(QString path, int descriptor) : path_(std::move(path))
{
    if (descriptor >= 0) handle_ = std::make_shared<Handle>(descriptor);
}

OpenFolder OpenFolder::open(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return OpenFolder(path, fd);
}

OpenFolder OpenFolder::adopt(const QString& path, int descriptor) { return OpenFolder(path, descriptor); }

int OpenFolder::handle() const { return handle_ ? handle_->fd : -1; }
