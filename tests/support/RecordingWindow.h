#pragma once
#include "core/WatchWindow.h"

#include <QIcon>
#include <QList>
#include <QPair>

// A WatchWindow that keeps the live-log lines and counts editor resets.
class RecordingWindow : public WatchWindow {
public:
    QList<QPair<QColor, QString>> lines;
    int clears = 0;
    bool isClosing = false;
    TStShellTreeView* tree = nullptr;

    void WriteToLiveLog(const QColor& colour, const QString& line) override { lines.append({colour, line}); }
    void ClearAllControls() override { ++clears; }
    TStShellTreeView* folderTree() override { return tree; }
    QIcon glyph(int) const override { return {}; }
    void processMessages() override {}
    bool closing() const override { return isClosing; }
};
