#include "StartedFormFixture.h"
#include "support/FileBytes.h"

#include "core/Banner.h"
#include "platform/boxes/FileDialogs.h"



namespace {

// Answers the save dialog with the given paths in turn and keeps what it was asked.
class SaveDialog {
public:
    explicit SaveDialog(QStringList answers) : answers_(std::move(answers))
    {
        previous_ = FileDialogs::setResponder([this](const FileDialogs::Request& r) {
            requests << r;
            return answers_.isEmpty() ? QString() : answers_.takeFirst();
        });
    }
    ~SaveDialog() { FileDialogs::setResponder(std::move(previous_)); }
    QList<FileDialogs::Request> requests;

private:
    QStringList answers_;
    FileDialogs::Responder previous_;
};

QList<QColor> lineColours(const TLiveLogView& view)
{
    QList<QColor> out;
    for (qsizetype i = 0; i < view.lineCount(); ++i) out << view.lineColour(i);
    return out;
}

class LiveLogViewTest : public StartedFormTest {};

TEST_F(LiveLogViewTest, SaveThenCancelWritesNothing)
{
    start();
    const QStringList before = logLines();
    SaveDialog dialog({QString()});
    form->btn2->click();
    ASSERT_EQ(dialog.requests.size(), 1);
    const FileDialogs::Request& r = dialog.requests[0];
    EXPECT_EQ(r.kind, FileDialogs::Kind::Save);
    EXPECT_EQ(r.title, "Save log as");
    EXPECT_EQ(r.fileName, "Log");
    EXPECT_EQ(r.filter, "Text files (*.txt)|*.txt");
    EXPECT_EQ(r.defaultExtension, "txt");
    EXPECT_EQ(logLines(), before);
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files), QStringList{});
}

// The saved file holds the lines as shown, in order, in CR LF lines, without this save's own
// line; the next save holds it and the dialog proposes the last path again.
TEST_F(LiveLogViewTest, SaveWritesTheLinesAndAddsTheBlueLineAfterwards)
{
    start();
    form->WriteToLiveLog(LiveLogColour::Red, "01.01.24 10:00:00: w: File create event, file name: /tmp/a");
    form->WriteToLiveLog(LiveLogColour::Blue, "second line");
    const QStringList shown = logLines();
    ASSERT_EQ(shown.size(), 4);

    const QString first = temp.path() + "/saved";
    const QString second = temp.path() + "/again.log";
    SaveDialog dialog({first, second});
    form->btn2->click();
    EXPECT_TRUE(boxes.texts().isEmpty());
    EXPECT_FALSE(QFile::exists(first)) << "the name gets the default extension";
    EXPECT_EQ(readFile(first + ".txt"), (shown.join("\r\n") + "\r\n").toUtf8());
    ASSERT_EQ(logLines().size(), 5);
    EXPECT_TRUE(logLines().last().endsWith(": Live log saved to: " + first + ".txt"));
    EXPECT_EQ(lineColours(*form->edt1).last(), LiveLogColour::Blue);

    form->btn2->click();
    ASSERT_EQ(dialog.requests.size(), 2);
    EXPECT_EQ(dialog.requests[1].fileName, first + ".txt");
    const QList<QByteArray> saved = readFile(second).split('\n');
    ASSERT_EQ(saved.size(), 6);
    EXPECT_TRUE(saved[4].endsWith(": Live log saved to: " + (first + ".txt").toUtf8() + "\r"));
    EXPECT_TRUE(saved[5].isEmpty());
}

TEST_F(LiveLogViewTest, SaveReplacesAnExistingFile)
{
    start();
    const QString path = temp.path() + "/old.txt";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(10000, 'x'));
    }
    SaveDialog dialog({path});
    form->btn2->click();
    EXPECT_EQ(readFile(path), (QStringList{BannerLine1(), BannerLine2()}.join("\r\n") + "\r\n").toUtf8());
}

TEST_F(LiveLogViewTest, FileThatCannotBeCreatedIsReportedAndNothingIsAdded)
{
    start();
    const QStringList before = logLines();
    const QString path = temp.path() + "/missing folder/log.txt";
    SaveDialog dialog({path});
    form->btn2->click();
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, ModalBoxes::Kind::Error);
    const QString text = boxes.texts()[0];
    EXPECT_TRUE(text.startsWith("Cannot create file \"" + path + "\". ")) << text.toStdString();
    EXPECT_GT(text.size(), QString("Cannot create file \"" + path + "\". .").size()) << "with the system's reason";
    EXPECT_EQ(logLines(), before);
    EXPECT_FALSE(QFile::exists(path));
}

// A write that fails half-way (here: a file size limit) reports "Failed to Save Stream", adds
// no line and leaves a log saved earlier as it was.
TEST_F(LiveLogViewTest, FailedWriteKeepsTheOldFile)
{
    start();
    for (int i = 0; i < 200; ++i) form->WriteToLiveLog(LiveLogColour::Red, QString("line %1 ").arg(i).repeated(8));
    const QStringList before = logLines();
    const QString path = temp.path() + "/kept.txt";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier save\r\n");
    }
    SaveDialog dialog({path});
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        form->btn2->click();
    }

    EXPECT_EQ(boxes.texts(), QStringList{"Failed to Save Stream."});
    EXPECT_EQ(logLines(), before);
    EXPECT_EQ(readFile(path), "earlier save\r\n");
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files), QStringList{"kept.txt"}) << "no temporary file left";
}

TEST_F(LiveLogViewTest, ClearLeavesExactlyTheTwoBannerLines)
{
    start();
    for (int i = 0; i < 50; ++i) form->WriteToLiveLog(LiveLogColour::Green, QString("line %1").arg(i));
    form->btn16->click();
    EXPECT_EQ(logLines(), (QStringList{BannerLine1(), BannerLine2()}));
    EXPECT_EQ(lineColours(*form->edt1), (QList<QColor>{LiveLogColour::Black, LiveLogColour::Black}));
    form->btn16->click();
    EXPECT_EQ(logLines().size(), 2);
    EXPECT_TRUE(form->edt1->isReadOnly());
}

}  // namespace
