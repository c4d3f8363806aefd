#pragma once
#include "core/Twatcher.h"
#include "platform/shell/ItemIdList.h"

#include <QColor>
#include <QString>

#include <optional>

// The folder selected in the editor's folder tree.
struct TreeFolder {
    bool IsFileFolder = false;
    QString Path;
    ItemIdList Pidl;
};

// The look of a slot's list panel.
enum class PanelLook { Stopped, Running };

// What the watch operations need of the main window; the main window (TForm1) implements it,
// so that core and actions never depend on the user interface.
class WatchWindow {
public:
    virtual ~WatchWindow() = default;

    // Appends one line in one colour to the live log.
    virtual void WriteToLiveLog(const QColor& colour, const QString& line) = 0;
    // Resets the watch editor.
    virtual void ClearAllControls() = 0;
    // The editor's folder tree (tv1): select a path (throws "Invalid folder" when it can't be
    // found), read the selection, and reset it to nothing with the folder label emptied.
    virtual void SelectFolderInTree(const QString& path) = 0;
    virtual std::optional<TreeFolder> SelectedTreeFolder() = 0;
    virtual void ResetFolderSelection() = 0;
    // A slot's controls, reached through the record's references (core touches no widget):
    // its four lines, the panel's look, the Start button's caption and glyph ("Stop" while
    // `running`), and whether Edit and Remove may be pressed.
    virtual void ShowSlotLines(const Twatcher& w, const QString& name, const QString& path, const QString& events,
                               const QString& actions) = 0;
    virtual void ShowPanelLook(const Twatcher& w, PanelLook look) = 0;
    virtual void ShowStartButton(const Twatcher& w, bool running) = 0;
    virtual void EnableSlotEditing(const Twatcher& w, bool enabled) = 0;
    // Lets the main thread process pending events (waits that must keep the window alive).
    virtual void processMessages() = 0;
    // True once the main window has begun to close: waits end then.
    virtual bool closing() const = 0;
};

// The live log's colours.
namespace LiveLogColour {
inline const QColor Black{0, 0, 0};
inline const QColor Green{0, 128, 0};
inline const QColor Red{255, 0, 0};
inline const QColor Blue{0, 0, 255};
}  // namespace LiveLogColour
