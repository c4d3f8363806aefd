#include "app/ResponsivenessProbe.h"
#include "app/StartUp.h"
#include "instance/InstanceGuard.h"
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

    // A second copy ends here, before it touches the settings folder.
    auto jvpnstncs1 = guardStart();
    if (!jvpnstncs1) return 1;

    TForm1 form;
    jvpnstncs1->setMainWindow(&form, [&form] { form.trycn1Click(); });
    TerminationSignals::install([&form] { form.close(); });
    if (!FormCreate(form, QApplication::arguments().mid(1))) return 1;
    // Closed (by a signal) while start-up waited for a watch's folders: already over.
    if (form.closing()) return 0;
    form.show();
    ResponsivenessProbe::installFromEnvironment();
    return QApplication::exec();
}
