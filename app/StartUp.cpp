#include "app/StartUp.h"

#include "app/CommandLine.h"
#include "core/Banner.h"
#include "core/SettingsFile.h"
#include "core/SettingsPaths.h"
#include "core/WatchLoader.h"
#include "core/WatchSlots.h"
#include "core/WatchStartStop.h"
#include "platform/ModalBoxes.h"
#include "platform/ProfileFile.h"
#include "platform/SettingsFolder.h"
#include "ui/frmMain.h"

#include <QTimer>

bool FormCreate(TForm1& form, const QStringList& parameters)
{
    using SettingsFolderService::FolderState;
    // A new account has no ~/.cache yet.
    SettingsFolderService::createMissingCacheFolders();
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
    SettingsFolder = folder;
    SettingsFolderOpened = checked.folder;
    // Copies that a killed save left are cleared; a save in progress (another copy of the
    // program at another path) is left alone.
    ProfileFile::removeUnfinishedWrites(SettingsFile());
    ModalBoxes::guarded([&] {
        CheckForIni();
        CreateWatchObjects(form.SlotBindings());
        LoadSettingsToWatchList(form);
        form.WriteToLiveLog(LiveLogColour::Black, BannerLine1());
        form.WriteToLiveLog(LiveLogColour::Black, BannerLine2());
        form.AssignGlyphs();
        const bool minimise = CheckForParameters(form, parameters);
        CheckForAutoRuns(form);
        if (minimise) form.tmr1->start();
    });
    return true;
}
