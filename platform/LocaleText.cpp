#include "platform/LocaleText.h"

#include "platform/PathBytes.h"

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

QByteArray utf8WithReplacement(const QString& text)
{
    QString clean = text;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const QChar c = clean[i];
        if (c.isHighSurrogate() && i + 1 < clean.size() && clean[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            clean[i] = u'?';
        }
    }
    return clean.toUtf8();
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
    // Bytes of a name that are not UTF-8 show as the replacement character.
    QString s = PathBytes::forDisplay(text);
    s.replace(u'\r', u'?').replace(u'\n', u'?');
    return s;
}

}  // namespace LocaleText
