#include "ui/TLiveLogViewStore.h"

namespace {

void putVarint(QByteArray& out, quint64 n)
{
    while (n >= 0x80) {
        out.append(char(n | 0x80));
        n >>= 7;
    }
    out.append(char(n));
}

quint64 getVarint(const char*& p)
{
    quint64 n = 0;
    for (int shift = 0;; shift += 7) {
        const quint8 b = quint8(*p++);
        n |= quint64(b & 0x7f) << shift;
        if (!(b & 0x80)) return n;
    }
}

}  // namespace

quint8 TLiveLogViewStore::colourIndex(QRgb colour)
{
    const qsizetype i = colours_.indexOf(colour);
    if (i >= 0) return quint8(i);
    // Four colours are used; a 256th would share the last one's place.
    if (colours_.size() == 256) return 255;
    colours_.append(colour);
    return quint8(colours_.size() - 1);
}

void TLiveLogViewStore::append(QRgb colour, const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    if (count_ % kBlock == 0) {
        if (!blocks_.empty()) blocks_.back().squeeze();
        blocks_.emplace_back();
        blocks_.back().reserve(1024);
        last_.clear();
    }
    qsizetype shared = 0;
    const qsizetype most = qMin(utf8.size(), last_.size());
    while (shared < most && utf8[shared] == last_[shared]) ++shared;

    QByteArray& block = blocks_.back();
    block.append(char(colourIndex(colour)));
    putVarint(block, quint64(shared));
    putVarint(block, quint64(utf8.size() - shared));
    block.append(utf8.constData() + shared, utf8.size() - shared);
    last_ = utf8;
    ++count_;
    // The block being written may be one that was decoded.
    for (Decoded& d : decoded_)
        if (d.block == qsizetype(blocks_.size()) - 1) d.block = -1;
}

const TLiveLogViewStore::Decoded& TLiveLogViewStore::decode(qsizetype block) const
{
    for (const Decoded& d : decoded_)
        if (d.block == block) return d;
    Decoded& d = decoded_[nextSlot_];
    nextSlot_ = (nextSlot_ + 1) % 2;
    d.block = block;
    d.texts.clear();
    d.colours.clear();
    const QByteArray& data = blocks_[size_t(block)];
    const char* p = data.constData();
    const char* end = p + data.size();
    QByteArray line;
    while (p < end) {
        d.colours.push_back(quint8(*p++));
        const qsizetype shared = qsizetype(getVarint(p));
        const qsizetype rest = qsizetype(getVarint(p));
        line.truncate(shared);
        line.append(p, rest);
        p += rest;
        d.texts.push_back(QString::fromUtf8(line));
    }
    return d;
}

QString TLiveLogViewStore::text(qsizetype line) const
{
    if (line < 0 || line >= count_) return {};
    return decode(line / kBlock).texts[size_t(line % kBlock)];
}

QRgb TLiveLogViewStore::colour(qsizetype line) const
{
    if (line < 0 || line >= count_) return 0;
    return colours_.value(decode(line / kBlock).colours[size_t(line % kBlock)]);
}

void TLiveLogViewStore::clear()
{
    blocks_.clear();
    blocks_.shrink_to_fit();
    last_.clear();
    count_ = 0;
    for (Decoded& d : decoded_) d = Decoded();
}

qsizetype TLiveLogViewStore::bytes() const
{
    qsizetype n = last_.capacity();
    for (const QByteArray& b : blocks_) n += b.capacity() + qsizetype(sizeof b);
    return n;
}
