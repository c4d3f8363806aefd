#include "platform/files/SiblingCopy.h"

#include <QRandomGenerator>

#include <cerrno>

#include <unistd.h>

namespace SiblingCopy {

QByteArray name(const QByteArray& target)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray copy = target + Mark;
    for (int i = 0; i < 6; ++i) copy += alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet - 1))];
    return copy;
}

bool writeAll(int fd, const QByteArray& content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace SiblingCopy
