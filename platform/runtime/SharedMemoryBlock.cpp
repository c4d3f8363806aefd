#include "platform/runtime/SharedMemoryBlock.h"

#include "platform/runtime/RuntimeFolder.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names are single path components of at most NAME_MAX bytes.
constexpr qsizetype MaxNameBytes = 250;

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// What makes an object found under one of our names unfit to be used as our block.
QString whyNotOurs(const struct stat& st)
{
    if (!S_ISREG(st.st_mode)) return QStringLiteral("it is not a plain file");
    if (st.st_uid != ::geteuid()) return QStringLiteral("it belongs to another user");
    // Another name for the same file could be one of the user's own files.
    if (st.st_nlink != 1) return QStringLiteral("it has other names too");
    return {};
}

}  // namespace

SharedMemoryBlock::~SharedMemoryBlock() { close(); }

QByteArray SharedMemoryBlock::fileName(const QString& name)
{
    QByteArray base = name.toUtf8();
    base.replace('/', '_');
    if (base.isEmpty() || base.startsWith('.')) base.prepend('_');
    if (base.size() > MaxNameBytes) {
        const QByteArray digest = QCryptographicHash::hash(base, QCryptographicHash::Sha256).toHex().left(32);
        base = base.left(MaxNameBytes - digest.size() - 1) + '~' + digest;
    }
    return base;
}

QString SharedMemoryBlock::systemName(const QString& name)
{
    const QString file = QString::fromUtf8(fileName(name));
    const QString folder = RuntimeFolder::current().path;
    return folder.isEmpty() ? file : folder + u'/' + file;
}

bool SharedMemoryBlock::open(const QString& name, std::size_t size)
{
    close();
    failure_ = Failure::None;
    error_.clear();
    auto fail = [&](Failure f, const QString& why) {
        failure_ = f;
        error_ = why;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return false;
    };

    const RuntimeFolder::Folder& folder = RuntimeFolder::current();
    if (folder.handle < 0) return fail(Failure::Object, QStringLiteral("no private folder for it: ") + folder.error);
    // No link is followed and nothing waits on a pipe: the name must hold a block of ours.
    fd_ = ::openat(folder.handle, fileName(name).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                   0600);
    if (fd_ < 0) {
        const int code = errno;
        return fail(Failure::Object, code == ELOOP ? QStringLiteral("it is a link") : systemError(code));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(Failure::Object, systemError(errno));
    if (const QString why = whyNotOurs(st); !why.isEmpty()) return fail(Failure::Object, why);
    // Growing is the same for every opener, so racing openers agree; the new bytes are zeros.
    // The room is taken now: a page the disk has no room for would end the program when touched.
    if (static_cast<std::size_t>(st.st_size) < size) {
        if (const int rc = ::posix_fallocate(fd_, 0, static_cast<off_t>(size)); rc != 0)
            return fail(Failure::Object, systemError(rc));
    }

    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (view == MAP_FAILED) return fail(Failure::View, systemError(errno));
    data_ = view;
    size_ = size;
    name_ = name;
    return true;
}

void SharedMemoryBlock::close()
{
    if (data_) ::munmap(data_, size_);
    if (fd_ >= 0) ::close(fd_);
    data_ = nullptr;
    size_ = 0;
    fd_ = -1;
}

bool SharedMemoryBlock::removedMeanwhile() const
{
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

void SharedMemoryBlock::removeName()
{
    const int folder = RuntimeFolder::current().handle;
    struct stat mine {}, named {};
    const QByteArray file = fileName(name_);
    if (fd_ < 0 || folder < 0 || ::fstat(fd_, &mine) != 0 ||
        ::fstatat(folder, file.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (mine.st_dev == named.st_dev && mine.st_ino == named.st_ino) ::unlinkat(folder, file.constData(), 0);
}

bool SharedMemoryBlock::exists(const QString& name)
{
    const int folder = RuntimeFolder::current().handle;
    struct stat st {};
    return folder >= 0 && ::fstatat(folder, fileName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool SharedMemoryBlock::remove(const QString& name)
{
    const int folder = RuntimeFolder::current().handle;
    return folder >= 0 && ::unlinkat(folder, fileName(name).constData(), 0) == 0;
}
