#include "StartedFormFixture.h"
#include "support/FileBytes.h"

#include <QFile>
#include <QSet>
#include <QTest>

#include <algorithm>

namespace {

qsizetype countContaining(const QStringList& lines, const QString& text)
{
    return std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(text); });
}

class BurstBesideOpenPopUpTest : public StartedFormTest {};

// One watch's pop-up stays open while another watch gets a burst of 20,000 creations: every one
// of them is reported and logged while the box is open, the first watch's own later events wait
// for its box and then come, in order, and nothing is lost on either side.
TEST_F(BurstBesideOpenPopUpTest, BurstIsHandledWhileAPopUpIsOpenAndThePopUpWatchGoesOnAfterwards)
{
    constexpr int kBurst = 20000;
    const QString popFolder = folder("pop"), burstFolder = folder("burst");
    const QString burstLog = folder("logs") + "/burst.log";
    const QByteArray settings = "[popper]\nname=popper\npanel=1\nactive=1\navilable=0\nsub=0\nfcreate=1\npopup=1\npath=" +
                                popFolder.toUtf8() + "\n[burst]\nname=burst\npanel=2\nactive=1\navilable=0\nsub=0\n"
                                "fcreate=1\nwritelog=1\nlogfile=" + burstLog.toUtf8() + "\npath=" + burstFolder.toUtf8() + "\n";
    start(settings.constData());
    ASSERT_EQ(countContaining(logLines(), " Started monitoring path: "), 2) << logLines().join('\n').toStdString();

    // The pop-up box: the first one is held open (its event loop keeps running, as a real box's
    // does) until the burst has been reported in full; later ones are answered at once.
    QStringList popUps;
    int burstSeenWhileOpen = -1;
    bool laterPopUpWhileOpen = false;
    bool boxOpen = false;
    const ModalBoxes::Responder recorder = ModalBoxes::setResponder([&](const ModalBoxes::Request& r) {
        if (r.kind != ModalBoxes::Kind::Information) {
            ADD_FAILURE() << "unexpected box: " << r.text.toStdString();
            return ModalBoxes::Answer::Ok;
        }
        if (boxOpen) laterPopUpWhileOpen = true;
        popUps << r.text;
        if (popUps.size() > 1) return ModalBoxes::Answer::Ok;
        boxOpen = true;
        for (int i = 0; i < kBurst; ++i) touch(burstFolder + QStringLiteral("/f%1").arg(i));
        touch(popFolder + "/second");  // the pop-up watch's own next event, while its box is open
        touch(popFolder + "/third");
        const bool all = QTest::qWaitFor(
            [&] { return readFile(burstLog).count(": burst: File create event, file name: ") >= kBurst; }, 300000);
        EXPECT_TRUE(all) << "the burst was not written in full while the box was open";
        burstSeenWhileOpen = countContaining(logLines(), ": burst: File create event, file name: ");
        boxOpen = false;
        return ModalBoxes::Answer::Ok;
    });

    touch(popFolder + "/first");
    const QString popped = ": popper: executed a popup message with message: ";
    ASSERT_TRUE(QTest::qWaitFor([&] { return countContaining(logLines(), popped) == 3; }, 300000))
        << popUps.join('\n').toStdString();
    ModalBoxes::setResponder(recorder);

    EXPECT_EQ(burstSeenWhileOpen, kBurst) << "the burst waited for the other watch's box";
    EXPECT_FALSE(laterPopUpWhileOpen) << "a second pop-up of the same watch came while its first was open";
    ASSERT_EQ(popUps.size(), 3);
    const char* names[] = {"first", "second", "third"};
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(popUps[i].endsWith(": popper: File create event, file name: " + popFolder + "/" + names[i]))
            << popUps[i].toStdString();

    // Every creation of the burst reported once, in the log file and in the live log.
    const QList<QByteArray> logged = readFile(burstLog).split('\n');
    QSet<QString> files;
    int createLines = 0;
    for (const QByteArray& line : logged) {
        const int at = line.indexOf(": burst: File create event, file name: ");
        if (at < 0) continue;
        ++createLines;
        files.insert(QString::fromUtf8(line.mid(line.lastIndexOf('/') + 1)).trimmed());
    }
    EXPECT_EQ(createLines, kBurst);
    EXPECT_EQ(files.size(), kBurst);
    const QStringList live = logLines();
    EXPECT_EQ(countContaining(live, ": burst: File create event, file name: "), kBurst);

    // In the live log: the first pop-up's line after the burst, then the later events in order.
    const auto indexOf = [&](const QString& text) {
        const auto it = std::find_if(live.begin(), live.end(), [&](const QString& l) { return l.contains(text); });
        return it == live.end() ? -1 : int(it - live.begin());
    };
    const int lastBurst = int(live.size()) - 1 -
                          int(std::find_if(live.rbegin(), live.rend(), [](const QString& l) {
                                  return l.contains(": burst: File create event");
                              }) - live.rbegin());
    const int firstPopped = indexOf(popped);
    const int second = indexOf(": popper: File create event, file name: " + popFolder + "/second");
    const int third = indexOf(": popper: File create event, file name: " + popFolder + "/third");
    EXPECT_LT(lastBurst, firstPopped);
    EXPECT_LT(firstPopped, second);
    EXPECT_LT(second, third);

    // And the burst's watch is still listening.
    touch(burstFolder + "/after");
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(burstLog).contains(burstFolder.toUtf8() + "/after\r\n"); }, 10000));
}

}  // namespace
