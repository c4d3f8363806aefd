#include "platform/shell/ItemIdList.h"

#include "platform/text/PathBytes.h"

namespace {

constexpr int kMaxItemSize = 0xFFFF;

quint16 readSize(const QByteArray& b, qsizetype at)
{
    return quint16(quint8(b[at])) | quint16(quint8(b[at + 1]) << 8);
}

void appendSize(QByteArray& b, quint16 size)
{
    b.append(char(size & 0xFF));
    b.append(char(size >> 8));
}

QByteArray terminator() { return QByteArray(2, '\0'); }

}  // namespace

ItemIdList ItemIdList::desktop() { return ItemIdList(terminator()); }

ItemIdList ItemIdList::rawElement(const QByteArray& payload)
{
    const QByteArray body = payload.left(kMaxItemSize - 2);
    QByteArray b;
    b.reserve(body.size() + 4);
    appendSize(b, quint16(body.size() + 2));
    b.append(body);
    b.append(terminator());
    return ItemIdList(b);
}

ItemIdList ItemIdList::element(Kind kind, const QString& text)
{
    QByteArray payload(1, char(kind));
    QByteArray utf8 = PathBytes::encode(text);
    const qsizetype room = kMaxItemSize - 3;
    if (utf8.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (quint8(utf8[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        utf8.truncate(cut);
    }
    payload.append(utf8);
    return rawElement(payload);
}

int ItemIdList::count() const
{
    if (isNull()) return 0;
    int n = 0;
    for (qsizetype at = 0; readSize(bytes_, at) != 0; at += readSize(bytes_, at)) ++n;
    return n;
}

qsizetype ItemIdList::offsetOf(int index) const
{
    if (isNull() || index < 0) return -1;
    qsizetype at = 0;
    for (int i = 0; i < index; ++i) {
        const quint16 size = readSize(bytes_, at);
        if (size == 0) return -1;
        at += size;
    }
    return readSize(bytes_, at) == 0 ? -1 : at;
}

QByteArray ItemIdList::payload(int index) const
{
    const qsizetype at = offsetOf(index);
    if (at < 0) return {};
    return bytes_.mid(at + 2, readSize(bytes_, at) - 2);
}

namespace {

ItemIdList::Kind kindOf(quint8 byte)
{
    using Kind = ItemIdList::Kind;
    switch (byte) {
    case quint8(Kind::Folder): return Kind::Folder;
    case quint8(Kind::File): return Kind::File;
    case quint8(Kind::Home): return Kind::Home;
    case quint8(Kind::Computer): return Kind::Computer;
    case quint8(Kind::Volume): return Kind::Volume;
    default: return Kind::Unknown;
    }
}

}  // namespace

ItemIdList::Kind ItemIdList::kind(int index) const
{
    const QByteArray p = payload(index);
    return p.isEmpty() ? Kind::Unknown : kindOf(quint8(p[0]));
}

bool ItemIdList::next(qsizetype& at, Kind& kind, QByteArrayView& text) const
{
    if (isNull() || at < 0 || at + 2 > bytes_.size()) return false;
    const quint16 size = readSize(bytes_, at);
    if (size == 0) return false;
    const char* p = bytes_.constData() + at + 2;
    const qsizetype length = size - 2;
    kind = length > 0 ? kindOf(quint8(p[0])) : Kind::Unknown;
    text = length > 1 ? QByteArrayView(p + 1, length - 1) : QByteArrayView();
    at += size;
    return true;
}

QString ItemIdList::text(int index) const
{
    const QByteArray p = payload(index);
    return p.size() > 1 ? PathBytes::decode(p.constData() + 1, p.size() - 1) : QString();
}

ItemIdList ItemIdList::parent() const
{
    const int n = count();
    if (n == 0) return {};
    QByteArray b = bytes_.left(offsetOf(n - 1));
    b.append(terminator());
    return ItemIdList(b);
}

ItemIdList ItemIdList::lastElement() const
{
    const int n = count();
    if (isNull() || n == 0) return isNull() ? ItemIdList() : desktop();
    const qsizetype at = offsetOf(n - 1);
    QByteArray b = bytes_.mid(at, readSize(bytes_, at));
    b.append(terminator());
    return ItemIdList(b);
}

ItemIdList ItemIdList::appended(const ItemIdList& relative) const
{
    if (isNull() || relative.isNull()) return {};
    QByteArray b = bytes_.left(bytes_.size() - 2);
    b.append(relative.bytes_);
    return ItemIdList(b);
}

