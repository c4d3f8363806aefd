#include "platform/programs/WindowsCommandLine.h"

namespace WindowsCommandLine {
namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Escapes quotes and the backslashes before them; with atEndQuote, a trailing run of
// backslashes is doubled too, since the closing quote follows it.
QString escaped(const QString& name, bool atEndQuote)
{
    QString out;
    out.reserve(name.size() + 8);
    qsizetype backslashes = 0;
    for (const QChar c : name) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out.append(QString(2 * backslashes + 1, u'\\'));
        } else {
            out.append(QString(backslashes, u'\\'));
        }
        backslashes = 0;
        out.append(c);
    }
    out.append(QString(atEndQuote ? 2 * backslashes : backslashes, u'\\'));
    return out;
}

}  // namespace

QStringList split(const QString& parameters)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool inQuotes = false;
    const qsizetype n = parameters.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = parameters[i];
        if (!inQuotes && isBlank(c)) {
            if (inWord) words.append(word);
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            qsizetype run = 0;
            while (i < n && parameters[i] == u'\\') {
                ++run;
                ++i;
            }
            if (i < n && parameters[i] == u'"') {
                word.append(QString(run / 2, u'\\'));
                if (run % 2) {
                    word.append(u'"');
                    ++i;
                }
                // An even run leaves the quote to group, below.
            } else {
                word.append(QString(run, u'\\'));
            }
            continue;
        }
        if (c == u'"') {
            inQuotes = !inQuotes;
            ++i;
            continue;
        }
        word.append(c);
        ++i;
    }
    if (inWord) words.append(word);
    return words;
}

QString quoted(const QString& name) { return u'"' + escaped(name, true) + u'"'; }

QString unquoted(const QString& name)
{
    QString out;
    out.reserve(name.size() + 8);
    qsizetype backslashes = 0;
    bool inBlanks = false;  // inside the quotes that hold a run of blanks
    for (const QChar c : name) {
        const bool blank = isBlank(c);
        if (inBlanks && !blank) {
            out.append(u'"');
            inBlanks = false;
        }
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (blank && !inBlanks) {
            // The backslashes before the opening quote are doubled so that they stay themselves.
            out.append(QString(2 * backslashes, u'\\'));
            out.append(u'"');
            inBlanks = true;
        } else if (c == u'"') {
            out.append(QString(2 * backslashes + 1, u'\\'));
        } else {
            out.append(QString(backslashes, u'\\'));
        }
        backslashes = 0;
        out.append(c);
    }
    if (inBlanks) out.append(u'"');
    out.append(QString(backslashes, u'\\'));
    return out;
}

QString unquotedName(const QString& text)
{
    if (text.startsWith(u'"')) return text;
    return split(text).join(u' ');
}

}  // namespace WindowsCommandLine
