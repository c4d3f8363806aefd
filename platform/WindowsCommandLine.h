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

// A name without surrounding quotes: blanks and tabs still separate its pieces, but quotes and
// backslashes inside it are kept as they are.
QString unquoted(const QString& name);

// The name behind an unquoted() text: escaped quotes and the backslashes before them restored.
// A quoted() text keeps its surrounding quotes, so it never names an existing file.
QString unquotedName(const QString& text);

}  // namespace WindowsCommandLine
