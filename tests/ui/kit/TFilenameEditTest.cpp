#include "ui/kit/TFilenameEdit.h"

#include <QDir>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// Plays the user of the dialog: records each request and answers with the next path.
struct FakeDialog {
    QList<TFilenameEdit::BrowseRequest> requests;
    QStringList answers;
    TFilenameEdit::BrowseDialog fn()
    {
        return [this](const TFilenameEdit::BrowseRequest& r) {
            requests << r;
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
    }
};

TEST(TFilenameEdit, ShowsTheChosenPathQuotedOnlyWhenAsked)
{
    struct Case { bool addQuotes; QString chosen, shown; };
    const Case cases[] = {
        {true, "/opt/my tools/run.sh", "\"/opt/my tools/run.sh\""},
        {true, "/opt/tools/run.sh", "/opt/tools/run.sh"},
        {true, "\"/opt/my tools/run.sh\"", "\"/opt/my tools/run.sh\""},
        {false, "/var/log/my logs/a.txt", "/var/log/my logs/a.txt"},
        {false, "/var/log/a&b.txt", "/var/log/a&b.txt"},
    };
    for (const auto& c : cases) {
        FakeDialog dialog;
        dialog.answers << c.chosen;
        TFilenameEdit box;
        box.setAddQuotes(c.addQuotes);
        box.setBrowseDialog(dialog.fn());
        QStringList announced;
        QObject::connect(&box, &TFilenameEdit::fileChosen, [&](const QString& p) { announced << p; });
        EXPECT_TRUE(box.Browse());
        EXPECT_EQ(box.text(), c.shown);
        EXPECT_EQ(announced, QStringList{c.shown});
    }
}

TEST(TFilenameEdit, CancelLeavesTheBoxAsItWas)
{
    FakeDialog dialog;
    TFilenameEdit box;
    box.setText(QStringLiteral("/somewhere/old.txt"));
    box.setBrowseDialog(dialog.fn());
    EXPECT_FALSE(box.Browse());
    EXPECT_EQ(box.text(), QStringLiteral("/somewhere/old.txt"));
    EXPECT_EQ(dialog.requests.size(), 1);
}

TEST(TFilenameEdit, RequestCarriesTitleFilterAndExtension)
{
    FakeDialog dialog;
    TFilenameEdit box;
    box.setFilter(QStringLiteral("Text files (*.txt)|*.txt|Log files (*.log)|*.log"));
    box.setDefaultExt(QStringLiteral("txt"));
    box.setBrowseDialog(dialog.fn());
    box.browseButton()->click();
    ASSERT_EQ(dialog.requests.size(), 1);
    EXPECT_EQ(dialog.requests[0].title, QStringLiteral("Browse"));
    EXPECT_EQ(dialog.requests[0].filter, QStringLiteral("Text files (*.txt)|*.txt|Log files (*.log)|*.log"));
    EXPECT_EQ(dialog.requests[0].defaultExtension, QStringLiteral("txt"));
    EXPECT_TRUE(dialog.requests[0].directory.isEmpty());
}

// The dialog opens in the folder of the path in the box when that folder exists, else where
// the last chosen file was.
TEST(TFilenameEdit, DialogStartsInTheBoxFolderOrTheLastChosenOne)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString a = tmp.filePath(QStringLiteral("a dir"));
    const QString b = tmp.filePath(QStringLiteral("b"));
    ASSERT_TRUE(QDir().mkpath(a));
    ASSERT_TRUE(QDir().mkpath(b));

    FakeDialog dialog;
    TFilenameEdit box;
    box.setAddQuotes(true);
    box.setBrowseDialog(dialog.fn());

    dialog.answers << a + QStringLiteral("/prog.sh");
    box.Browse();  // box empty, nothing chosen yet
    box.Browse();  // box holds the quoted path in a
    box.setText(b + QStringLiteral("/x.sh"));
    box.Browse();  // box names a file in b
    box.setText(tmp.filePath(QStringLiteral("gone/x.sh")));
    box.Browse();  // box's folder does not exist: the last chosen folder (a)
    box.setText(QStringLiteral("relative.sh"));
    box.Browse();

    ASSERT_EQ(dialog.requests.size(), 5);
    EXPECT_EQ(dialog.requests[0].directory, QString());
    EXPECT_EQ(dialog.requests[1].directory, a);
    EXPECT_EQ(dialog.requests[1].fileName, QStringLiteral("prog.sh"));
    EXPECT_EQ(dialog.requests[2].directory, b);
    EXPECT_EQ(dialog.requests[3].directory, a);
    EXPECT_EQ(dialog.requests[4].directory, a);
    EXPECT_EQ(box.InitialDir(), a);
}

TEST(TFilenameEdit, DefaultDialogServesBoxesWithoutTheirOwn)
{
    FakeDialog shared, own;
    shared.answers << QStringLiteral("/a/shared.txt");
    own.answers << QStringLiteral("/a/own.txt");
    auto previous = TFilenameEdit::setDefaultBrowseDialog(shared.fn());
    TFilenameEdit plain, special;
    special.setBrowseDialog(own.fn());
    plain.Browse();
    special.Browse();
    TFilenameEdit::setDefaultBrowseDialog(std::move(previous));
    EXPECT_EQ(plain.text(), QStringLiteral("/a/shared.txt"));
    EXPECT_EQ(special.text(), QStringLiteral("/a/own.txt"));
    EXPECT_EQ(shared.requests.size(), 1);
}

TEST(TFilenameEdit, ReadOnlyBoxStillBrowsesAndDisabledButtonFollowsTheBox)
{
    FakeDialog dialog;
    dialog.answers << QStringLiteral("/logs/w.txt");
    TFilenameEdit box;
    box.setReadOnly(true);
    box.setBrowseDialog(dialog.fn());
    box.browseButton()->click();
    EXPECT_EQ(box.text(), QStringLiteral("/logs/w.txt"));
    box.setEnabled(false);
    EXPECT_FALSE(box.browseButton()->isEnabled());
}

}  // namespace
