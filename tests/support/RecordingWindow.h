#pragma once
#include "actions/AlertHooks.h"
#include "core/WatchWindow.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>

#include <functional>

// Stands in for the main window: keeps the live-log lines and the alert and pop-up triggers in
// one journal (so that tests see what happened and in which order), counts editor resets and
// plays the folder tree's selection.
class RecordingWindow : public WatchWindow, public AlertHooks {
public:
    struct Line {
        QColor colour;
        QString text;
    };
    QList<Line> lines;
    QStringList journal;  // "alert", "red", "blue", "popup", ... in order
    QList<Twatcher> popUps, alerts;
    int clears = 0;
    bool isClosing = false;
    std::optional<TreeFolder> selected;
    QStringList selections;
    int resets = 0;
    int messagesProcessed = 0;
    std::function<void()> whileProcessing;  // runs inside each processMessages()

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
    void ShowSlotLines(const Twatcher&, const QString&, const QString&, const QString&, const QString&) override {}
    void ShowPanelLook(const Twatcher&, PanelLook) override {}
    void ShowStartButton(const Twatcher&, bool) override {}
    void EnableSlotEditing(const Twatcher&, bool) override {}
    void processMessages() override
    {
        ++messagesProcessed;
        QCoreApplication::processEvents();
        if (whileProcessing) whileProcessing();
    }
    bool closing() const override { return isClosing; }

    void TriggerDesktopAlert(Twatcher watch, const QString&) override
    {
        if (!watch.ShowDesktopAlert) return;
        alerts.append(watch);
        journal.append(QStringLiteral("alert"));
    }
    void TriggerPopUp(Twatcher watch, const QString&) override
    {
        if (!watch.PopUpMessage) return;
        popUps.append(watch);
        journal.append(QStringLiteral("popup"));
    }

    QStringList texts(const QColor& colour) const
    {
        QStringList out;
        for (const Line& l : lines)
            if (l.colour == colour) out.append(l.text);
        return out;
    }
};
