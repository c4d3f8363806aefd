#include "actions/EventLog.h"

#include "actions/EventLogFiles.h"
#include "core/Banner.h"
#include "platform/AppException.h"
#include "platform/LocaleText.h"

#include <cerrno>
#include <unistd.h>

namespace {

[[noreturn]] void failWrite(int err) { throw AppException(EventLogFiles::causeOf(err)); }

// One line, written and on its way to the file before the next step. A line the disk has no
// room for is taken back whole: a piece of it would run into the next line written.
void writeLine(int fd, const QString& line)
{
    QByteArray bytes = LocaleText::encode(LocaleText::oneLine(line));
    bytes += "\r\n";
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
            failWrite(err);
        }
        p += n;
        left -= n;
    }
}

}  // namespace


void WriteToLog(const Twatcher& watch, const QString& line)
{
    if (!watch.WriteToLogFile) return;
    // The editor never stores an empty name; a hand-edited settings file can. Say so rather
    // than write somewhere the user never chose.
    if (watch.LogFile.isEmpty())
        throw AppException(QStringLiteral("No log file is set for watch ") + LocaleText::oneLine(watch.Name));

    const EventLogFiles::Handle file = EventLogFiles::open(watch.LogFile);
    try {
        if (file.created) {
            writeLine(file.fd, BannerLine1());
            writeLine(file.fd, BannerLine2());
        }
        writeLine(file.fd, line);
    } catch (...) {
        // A failed file is closed at once: the next line opens it afresh.
        if (file.closeAfterLine) {
            ::close(file.fd);
        } else {
            EventLogFiles::discard(watch.LogFile);
        }
        throw;
    }
    if (file.closeAfterLine && ::close(file.fd) != 0 && errno != EINTR) failWrite(errno);
}
