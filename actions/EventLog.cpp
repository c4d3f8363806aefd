#include "actions/EventLog.h"

#include "core/Banner.h"
#include "platform/AppendFiles.h"
#include "platform/AppException.h"
#include "platform/LocaleText.h"

namespace {

// One line, written and on its way to the file before the next step.
void writeLine(const AppendFiles::Handle& file, const QString& line)
{
    QByteArray bytes = LocaleText::encode(LocaleText::oneLine(line));
    bytes += "\r\n";
    AppendFiles::appendLine(file, bytes);
}

}  // namespace


void WriteToLog(const Twatcher& watch, const QString& line)
{
    if (!watch.WriteToLogFile) return;
    // The editor never stores an empty name; a hand-edited settings file can. Say so rather
    // than write somewhere the user never chose.
    if (watch.LogFile.isEmpty())
        throw AppException(QStringLiteral("No log file is set for watch ") + LocaleText::oneLine(watch.Name));

    const AppendFiles::Handle file = AppendFiles::open(watch.LogFile);
    try {
        if (file.created) {
            writeLine(file, BannerLine1());
            writeLine(file, BannerLine2());
        }
        writeLine(file, line);
    } catch (...) {
        // A failed file is closed at once: the next line opens it afresh.
        AppendFiles::discardAfterFailure(watch.LogFile, file);
        throw;
    }
    if (file.closeAfterLine) AppendFiles::closeLineHandle(file);
}
