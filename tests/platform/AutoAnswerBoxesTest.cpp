#include "platform/AutoAnswerBoxes.h"
#include "platform/ModalBoxes.h"

#include <QFile>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstdio>

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

TEST_F(AutoAnswerBoxesTest, AnswersEveryBoxWithItsDefaultAndPrintsIt)
{
    qputenv("VESMOR_AUTO_ANSWER_BOXES", "1");
    installAutoAnswerFromEnvironment();
    StderrCapture capture;
    ModalBoxes::warning(QStringLiteral("Vesmor is already running !"));
    ModalBoxes::error(QStringLiteral("two\nlines"));
    ModalBoxes::information(QStringLiteral("caf\u00e9"));
    EXPECT_TRUE(ModalBoxes::confirm(QStringLiteral("Sure?")));
    ModalBoxes::showException(QStringLiteral("Unable to write to /x"));
    EXPECT_EQ(capture.text(), QByteArray("box: warning: Vesmor is already running !\n"
                                         "box: error: two\\nlines\n"
                                         "box: information: caf\xc3\xa9\n"
                                         "box: confirmation: Sure?\n"
                                         "box: error: Unable to write to /x.\n"));
}

TEST_F(AutoAnswerBoxesTest, LeavesTheRealBoxesWithoutTheVariable)
{
    for (const char* value : {"", "0", "yes"}) {
        if (*value) qputenv("VESMOR_AUTO_ANSWER_BOXES", value);
        else qunsetenv("VESMOR_AUTO_ANSWER_BOXES");
        installAutoAnswerFromEnvironment();
        EXPECT_FALSE(ModalBoxes::setResponder({})) << value;
    }
}

}  // namespace
