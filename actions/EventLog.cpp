#include "actions/EventLog.h"

#include "core/Banner.h"
#include "platform/AppException.h"
#include "platform/LocaleText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Step { Create, Open, Write, Close };

QString causeOf(int err, Step step)
{
    switch (err) {
    case ENOENT: return step == Step::Create ? QStringLiteral("Path not found") : QStringLiteral("File not found");
    case ENOTDIR: return QStringLiteral("Path not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return QStringLiteral("File access denied");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("Disk full");
    case EMFILE:
    case ENFILE: return QStringLiteral("Too many open files");
    default: return QStringLiteral("I/O error %1").arg(err);
    }
}

[[noreturn]] void fail(int err, Step step) { throw AppException(causeOf(err, step)); }

// One line, written and on its way to the file before the next step. A line the disk has no
// room for is taken back whole: a piece of it would run into the next line written.
void writeLine(int fd, const QString& line)
{
    const QByteArray bytes = LocaleText::encode(LocaleText::oneLine(line)) + "\r\n";
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            // Appended only: the file's end less what went in of this line is where it began.
            const off_t end = left < bytes.size() ? ::lseek(fd, 0, SEEK_END) : -1;
            if (end >= 0) {
                [[maybe_unused]] const int cut = ::ftruncate(fd, end - off_t(bytes.size() - left));
            }
            ::close(fd);  // a failed write must not leak the handle, or later events run out of them
            fail(err, Step::Write);
        }
        p += n;
        left -= n;
    }
}

}  // namespace


void WriteToLog(Twatcher watch, const QString& line)
{
    if (!watch.WriteToLogFile) return;
    // The editor never stores an empty name; a hand-edited settings file can. Say so rather
    // than write somewhere the user never chose.
    if (watch.LogFile.isEmpty())
        throw AppException(QStringLiteral("No log file is set for watch ") + LocaleText::oneLine(watch.Name));

    const QByteArray path = QFile::encodeName(watch.LogFile);
    struct stat st {};
    const bool exists = ::stat(path.constData(), &st) == 0;

    int fd = -1;
    bool created = false;
    if (!exists) {
        // Exclusive create: a file that appears in the meantime is appended to, never emptied.
        fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            created = true;
        } else if (errno == EEXIST) {
            fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
            // A link that leads nowhere: create its target, as a plain name would be.
            if (fd < 0 && errno == ENOENT) {
                fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
                created = fd >= 0;
            }
        }
        if (fd < 0) fail(errno, Step::Create);
    } else {
        fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) fail(errno, Step::Open);
    }

    if (created) {
        writeLine(fd, BannerLine1());
        writeLine(fd, BannerLine2());
    }
    writeLine(fd, line);
    if (::close(fd) != 0 && errno != EINTR) fail(errno, Step::Close);
}
