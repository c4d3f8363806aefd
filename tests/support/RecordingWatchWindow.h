#pragma once
#include "core/WatchWindow.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

// Stands in for the main window where core reports: keeps the live-log lines in a journal (so
// that tests see what happened and in which order), counts editor resets, plays the folder
// tree's selection, and keeps what each slot's panel would show, found by the slot's monitor.
class RecordingWatchWindow : public WatchWindow {
public:
    struct Line {
        QColor colour;
        QString text;
    };
    // One slot's panel as the window would show it; a slot nobody showed is stopped, editable.
    struct Panel {
        QStringList lines;  // name, path, events, actions
        PanelLook look = PanelLook::Stopped;
        bool stopButton = false;  // the Start button reads "Stop"
        bool editable = true;     // Edit and Remove may be pressed
    };
    QList<Line> lines;
    QStringList journal;  // "alert", "red", "blue", "popup", ... in order
    int clears = 0;
    bool isClosing = false;
    std::optional<TreeFolder> selected;
    QStringList selections;
    int resets = 0;
    int messagesProcessed = 0;
    std::function<void()> whileProcessing;  // runs inside each processMessages()
    QHash<const void*, Panel> panels;       // by the slot's monitor

    void WriteToLiveLog(const QColor& colour, const QString& line) override
    {
        lines.append({colour, line});
        journal.append(colour == LiveLogColour::Red    ? QStringLiteral("red")
                       : colour == LiveLogColour::Blue ? QStringLiteral("blue")
                                                       : QStringLiteral("other"));
    }
    void ClearAllControls() override { ++clears; }
    void SelectFolderInTree(const QString& path) override
    {
        selections << path;
        selected = TreeFolder{true, path, {}};
    }
    std::optional<TreeFolder> SelectedTreeFolder() override { return selected; }
    void ResetFolderSelection() override
    {
        ++resets;
        selected.reset();
    }
    void ShowSlotLines(const Twatcher& w, const QString& name, const QString& path, const QString& events,
                       const QString& actions) override
    {
        panels[panelKey(w)].lines = QStringList{name, path, events, actions};
    }
    void ShowPanelLook(const Twatcher& w, PanelLook look) override { panels[panelKey(w)].look = look; }
    void ShowStartButton(const Twatcher& w, bool running) override { panels[panelKey(w)].stopButton = running; }
    void EnableSlotEditing(const Twatcher& w, bool enabled) override { panels[panelKey(w)].editable = enabled; }
    void processMessages() override
    {
        ++messagesProcessed;
        QCoreApplication::processEvents();
        if (whileProcessing) whileProcessing();
    }
    bool closing() const override { return isClosing; }

    QStringList texts(const QColor& colour) const
    {
        QStringList out;
        for (const Line& l : lines)
            if (l.colour == colour) out.append(l.text);
        return out;
    }

private:
    static const void* panelKey(const Twatcher& w) { return w.Monitor; }
};
