#include "app/ResponsivenessProbe.h"
#include "app/StartUp.h"
#include "platform/AutoAnswerBoxes.h"
#include "platform/TerminationSignals.h"
#include "ui/frmMain.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vesmor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vesmor 2.5"));
    QApplication::setQuitOnLastWindowClosed(false);
    installAutoAnswerFromEnvironment();

    TForm1 form;
    TerminationSignals::install([&form] { form.close(); });
    if (!FormCreate(form, QApplication::arguments().mid(1))) return 1;
    form.show();
    ResponsivenessProbe::installFromEnvironment();
    const int code = QApplication::exec();
    // The probe reports when the application object lets go of it.
    return code;
}
