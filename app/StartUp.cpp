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
    const QString folder = SettingsFolderService::settingsFolderPath();
    // A settings folder another user can write to could plant programs for us to run.
    if (SettingsFolderService::ensurePrivateFolder(folder) == SettingsFolderService::FolderState::NotPrivate) {
        ModalBoxes::error(QStringLiteral("The settings folder %1 belongs to another user or can be written by others; "
                                         "Vesmor will not use it.")
                              .arg(folder));
        return false;
    }
    SettingsFolder = folder;
    // The one running copy is the only writer: what a killed copy's save left is cleared.
    ProfileFile::removeUnfinishedWrites(SettingsFilePath());
    ModalBoxes::guarded([&] {
        CheckForIni();
        CreateWatchObjects(form.SlotBindings());
        LoadSettingsToWatchList();
        form.WriteToLiveLog(LiveLogColour::Black, BannerLine1());
        form.WriteToLiveLog(LiveLogColour::Black, BannerLine2());
        form.AssignGlyphs();
        const bool minimise = CheckForParameters(parameters);
        CheckForAutoRuns(form);
        if (minimise) form.tmr1->start();
    });
    return true;
}
