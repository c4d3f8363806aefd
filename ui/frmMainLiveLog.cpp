// The Live Log tab: Save and Clear.
#include "core/Banner.h"
#include "platform/boxes/AppException.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/boxes/FileDialogs.h"
#include "platform/files/FileSaving.h"
#include "platform/text/LocaleText.h"
#include "ui/GuardedBinding.h"
#include "ui/TLiveLogView.h"
#include "ui/frmMain.h"


void TForm1::btn2Click()
{
    FileDialogs::Request request;
    request.title = QStringLiteral("Save log as");
    request.fileName = dlgSave1FileName;
    request.filter = QStringLiteral("Text files (*.txt)|*.txt");
    request.defaultExtension = QStringLiteral("txt");
    const QString chosen = FileDialogs::getSaveFileName(request, this);
    if (chosen.isEmpty()) return;
    dlgSave1FileName = chosen;

    QByteArray text;
    for (const QString& line : edt1->lines()) text += LocaleText::encode(line) + "\r\n";

    // Written beside the file and renamed over it: a failed save never destroys a log saved
    // before, and a name planted by someone else (a link, a second name of one of the user's
    // files) never makes us write where they want.
    const FileSaving::Result saved = FileSaving::replace(chosen, text);
    if (saved.failed == FileSaving::Failed::Create)
        throw AppException(QStringLiteral("Cannot create file \"%1\". %2").arg(chosen, saved.cause));
    if (saved.failed == FileSaving::Failed::Write) throw AppException(QStringLiteral("Failed to Save Stream"));
    WriteToLiveLog(LiveLogColour::Blue, DateTimeStamp::now() + QStringLiteral(": Live log saved to: ") + chosen);
}

void TForm1::btn16Click()
{
    edt1->clearLines();
    WriteToLiveLog(LiveLogColour::Black, BannerLine1());
    WriteToLiveLog(LiveLogColour::Black, BannerLine2());
}

void TForm1::connectLiveLogHandlers()
{
    bind(btn2, &QPushButton::clicked, this, &TForm1::btn2Click);
    bind(btn16, &QPushButton::clicked, this, &TForm1::btn16Click);
}
