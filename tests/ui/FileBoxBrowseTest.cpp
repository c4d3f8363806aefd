#include "platform/boxes/FileDialogs.h"
#include "ui/FileBoxBrowse.h"

#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The log-file box as the editor sets it up: its Browse reaches the program's dialog service,
// which adds the default extension to a name typed without one.
TEST(FileBoxBrowse, FileBoxesBrowseThroughTheDialogService)
{
    QList<FileDialogs::Request> seen;
    auto previousResponder = FileDialogs::setResponder([&](const FileDialogs::Request& r) {
        seen << r;
        return QStringLiteral("/home/u/logs/watch1");
    });
    auto previousDialog = TFilenameEdit::setDefaultBrowseDialog({});
    FileBoxBrowse::install();

    TFilenameEdit edt3;
    edt3.setReadOnly(true);
    edt3.setFilter(QStringLiteral("Text files (*.txt)|*.txt|Log files (*.log)|*.log"));
    edt3.setDefaultExt(QStringLiteral("txt"));
    edt3.browseButton()->click();

    TFilenameEdit::setDefaultBrowseDialog(std::move(previousDialog));
    FileDialogs::setResponder(std::move(previousResponder));

    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].kind, FileDialogs::Kind::Open);
    EXPECT_EQ(seen[0].title, QStringLiteral("Browse"));
    EXPECT_EQ(seen[0].filter, edt3.Filter());
    EXPECT_EQ(seen[0].defaultExtension, QStringLiteral("txt"));
    EXPECT_EQ(edt3.text(), QStringLiteral("/home/u/logs/watch1.txt"));
}

}  // namespace
