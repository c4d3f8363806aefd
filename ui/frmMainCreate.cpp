#include "ui/FormCreate.h"

#include "core/Banner.h"
#include "core/SettingsFile.h"
#include "core/SettingsPaths.h"
#include "core/WatchLoader.h"
#include "core/WatchSlots.h"
#include "core/WatchStartStop.h"
#include "platform/text/DateTimeStamp.h"
#include "platform/boxes/ModalBoxes.h"
#include "platform/settings/ProfileFile.h"
#include "platform/settings/SettingsFolder.h"
#include "ui/frmMain.h"

#include <QTimer>

bool FormCreate(TForm1& form, const QStringList& parameters, const ParameterCheck& checkParameters)
{
    using SettingsFolderService::FolderState;
    // A new account has no ~/.config yet.
    SettingsFolderService::createMissingConfigFolders();
    const QString folder = SettingsFolderService::settingsFolderPath();
    // The folder is judged once and then used only through the opening that was judged: a
    // settings file another user can plant or swap in would run that user's programs as us.
    const SettingsFolderService::CheckedFolder checked = SettingsFolderService::openPrivateFolder(folder);
    if (checked.state == FolderState::NotPrivate) {
        ModalBoxes::error(QStringLiteral("The settings folder %1 belongs to another user or can be written by others; "
                                         "Vesmor will not use it.")
                              .arg(folder));
        return false;
    }
    if (checked.state == FolderState::NotInspectable) {
        ModalBoxes::error(QStringLiteral("The settings folder %1 can't be inspected; Vesmor will not use it.").arg(folder));
        return false;
    }
    // Without the folder no watch could be loaded or stored: better no program than one that
    // loses whatever the user sets up.
    if (checked.state == FolderState::CreateFailed) {
        ModalBoxes::error(QStringLiteral("The settings folder %1 can't be made (%2); Vesmor can't keep its watches without it.")
                              .arg(folder, checked.reason));
        return false;
    }
    SettingsFolder = folder;
    SettingsFolderOpened = checked.folder;
    // Before the sample could take its place.
    const SettingsFolderService::FormerSettingsMove former = SettingsFolderService::moveFormerSettingsFile(SettingsFolderOpened, QStringLiteral("settings.cfg"));
    // Copies that a killed save left are cleared; a save in progress (another copy of the
    // program at another path) is left alone.
    ProfileFile::removeUnfinishedWrites(SettingsFile());
    // A step that fails (a settings file that can't be written) is shown and the rest still run:
    // the watches it allows are loaded, shown and started.
    ModalBoxes::guarded([] { CheckForIni(); });
    CreateWatchObjects(form.SlotBindings());
    form.WriteToLiveLog(LiveLogColour::Black, BannerLine1());
    form.WriteToLiveLog(LiveLogColour::Black, BannerLine2());
    if (!former.from.isEmpty())
        form.WriteToLiveLog(LiveLogColour::Blue, DateTimeStamp::now() + QStringLiteral(": Settings moved from ") + former.from +
                                                     QStringLiteral(" to ") + SettingsFilePath() +
                                                     QStringLiteral(", where cache cleaners leave them alone"));
    if (!former.left.isEmpty())
        form.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": Settings not moved from ") + former.left +
                                                    QStringLiteral(" (") + former.why + u')');
    // A file that can't be read would load as empty: no watch, and nothing to say why.
    const QString unreadable = SettingsFolderService::unreadableReason(SettingsFolderOpened, QStringLiteral("settings.cfg"));
    if (!unreadable.isEmpty())
        form.WriteToLiveLog(LiveLogColour::Red, DateTimeStamp::now() + QStringLiteral(": Settings file ") + SettingsFilePath() +
                                                    QStringLiteral(" can't be read (") + unreadable +
                                                    QStringLiteral("): no watch is loaded from it, and it is not written over"));
    ModalBoxes::guarded([&] { LoadSettingsToWatchList(form); });
    form.AssignGlyphs();
    bool minimise = false;
    QStringList selected;
    if (checkParameters) ModalBoxes::guarded([&] { minimise = checkParameters(form, parameters, &selected); });
    ModalBoxes::guarded([&] { CheckForAutoRuns(form, selected); });
    if (minimise) form.tmr1->start();
    return true;
}
