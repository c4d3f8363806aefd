#include "actions/EventLog.h"

#include "core/Banner.h"
#include "platform/files/AppendFiles.h"
#include "platform/boxes/AppException.h"
#include "platform/text/LocaleText.h"

namespace {

QByteArray lineBytes(const QString& line)
{
    QByteArray bytes = LocaleText::encode(LocaleText::oneLine(line));
    bytes += "\r\n";
    return bytes;
}

}  // namespace

void WriteToLog(const Twatcher& watch, const QString& line, LogLineDue due)
{
    if (!watch.WriteToLogFile) return;
    // The editor never stores an empty name; a hand-edited settings file can. Say so rather
    // than write somewhere the user never chose.
    if (watch.LogFile.isEmpty())
        throw AppException(QStringLiteral("No log file is set for watch ") + LocaleText::oneLine(watch.Name));

    const AppendFiles::Handle file = AppendFiles::open(watch.LogFile);
    // The banner and the line go in together, or neither does.
    QByteArray bytes;
    if (file.created) bytes = lineBytes(BannerLine1()) + lineBytes(BannerLine2());
    bytes += lineBytes(line);
    if (file.closeAfterLine) {
        try {
            AppendFiles::appendLine(file, bytes);
        } catch (...) {
            AppendFiles::discardAfterFailure(watch.LogFile, file);
            throw;
        }
        AppendFiles::closeLineHandle(file);
        return;
    }
    AppendFiles::append(watch.LogFile, bytes,
                        due == LogLineDue::Now ? AppendFiles::When::Now : AppendFiles::When::ByTurnEnd);
}
