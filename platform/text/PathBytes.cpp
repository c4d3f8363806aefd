#include "platform/text/PathBytes.h"

namespace PathBytes {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // + the byte (0x80..0xFF)
constexpr char16_t kReplacement = 0xFFFD;

bool isEscape(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), 0 when there is none;
// `cp` receives its code point. Overlong forms, encoded surrogates and values past U+10FFFF
// are not valid.
int sequence(const unsigned char* p, qsizetype left, char32_t& cp)
{
    const unsigned char b = p[0];
    int n;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2, min = 0x80, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3, min = 0x800, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4, min = 0x10000, cp = b & 0x07;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

QString decode(const char* bytes, qsizetype size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    qsizetype ascii = 0;
    while (ascii < size && p[ascii] < 0x80) ++ascii;
    if (ascii == size) return QString::fromLatin1(bytes, size);
    QString out;
    out.reserve(size);
    out.append(QLatin1StringView(bytes, ascii));
    for (qsizetype i = ascii; i < size;) {
        if (p[i] < 0x80) {
            out.append(QChar(char16_t(p[i++])));
            continue;
        }
        char32_t cp;
        const int n = sequence(p + i, size - i, cp);
        if (n == 0) {
            out.append(QChar(char16_t(kEscapeBase + p[i++])));
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += n;
    }
    return out;
}

QByteArray encode(QStringView path)
{
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
        } else if (isEscape(c)) {
            out.append(char(c - kEscapeBase));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode())) {
            const char32_t cp = QChar::surrogateToUcs4(c, path[i + 1].unicode());
            ++i;
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            // Other lone surrogates never come from a name; they stand for what they replace.
            const char16_t v = QChar::isSurrogate(c) ? kReplacement : c;
            if (v < 0x800) {
                out.append(char(0xC0 | (v >> 6)));
            } else {
                out.append(char(0xE0 | (v >> 12)));
                out.append(char(0x80 | ((v >> 6) & 0x3F)));
            }
            out.append(char(0x80 | (v & 0x3F)));
        }
    }
    return out;
}

bool hasRawBytes(QStringView path)
{
    for (QChar c : path)
        if (isEscape(c.unicode())) return true;
    return false;
}

QString forDisplay(const QString& text)
{
    if (!hasRawBytes(text)) return text;
    QString out = text;
    for (QChar& c : out)
        if (isEscape(c.unicode())) c = QChar(kReplacement);
    return out;
}

}  // namespace PathBytes
