#pragma once
#include <QString>
#include <QStringList>

// The Windows rules for a command line's words, so that a program's parameters mean the same
// here as there: blanks and tabs separate words, double quotes group, \" is a literal quote,
// 2n backslashes before a quote give n backslashes (and the quote groups), backslashes anywhere
// else are literal. No shell ever reads the text.
namespace WindowsCommandLine {

QStringList split(const QString& parameters);

// A name as one word: in double quotes, a quote inside escaped as \", a run of backslashes
// doubled where it stands before a quote or at the end.
QString quoted(const QString& name);

// A name as one word without surrounding quotes (for a name that does not begin with a blank, as
// a full path never does): a quote inside escaped as \", each run of blanks and tabs in a pair of
// quotes, so that no name can add words.
QString unquoted(const QString& name);

// The name behind an unquoted() text: its one word. A text that begins with a quote (a quoted()
// one) is kept as it is, so it never names an existing file.
QString unquotedName(const QString& text);

}  // namespace WindowsCommandLine
