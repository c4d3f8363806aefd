#include "platform/boxes/AutoAnswerBoxes.h"
#include "platform/boxes/ModalBoxes.h"
#include "support/BoxRecorder.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {

// Captures what this process writes to standard error while it lives.
class StderrCapture {
public:
    StderrCapture()
    {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(file_.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        QFile f(file_.fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    void restore()
    {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    QTemporaryFile file_;
    int saved_ = -1;
};

struct AutoAnswerBoxesTest : ::testing::Test {
    ~AutoAnswerBoxesTest() override
    {
        ModalBoxes::setResponder({});
        qunsetenv("VESMOR_AUTO_ANSWER_BOXES");
    }
};

// Every box the program can show, and what a box that nobody can answer says and answers.
const struct {
    std::function<bool()> show;  // true when the box was answered Yes
    const char* type;
    const char* caption;
    const char* line;
    bool yes;
} Boxes[] = {
    {[] { ModalBoxes::warning(QStringLiteral("Vesmor is already running !")); return false; }, "warning", "Warning",
     "box: warning: Vesmor is already running ! (caption \"Warning\", answered OK)", false},
    {[] { ModalBoxes::error(QStringLiteral("two\nlines")); return false; }, "error", "Error",
     "box: error: two\\nlines (caption \"Error\", answered OK)", false},
    {[] { ModalBoxes::information(QStringLiteral("caf\u00e9")); return false; }, "information", "Information",
     "box: information: caf\xc3\xa9 (caption \"Information\", answered OK)", false},
    {[] { return ModalBoxes::confirm(QStringLiteral("Delete Watch: a ?")); }, "confirmation", "Confirmation",
     "box: confirmation: Delete Watch: a ? (caption \"Confirmation\", answered Yes)", true},
    {[] { ModalBoxes::notice(QStringLiteral("automatic\n\rmode")); return false; }, "confirmation", "Confirmation",
     "box: confirmation: automatic\\n\\nmode (caption \"Confirmation\", answered OK)", false},
    // The application's standard error box keeps the application's title.
    {[] { ModalBoxes::showException(QStringLiteral("Unable to write to /x")); return false; }, "error", "Vesmor 2.5",
     "box: error: Unable to write to /x. (caption \"Vesmor 2.5\", answered OK)", false},
};

TEST_F(AutoAnswerBoxesTest, OnTheOffscreenPlatformEveryBoxIsPrintedAndAnsweredAtOnce)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    ASSERT_FALSE(ModalBoxes::setResponder({}));  // no switch: the real boxes are asked for
    for (const auto& box : Boxes) {
        SCOPED_TRACE(box.line);
        StderrCapture capture;
        EXPECT_EQ(box.show(), box.yes);
        EXPECT_EQ(capture.text(), QByteArray(box.line) + '\n');
    }
}

TEST_F(AutoAnswerBoxesTest, EachBoxIsCaptionedByItsType)
{
    for (const auto& box : Boxes) {
        SCOPED_TRACE(box.line);
        BoxRecorder recorder;
        box.show();
        ASSERT_EQ(recorder.boxes().size(), 1);
        EXPECT_EQ(recorder.boxes().first().title, QString::fromUtf8(box.caption));
    }
}

TEST_F(AutoAnswerBoxesTest, TheVariableAnswersBoxesOnAnyPlatform)
{
    for (const char* value : {"", "0", "yes"}) {
        if (*value) qputenv("VESMOR_AUTO_ANSWER_BOXES", value);
        else qunsetenv("VESMOR_AUTO_ANSWER_BOXES");
        installAutoAnswerFromEnvironment();
        EXPECT_FALSE(ModalBoxes::setResponder({})) << value;
    }
    qputenv("VESMOR_AUTO_ANSWER_BOXES", "1");
    installAutoAnswerFromEnvironment();
    StderrCapture capture;
    EXPECT_TRUE(ModalBoxes::confirm(QStringLiteral("Sure?")));
    EXPECT_EQ(capture.text(), QByteArray("box: confirmation: Sure? (caption \"Confirmation\", answered Yes)\n"));
}

}  // namespace
