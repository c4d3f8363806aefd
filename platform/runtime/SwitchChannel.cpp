#include "platform/runtime/SwitchChannel.h"

#include "platform/runtime/RuntimeFolder.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr qsizetype MaxLine = 256;
constexpr int IdleConnectionMs = 5000;

QString systemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QByteArray socketFileName(const QString& name)
{
    const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return "jcl-" + digest + ".sock";
}

// The address reaches the socket through the opened folder, so it is short whatever the folder's
// path, and a folder swapped in under that path is never used.
bool makeAddress(const QByteArray& file, sockaddr_un* address)
{
    const int folder = RuntimeFolder::current().handle;
    if (folder < 0) return false;
    const QByteArray path = RuntimeFolder::reachableName(folder, file);
    if (path.size() >= qsizetype(sizeof address->sun_path)) return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.constData(), path.size());
    return true;
}

bool peerIsThisUser(int fd)
{
    ucred peer {};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

bool waitReady(int fd, short events, const QDeadlineTimer& deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, int(qMax<qint64>(deadline.remainingTime(), 0)));
        if (rc > 0) return true;
        if (rc == 0 || errno != EINTR) return false;
    }
}

std::optional<QByteArray> askOn(int fd, const QByteArray& file, const QByteArray& request, const QDeadlineTimer& deadline)
{
    sockaddr_un address {};
    if (!makeAddress(file, &address)) return std::nullopt;
    // A listener whose backlog is full turns callers away for a moment.
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired()) return std::nullopt;
        QThread::msleep(5);
    }
    if (!peerIsThisUser(fd)) return std::nullopt;
    const QByteArray line = request + '\n';
    for (qsizetype sent = 0; sent < line.size();) {
        if (!waitReady(fd, POLLOUT, deadline)) return std::nullopt;
        const ssize_t n = ::send(fd, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return std::nullopt;
        if (n > 0) sent += n;
    }
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!waitReady(fd, POLLIN, deadline)) return std::nullopt;
        char buffer[MaxLine + 1];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return std::nullopt;
        if (n > 0) answer.append(buffer, n);
        if (answer.size() > MaxLine) return std::nullopt;
    }
    return answer.left(answer.indexOf('\n'));
}

}  // namespace

namespace SwitchChannel {

QString socketPath(const QString& name)
{
    const QString file = QString::fromLatin1(socketFileName(name));
    const QString folder = RuntimeFolder::current().path;
    return folder.isEmpty() ? file : folder + u'/' + file;
}

std::optional<QByteArray> ask(const QString& name, const QByteArray& request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const int folder = RuntimeFolder::current().handle;
    const QByteArray file = socketFileName(name);
    struct stat st {};
    // Only a socket of this user's is asked anything.
    if (folder < 0 || ::fstatat(folder, file.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISSOCK(st.st_mode) ||
        st.st_uid != ::geteuid())
        return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::nullopt;
    const auto answer = askOn(fd, file, request, deadline);
    ::close(fd);
    return answer;
}

}  // namespace SwitchChannel

SwitchListener::SwitchListener(QObject* parent) : QObject(parent) {}

// Leave no socket file behind for the next copy to trip over.
SwitchListener::~SwitchListener() { close(); }

void SwitchListener::close()
{
    delete notifier_;
    notifier_ = nullptr;
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    const int folder = RuntimeFolder::current().handle;
    struct stat st {};
    // Only our own socket goes: a later copy may have its own under the name by now.
    if (folder >= 0 && ::fstatat(folder, file_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        quint64(st.st_dev) == fileDevice_ && quint64(st.st_ino) == fileInode_)
        ::unlinkat(folder, file_.constData(), 0);
}

bool SwitchListener::listen(const QString& name)
{
    close();
    error_.clear();
    const RuntimeFolder::Folder& folder = RuntimeFolder::current();
    if (folder.handle < 0) {
        error_ = QStringLiteral("no private folder for the channel: ") + folder.error;
        return false;
    }
    file_ = socketFileName(name);
    struct stat st {};
    if (::fstatat(folder.handle, file_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (st.st_uid != ::geteuid() || S_ISDIR(st.st_mode)) {
            error_ = QStringLiteral("%1/%2 is in the way and not ours to remove").arg(folder.path, QString::fromLatin1(file_));
            return false;
        }
        ::unlinkat(folder.handle, file_.constData(), 0);
    }
    sockaddr_un address {};
    if (!makeAddress(file_, &address)) {
        error_ = QStringLiteral("no address for the channel");
        return false;
    }
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error_ = systemError(errno);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return false;
    }
    // Best effort: the folder is private already, the mode only narrows it further.
    if (::fchmodat(folder.handle, file_.constData(), 0600, 0) != 0) {
    }
    if (::fstatat(folder.handle, file_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        fileDevice_ = st.st_dev;
        fileInode_ = st.st_ino;
    }
    if (::listen(fd_, 16) != 0) {
        error_ = systemError(errno);
        close();
        return false;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SwitchListener::accept);
    return true;
}

void SwitchListener::accept()
{
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (!peerIsThisUser(fd)) {
            ::close(fd);
            continue;
        }
        auto* socket = new QLocalSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A peer that never finishes its line is dropped instead of held open.
        QTimer::singleShot(IdleConnectionMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->property("answered").toBool()) return;
            QByteArray line = socket->property("line").toByteArray() + socket->read(MaxLine + 1);
            const qsizetype end = line.indexOf('\n');
            if (end < 0) {
                if (line.size() > MaxLine) socket->abort();
                else socket->setProperty("line", line);
                return;
            }
            socket->setProperty("answered", true);
            const QByteArray answer = handler_ ? handler_(line.left(end)) : QByteArray();
            socket->write(answer + '\n');
            socket->disconnectFromServer();
        });
    }
}
