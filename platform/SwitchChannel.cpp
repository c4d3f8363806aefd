#include "platform/SwitchChannel.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr qsizetype MaxLine = 256;
constexpr int IdleConnectionMs = 5000;

QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        const QFileInfo info(runtime);
        if (info.isDir() && info.ownerId() == ::geteuid()) return QDir::cleanPath(info.absoluteFilePath());
    }
    return QDir::tempPath();
}

// A socket address holds about a hundred bytes, so the name is reduced to a digest.
QString socketFileName(const QString& name)
{
    const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QStringLiteral("jcl-%1.%2").arg(QString::fromLatin1(digest)).arg(::geteuid());
}

}  // namespace

namespace SwitchChannel {

QString socketPath(const QString& name) { return runtimeFolder() + u'/' + socketFileName(name); }

std::optional<QByteArray> ask(const QString& name, const QByteArray& request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath(name));
    if (!socket.waitForConnected(int(deadline.remainingTime()))) return std::nullopt;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return std::nullopt;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime()))) return std::nullopt;
        answer += socket.read(MaxLine);
        if (answer.size() > MaxLine) return std::nullopt;
    }
    return answer.left(answer.indexOf('\n'));
}

}  // namespace SwitchChannel

SwitchListener::SwitchListener(QObject* parent) : QObject(parent), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SwitchListener::accept);
}

SwitchListener::~SwitchListener()
{
    // Leave no socket file behind for the next copy to trip over.
    server_->close();
}

bool SwitchListener::listen(const QString& name)
{
    const QString path = SwitchChannel::socketPath(name);
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) {
        error_ = server_->errorString();
        return false;
    }
    return true;
}

void SwitchListener::accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
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
