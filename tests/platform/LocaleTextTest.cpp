#include "platform/text/LocaleText.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

QString utf16(std::initializer_list<char16_t> units) { return QString(reinterpret_cast<const QChar*>(units.begin()), qsizetype(units.size())); }

// Whatever would end a line somewhere (an editor, a terminal, a script reading the log, the
// live log itself) or steer a terminal shows as "?", and so does half of a surrogate pair: the undecodable byte of a
// name. A whole pair is a character and stays.
TEST(LocaleTextTest, OneLineShowsLineEndsAndHalfCharactersAsQuestionMarks)
{
    struct Case {
        const char* what;
        QString in;
        QString out;
    } cases[] = {
        {"plain", QStringLiteral("/w/a b.txt"), QStringLiteral("/w/a b.txt")},
        {"CR LF", QStringLiteral("a\r\nb"), QStringLiteral("a??b")},
        {"VT FF", QStringLiteral("a\vb\fc"), QStringLiteral("a?b?c")},
        {"file, group, record separators", QStringLiteral("a\x1c" "b\x1d" "c\x1e" "d"), QStringLiteral("a?b?c?d")},
        {"next line", utf16({u'a', 0x85, u'b'}), QStringLiteral("a?b")},
        {"line and paragraph separators", utf16({u'a', 0x2028, u'b', 0x2029, u'c'}), QStringLiteral("a?b?c")},
        {"bidirectional embeddings and overrides", utf16({u'a', 0x202a, 0x202b, 0x202c, 0x202d, 0x202e, u'b'}),
         QStringLiteral("a?????b")},
        {"bidirectional isolates", utf16({u'a', 0x2066, 0x2067, 0x2068, 0x2069, u'b'}), QStringLiteral("a????b")},
        {"marks and their neighbours stay", utf16({u'a', 0x200e, 0x200f, 0x2029, 0x2065, 0x206a}),
         utf16({u'a', 0x200e, 0x200f, u'?', 0x2065, 0x206a})},
        {"a tab stays", QStringLiteral("a\tb"), QStringLiteral("a\tb")},
        {"a terminal's escape sequence", QStringLiteral("a\x1b[31mred"), QStringLiteral("a?[31mred")},
        {"other C0 controls and DEL", QStringLiteral("\x01\x07\x08\x7f" "b"), QStringLiteral("????b")},
        {"C1 controls", utf16({u'a', 0x80, 0x9b, 0x9f, 0xa0}), utf16({u'a', u'?', u'?', u'?', 0xa0})},
        {"a whole pair", QString::fromUtf8("/w/\U0001F600"), QString::fromUtf8("/w/\U0001F600")},
        {"a high half alone", utf16({u'a', 0xD83D, u'b'}), QStringLiteral("a?b")},
        {"a high half at the end", utf16({u'a', 0xD83D}), QStringLiteral("a?")},
        {"a low half alone", utf16({u'a', 0xDE00}), QStringLiteral("a?")},
        {"halves the wrong way round", utf16({0xDE00, 0xD83D}), QStringLiteral("??")},
        {"a byte that was no character", utf16({u'x', 0xDCFF, u'y'}), QStringLiteral("x\uFFFDy")},
    };
    for (const Case& c : cases) EXPECT_EQ(LocaleText::oneLine(c.in), c.out) << c.what;
}

TEST(LocaleTextTest, EncodeWritesHalfCharactersAsQuestionMarks)
{
    if (!LocaleText::encode(QString::fromUtf8("\u00e9")).contains("\xc3\xa9")) GTEST_SKIP() << "not a UTF-8 locale";
    EXPECT_EQ(LocaleText::encode(utf16({u'a', 0xDC80, u'b', 0xD83D, 0xDE00, 0xD83D})), QByteArray("a?b\xf0\x9f\x98\x80?"));
    EXPECT_EQ(LocaleText::encode(QStringLiteral("plain")), QByteArray("plain"));
}

}  // namespace
