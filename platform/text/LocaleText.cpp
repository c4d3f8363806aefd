#include "platform/text/LocaleText.h"

#include "platform/text/PathBytes.h"

#include <QList>

#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace LocaleText {
namespace {

bool localeIsUtf8(const char* codeset)
{
    return !std::strcmp(codeset, "UTF-8") || !std::strcmp(codeset, "ANSI_X3.4-1968") || !std::strcmp(codeset, "utf8");
}

// A surrogate without its other half: a name's byte that was no character.
bool loneSurrogateAt(const QString& text, qsizetype i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate()) return !(i + 1 < text.size() && text[i + 1].isLowSurrogate());
    if (c.isLowSurrogate()) return !(i > 0 && text[i - 1].isHighSurrogate());
    return false;
}

// Characters that end a line or a paragraph somewhere (an editor, a terminal, a script that
// reads the log, the live log itself), the other control characters, which a terminal showing
// the log with cat would obey (ESC starts its escape sequences), and the bidirectional
// embeddings, overrides and isolates, which make a line read backwards from the name on. A tab
// stays.
bool breaksLine(char16_t c)
{
    if (c >= 0x20 && c < 0x7f) return false;  // nearly every character
    if (c > 0x9f) return c == 0x2028 || c == 0x2029 || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
    return c != u'\t';
}

QByteArray utf8WithReplacement(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isSurrogate() || !loneSurrogateAt(text, i)) continue;
        QString clean = text;
        for (qsizetype k = i; k < clean.size(); ++k)
            if (clean[k].isSurrogate() && loneSurrogateAt(text, k)) clean[k] = u'?';
        return clean.toUtf8();
    }
    return text.toUtf8();
}

}  // namespace

QByteArray encode(const QString& text)
{
    const char* codeset = nl_langinfo(CODESET);
    if (localeIsUtf8(codeset)) return utf8WithReplacement(text);
    iconv_t cd = iconv_open(codeset, "UTF-8");
    if (cd == iconv_t(-1)) return utf8WithReplacement(text);
    QByteArray out;
    const QList<uint> points = text.toUcs4();
    for (uint cp : points) {
        QByteArray in = QString::fromUcs4(reinterpret_cast<const char32_t*>(&cp), 1).toUtf8();
        char buf[16];
        char* inp = in.data();
        size_t inLeft = size_t(in.size());
        char* outp = buf;
        size_t outLeft = sizeof buf;
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1) || inLeft != 0) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            out += '?';
        } else {
            out.append(buf, qsizetype(sizeof buf - outLeft));
        }
    }
    iconv_close(cd);
    return out;
}

QString oneLine(const QString& text)
{
    // Bytes of a name that are not UTF-8 show as the replacement character; most lines hold
    // nothing to replace and are handed back without a copy.
    const QString shown = PathBytes::forDisplay(text);
    const QChar* p = shown.constData();
    const qsizetype n = shown.size();
    qsizetype i = 0;
    while (i < n && !breaksLine(p[i].unicode()) && !(p[i].isSurrogate() && loneSurrogateAt(shown, i))) ++i;
    if (i == n) return shown;
    QString s = shown;
    for (; i < n; ++i)
        if (breaksLine(p[i].unicode()) || (p[i].isSurrogate() && loneSurrogateAt(shown, i))) s[i] = u'?';
    return s;
}

}  // namespace LocaleText
