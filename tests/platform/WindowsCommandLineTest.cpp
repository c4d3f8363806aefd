#include "platform/programs/WindowsCommandLine.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsCommandLineTest, SplitsByTheWindowsRules)
{
    struct Case {
        const char* line;
        QStringList words;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"a b", {"a", "b"}},
        {"  a\t\tb  ", {"a", "b"}},
        {"\"a b\" c", {"a b", "c"}},
        {"\"a\"b\"c d\"", {"abc d"}},
        {"a\\\"b", {"a\"b"}},             // \"  -> literal quote
        {"a\\\\\"b c\"", {"a\\b c"}},     // 2 backslashes + quote -> 1 backslash, quote groups
        {"a\\\\\\\"b", {"a\\\"b"}},       // 3 backslashes + quote -> 1 backslash + literal quote
        {"a\\\\b", {"a\\\\b"}},           // backslashes not before a quote stay as they are
        {"\\\\server\\share x", {"\\\\server\\share", "x"}},
        {"a\\", {"a\\"}},
        {"\"\\\\\"", {"\\"}},
        {"\"\"", {""}},                   // an empty quoted word is a word
        {"\"\" \"\"", {"", ""}},
        {"a\"b c", {"ab c"}},             // an unclosed quote groups to the end
        {"a\nb c", {"a\nb", "c"}},        // a line break is no separator
        {"$(rm x); *", {"$(rm", "x);", "*"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowsCommandLine::split(QString::fromUtf8(c.line)), c.words) << c.line;
}

TEST(WindowsCommandLineTest, EscapesNamesAsDocumented)
{
    struct Case {
        const char* name;
        const char* quoted;
        const char* unquoted;
    } cases[] = {
        {"a b", "\"a b\"", "a\" \"b"},                        // blanks are grouped, never separate
        {"a \t b -x", "\"a \t b -x\"", "a\" \t \"b\" \"-x"},
        {"a\\ b", "\"a\\ b\"", "a\\\\\" \"b"},                // a backslash before a grouping quote: doubled
        {"a \"b", "\"a \\\"b\"", "a\" \"\\\"b"},
        {"a\"b", "\"a\\\"b\"", "a\\\"b"},
        {"a\\b", "\"a\\b\"", "a\\b"},                // single backslash stays single
        {"a\\", "\"a\\\\\"", "a\\"},                 // doubled only before the closing quote
        {"a\\\"b", "\"a\\\\\\\"b\"", "a\\\\\\\"b"},  // backslash before a quote: doubled, plus \"
        {"", "\"\"", ""},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(WindowsCommandLine::quoted(name), QString::fromUtf8(c.quoted)) << c.name;
        EXPECT_EQ(WindowsCommandLine::unquoted(name), QString::fromUtf8(c.unquoted)) << c.name;
    }
}

TEST(WindowsCommandLineTest, EveryNameSurvivesTheRoundTrip)
{
    const QStringList names = {
        "/home/u/plain.txt", "/home/u/with blanks/a  b.txt", "/d/quote\"inside", "/d/\"\"", "/d/back\\slash",
        "/d/trailing\\", "/d/trailing\\\\\\", "/d/\\\"mixed\\\\\"", "/d/$(touch pwned)", "/d/a;b", "/d/*",
        "/d/line\nbreak", "/d/tab\there", "/d/q /home/victim/.bashrc", "/d/a b -x --evil=1", "/d/end\\ ",
        "/d/\\ \" \\\" x", "/d/`id`", "/d/'single'", "/d/ü€😀", "\\\\server\\share\\",
    };
    for (const QString& n : names) {
        EXPECT_EQ(WindowsCommandLine::split(WindowsCommandLine::quoted(n)), QStringList{n}) << n.toStdString();
        // The bare form is one word too: a name never adds arguments.
        EXPECT_EQ(WindowsCommandLine::split(WindowsCommandLine::unquoted(n)), QStringList{n}) << n.toStdString();
        EXPECT_FALSE(WindowsCommandLine::unquoted(n).startsWith(u'"')) << n.toStdString();
        EXPECT_EQ(WindowsCommandLine::unquotedName(WindowsCommandLine::unquoted(n)), n) << n.toStdString();
        EXPECT_TRUE(WindowsCommandLine::unquotedName(WindowsCommandLine::quoted(n)).startsWith(u'"'));
        for (const QString& m : names)
            EXPECT_EQ(WindowsCommandLine::split(WindowsCommandLine::quoted(n) + u' ' + WindowsCommandLine::quoted(m)),
                      (QStringList{n, m}));
    }
}

}  // namespace
