#include "actions/TRzLauncher.h"

#include "platform/programs/ProgramStarter.h"

TRzLauncher::TRzLauncher(QObject* AOwner) : QObject(AOwner) {}

int TRzLauncher::Execute()
{
    if (FileName.isEmpty()) return 0;
    hProcess_ = 0;
    static constexpr int showCommands[] = {ProgramStarter::ShowNormal, ProgramStarter::ShowMaximized,
                                           ProgramStarter::ShowMinNoActive, ProgramStarter::Hide};
    const ProgramStarter::Result r =
        ProgramStarter::start(Action, FileName, Parameters, StartDir, showCommands[int(ShowMode)]);
    if (r.error != ProgramStarter::Ok) return r.error;
    // The shell's instance value is only a success mark (> 32); the process id serves.
    hProcess_ = r.processId;
    return 0;
}
