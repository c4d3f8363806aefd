#include "app/CommandLine.h"
#include "app/ResponsivenessProbe.h"
#include "app/CommandLine.h"
#include "ui/FormCreate.h"
#include "instance/InstanceGuard.h"
#include "platform/files/AppendFiles.h"
#include "platform/boxes/AutoAnswerBoxes.h"
#include "platform/text/PathBytes.h"
#include "platform/boxes/TerminationSignals.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // The parameters are the program's own: Qt is handed none of them, so that its options
    // (-reverse, -style, -platform ...) are neither taken out of the command line nor obeyed.
    // Read as the settings file's names are, so that a watch whose name holds a byte that is
    // not UTF-8 can be picked too.
    QStringList parameters;
    for (int i = 1; i < argc; ++i) parameters << PathBytes::decode(argv[i], qsizetype(std::strlen(argv[i])));
    // Answered before the toolkit starts, so that they work without a display too.
    if (const std::optional<QString> answer = CommandLineAnswer(parameters)) {
        std::fputs(answer->toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Vesmor"));
    // No display name: Qt would append it to every window's caption ("Information — Vesmor 2.5").
    QApplication::setApplicationVersion(QStringLiteral("2.5"));
    // Lets the desktop match the window to its menu entry and icon (the Wayland app id).
    QApplication::setDesktopFileName(QStringLiteral("org.vesmor.Vesmor"));
    QApplication::setQuitOnLastWindowClosed(false);
    installAutoAnswerFromEnvironment();

    // A second copy ends here, before it touches the settings folder.
    auto jvpnstncs1 = guardStart();
    if (!jvpnstncs1) return 1;

    TForm1 form;
    jvpnstncs1->setMainWindow(&form, [&form] { form.trycn1Click(); });
    // Log lines still waiting for the turn's end go in first: a close held up past its grace
    // ends the program at once.
    TerminationSignals::install([&form] {
        AppendFiles::closeAll();
        form.close();
    });
    if (!FormCreate(form, parameters, CheckForParameters)) return 1;
    // Closed (by a signal) while start-up waited for a watch's folders: already over.
    if (form.closing()) return 0;
    form.show();
    ResponsivenessProbe::installFromEnvironment();
    return QApplication::exec();
}
