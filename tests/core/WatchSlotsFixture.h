#pragma once
#include "core/SettingsFile.h"
#include "core/SettingsPaths.h"
#include "core/WatchLoader.h"
#include "core/WatchSlots.h"
#include "core/WatchStartStop.h"
#include "notify/TStShellItem.h"
#include "notify/TStShellNotification.h"
#include "notify/TStShellTreeView.h"
#include "platform/boxes/ModalBoxes.h"
#include "support/BoxRecorder.h"
#include "support/QtPrinters.h"
#include "support/RecordingWatchWindow.h"
#include "support/TemporarySettings.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

// The window core reports to, with a real folder tree: selecting a stored folder walks the
// shell namespace as the main window's tree does, and fails the same way.
class TreeWindow : public RecordingWatchWindow {
public:
    TStShellTreeView tree;

    void SelectFolderInTree(const QString& path) override
    {
        selections << path;
        tree.SelectFolder(path);
    }
    std::optional<TreeFolder> SelectedTreeFolder() override
    {
        const TStShellFolder* folder = tree.SelectedFolder();
        if (!folder) return std::nullopt;
        return TreeFolder{folder->IsFileFolder(), folder->Path(), folder->Pidl()};
    }
    void ResetFolderSelection() override
    {
        ++resets;
        tree.SelectSpecialFolder(sfNone);
    }
};

// A fresh settings folder in a temporary folder, boxes answered and recorded, and the four slots
// bound to monitors of their own, loaded and auto-started as start-up does it: core alone, with
// the window played by TreeWindow.
class WatchSlotsTest : public ::testing::Test, public TemporarySettings {
protected:
    BoxRecorder boxes;
    std::unique_ptr<TreeWindow> window;
    std::array<std::unique_ptr<TStShellNotification>, SlotCount> monitors;
    std::array<QStringList, SlotCount> created;  // what each slot's monitor reported created

    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        SettingsFolder = temp.path() + "/VSM25";
    }
    void TearDown() override { unbind(); }

    // Writes the settings file (the sample section comes when `content` is null) and starts.
    void start(const char* content = nullptr, const QStringList& alsoStart = {})
    {
        unbind();
        QDir().mkpath(SettingsFolder);
        if (content) {
            QFile f(file());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        launch(alsoStart);
        boxes.clear();
    }
    // The steps of start-up that are core's, each shown in a box when it fails, none cutting
    // the others short.
    void launch(const QStringList& alsoStart = {})
    {
        unbind();
        window = std::make_unique<TreeWindow>();
        std::array<SlotControls, SlotCount> controls{};
        for (int n = 1; n <= SlotCount; ++n) {
            monitors[size_t(n - 1)] = std::make_unique<TStShellNotification>();
            monitors[size_t(n - 1)]->OnFileCreate = [this, n](TObject*, TStShellItem* item) { created[size_t(n - 1)] << item->Path(); };
            controls[size_t(n - 1)].Monitor = monitors[size_t(n - 1)].get();
        }
        ModalBoxes::guarded([] { CheckForIni(); });
        CreateWatchObjects(controls);
        ModalBoxes::guarded([&] { LoadSettingsToWatchList(*window); });
        ModalBoxes::guarded([&] { CheckForAutoRuns(*window, alsoStart); });
    }
    // The Start/Stop button of slot n, as the window binds it; false when the slot's watch is
    // gone from the file.
    bool press(int n)
    {
        bool stored = true;
        ModalBoxes::guarded([&] { stored = StartStopWatch(*window, n); });
        return stored;
    }
    void unbind()
    {
        CreateWatchObjects({});
        for (auto& m : monitors) m.reset();
        for (QStringList& c : created) c.clear();
        window.reset();
    }

    TStShellNotification& monitor(int n) { return *monitors[size_t(n - 1)]; }
    RecordingWatchWindow::Panel panel(int n) const { return window->panels.value(monitors[size_t(n - 1)].get()); }
    QStringList logLines() const
    {
        QStringList out;
        for (const RecordingWatchWindow::Line& l : window->lines) out << l.text;
        return out;
    }

};
