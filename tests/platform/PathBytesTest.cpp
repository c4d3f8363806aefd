#include "platform/files/FileAttributes.h"
#include "platform/files/FileInUse.h"
#include "platform/text/PathBytes.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString escaped(std::initializer_list<char16_t> units) { return QString(reinterpret_cast<const QChar*>(units.begin()), qsizetype(units.size())); }

TEST(PathBytesTest, ValidUtf8DecodesAsTextAndEveryOtherByteIsCarriedAlone)
{
    struct Case {
        const char* what;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"plain", "docs/a.txt", QStringLiteral("docs/a.txt")},
        {"two-byte letters", "caf\xC3\xA9", QStringLiteral("café")},
        {"four-byte character", "x\xF0\x9F\x98\x80", QStringLiteral("x\U0001F600")},
        {"Latin-1 letter", "caf\xE9", escaped({u'c', u'a', u'f', 0xDCE9})},
        {"Latin-1 in the middle", "\xE9t\xE9", escaped({0xDCE9, u't', 0xDCE9})},
        {"sequence cut at the end", "a\xC3", escaped({u'a', 0xDCC3})},
        {"overlong slash", "\xC0\xAF", escaped({0xDCC0, 0xDCAF})},
        {"encoded surrogate", "\xED\xA0\x80", escaped({0xDCED, 0xDCA0, 0xDC80})},
        {"past U+10FFFF", "\xF4\x90\x80\x80", escaped({0xDCF4, 0xDC90, 0xDC80, 0xDC80})},
        {"lone continuation bytes", "\x80\xBF", escaped({0xDC80, 0xDCBF})},
        {"valid after invalid", "\xFF\xC3\xA9", escaped({0xDCFF, 0xE9})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PathBytes::decode(c.bytes), c.text);
        EXPECT_EQ(PathBytes::encode(c.text), c.bytes);
        EXPECT_EQ(PathBytes::hasRawBytes(c.text), QString::fromUtf8(c.bytes).contains(QChar(0xFFFD)));
    }
}

TEST(PathBytesTest, AnyBytesComeBackExactly)
{
    QRandomGenerator random(20240613);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes(random.bounded(1, 40), '\0');
        for (char& b : bytes) b = char(random.bounded(1, 256));
        ASSERT_EQ(PathBytes::encode(PathBytes::decode(bytes)), bytes) << bytes.toHex().toStdString();
    }
}

TEST(PathBytesTest, DisplayShowsTheReplacementCharacterForRawBytesOnly)
{
    EXPECT_EQ(PathBytes::forDisplay(PathBytes::decode("/tmp/caf\xE9 \xC3\xA9")), QStringLiteral("/tmp/caf\uFFFD é"));
    EXPECT_EQ(PathBytes::forDisplay(QStringLiteral("x\U0001F600")), QStringLiteral("x\U0001F600"));
}

// The services that take a path reach a file whose name is not UTF-8 by its exact bytes.
TEST(PathBytesTest, ServicesReachAFileByItsExactBytes)
{
    QTemporaryDir dir;
    const QByteArray bytes = PathBytes::encode(dir.path()) + "/.caf\xE9";
    const int fd = ::open(bytes.constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const QString path = PathBytes::decode(bytes);
    EXPECT_EQ(FileAttributes::of(path), unsigned(FileAttributes::Hidden));
    EXPECT_TRUE(FileInUse::isInUse(path)) << "held open here";
    ::close(fd);
    EXPECT_FALSE(FileInUse::isInUse(path));
}

}  // namespace
