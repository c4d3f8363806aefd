#pragma once
#include "actions/AlertHooks.h"
#include "core/WatchWindow.h"

#include <QCoreApplication>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <functional>

// Stands in for the main window: records live-log lines and the alert and pop-up triggers in
// one journal, so that tests see what happened and in which order.
class FakeWatchWindow : public WatchWindow, public AlertHooks {
public:
    struct Line {
        QColor colour;
        QString text;
    };
    QList<Line> lines;
    QStringList journal;  // "alert", "red", "blue", "popup", ... in order
    QList<Twatcher> popUps, alerts;
    bool isClosing = false;
    int messagesProcessed = 0;
    std::function<void()> whileProcessing;  // runs inside each processMessages()

    void WriteToLiveLog(const QColor& colour, const QString& line) override
    {
        lines.append({colour, line});
        journal.append(colour == LiveLogColour::Red    ? QStringLiteral("red")
                       : colour == LiveLogColour::Blue ? QStringLiteral("blue")
                                                       : QStringLiteral("other"));
    }
    void ClearAllControls() override {}
    void SelectFolderInTree(const QString&) override {}
    std::optional<TreeFolder> SelectedTreeFolder() override { return std::nullopt; }
    void ResetFolderSelection() override {}
    QIcon glyph(int) const override { return {}; }
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
