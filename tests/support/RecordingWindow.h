#pragma once
#include "core/WatchWindow.h"

#include <QIcon>
#include <QList>
#include <QStringList>

// A WatchWindow for tests: keeps the live-log lines and counts editor resets.
class RecordingWindow : public WatchWindow {
public:
    struct Line {
        QColor colour;
        QString text;
    };
    QList<Line> lines;
    int clears = 0;
    bool isClosing = false;
    std::optional<TreeFolder> selected;
    QStringList selections;
    int resets = 0;

    void WriteToLiveLog(const QColor& colour, const QString& line) override { lines.append(Line{colour, line}); }
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
    QIcon glyph(int) const override { return {}; }
    void processMessages() override {}
    bool closing() const override { return isClosing; }
};
