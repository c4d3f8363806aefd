#include "platform/SharedMemoryBlock.h"

#include <QCryptographicHash>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Object names are single path components of at most NAME_MAX bytes.
constexpr qsizetype MaxNameBytes = 250;

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

}  // namespace

SharedMemoryBlock::~SharedMemoryBlock() { close(); }

QByteArray SharedMemoryBlock::nativeName(const QString& name)
{
    // The user id keeps the blocks of different users apart, as sessions do elsewhere.
    const QByteArray suffix = '.' + QByteArray::number(::geteuid());
    QByteArray base = name.toUtf8();
    base.replace('/', '_');
    if (base.size() + suffix.size() + 1 > MaxNameBytes) {
        const QByteArray digest = QCryptographicHash::hash(base, QCryptographicHash::Sha256).toHex().left(32);
        base = base.left(MaxNameBytes - suffix.size() - digest.size() - 3) + '~' + digest;
    }
    return '/' + base + suffix;
}

QString SharedMemoryBlock::systemName(const QString& name) { return QString::fromUtf8(nativeName(name)); }

bool SharedMemoryBlock::open(const QString& name, std::size_t size)
{
    close();
    failure_ = Failure::None;
    error_.clear();
    const QByteArray native = nativeName(name);
    auto fail = [&](Failure f, const QString& why) {
        failure_ = f;
        error_ = why;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return false;
    };

    fd_ = ::shm_open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return fail(Failure::Object, systemError(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(Failure::Object, systemError(errno));
    // Anyone may plant a name in the shared namespace; a block of another user is not ours.
    if (st.st_uid != ::geteuid()) return fail(Failure::Object, QStringLiteral("it belongs to another user"));
    // Growing is the same for every opener, so racing openers agree; the new bytes are zeros.
    if (static_cast<std::size_t>(st.st_size) < size && ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        return fail(Failure::Object, systemError(errno));

    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (view == MAP_FAILED) return fail(Failure::View, systemError(errno));
    data_ = view;
    size_ = size;
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

bool SharedMemoryBlock::exists(const QString& name)
{
    const int fd = ::shm_open(nativeName(name).constData(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool SharedMemoryBlock::remove(const QString& name) { return ::shm_unlink(nativeName(name).constData()) == 0; }
