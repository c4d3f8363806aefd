#pragma once
#include <QColor>
#include <QString>

class TStShellTreeView;
class QIcon;

// What the watch operations need of the main window; the main window (TForm1) implements it,
// so that core and actions never depend on the user interface.
class WatchWindow {
public:
    virtual ~WatchWindow() = default;

    // Appends one line in one colour to the live log.
    virtual void WriteToLiveLog(const QColor& colour, const QString& line) = 0;
    // Resets the watch editor.
    virtual void ClearAllControls() = 0;
    // The folder tree of the editor (tv1).
    virtual TStShellTreeView* folderTree() = 0;
    // Image n of the button glyph list il1.
    virtual QIcon glyph(int index) const = 0;
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
