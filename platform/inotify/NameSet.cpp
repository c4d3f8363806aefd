#include "platform/inotify/NameSet.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <new>

namespace {

size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

quint32 slotsFor(quint32 entries)
{
    if (entries <= 8) return 0;
    quint32 c = 16;
    while (c * 3 < (entries + 1) * 4) c *= 2;  // at most three quarters full
    return c;
}

}  // namespace

NameSet::NameSet(const NameSet& other) : b_(other.b_)
{
    if (b_) ++b_->refs;
}

NameSet& NameSet::operator=(const NameSet& other)
{
    if (this != &other) {
        if (other.b_) ++other.b_->refs;
        release();
        b_ = other.b_;
    }
    return *this;
}

NameSet& NameSet::operator=(NameSet&& other) noexcept
{
    if (this != &other) {
        release();
        b_ = other.b_;
        other.b_ = nullptr;
    }
    return *this;
}

void NameSet::release()
{
    if (b_ && --b_->refs == 0) std::free(b_);
    b_ = nullptr;
}

qint64 NameSet::memoryBytes() const
{
    if (!b_) return 0;
    return qint64(sizeof(Block)) + qint64(b_->tableSize) * 4 + b_->room;
}

qint64 NameSet::findSlot(std::string_view name, size_t hash) const
{
    const quint32* t = table(b_);
    const char* n = names(b_);
    const size_t mask = b_->tableSize - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const quint32 s = t[i];
        if (s == kNoSlot) return -1;
        if (s == kErasedSlot) continue;
        const char* e = n + (s - 2);
        if (quint8(e[0]) == name.size() && std::memcmp(e + 2, name.data(), name.size()) == 0) return qint64(i);
    }
}

qint64 NameSet::find(std::string_view name) const
{
    if (!b_) return -1;
    if (b_->tableSize) {
        const qint64 slot = findSlot(name, hashOf(name));
        return slot < 0 ? -1 : qint64(table(b_)[slot] - 2);
    }
    const char* n = names(b_);
    for (quint32 at = 0; at < b_->used;) {
        const quint8 len = quint8(n[at]);
        if (!(quint8(n[at + 1]) & kErased) && len == name.size() && std::memcmp(n + at + 2, name.data(), len) == 0)
            return at;
        at += 2 + len;
    }
    return -1;
}

void NameSet::rebuild(quint32 entries, quint32 bytes)
{
    const quint32 tableSlots = slotsFor(entries);
    const size_t size = sizeof(Block) + size_t(tableSlots) * 4 + bytes;
    auto* fresh = static_cast<Block*>(std::malloc(size));
    if (!fresh) throw std::bad_alloc();
    *fresh = Block{1, 0, 0, tableSlots, 0, bytes, 0, 0};
    std::memset(table(fresh), 0, size_t(tableSlots) * 4);
    char* out = names(fresh);
    // The living entries, in their order, and their places.
    auto add = [&](std::string_view name, bool isDir) {
        const quint32 at = fresh->used;
        out[at] = char(quint8(name.size()));
        out[at + 1] = char(isDir ? kDir : 0);
        std::memcpy(out + at + 2, name.data(), name.size());
        fresh->used += 2 + quint32(name.size());
        ++fresh->live;
        if (!tableSlots) return;
        quint32* t = table(fresh);
        size_t i = hashOf(name) & (tableSlots - 1);
        while (t[i] != kNoSlot) i = (i + 1) & (tableSlots - 1);
        t[i] = at + 2;
    };
    forEach(add);
    release();
    b_ = fresh;
}

void NameSet::detach()
{
    if (b_ && b_->refs > 1) rebuild(b_->live, b_->room);
}

void NameSet::reserve(qsizetype entries, qsizetype nameBytes)
{
    const quint32 wantEntries = quint32(size() + entries);
    const quint32 wantBytes = (b_ ? b_->used - b_->dead : 0) + quint32(nameBytes + 2 * entries);
    if (b_ && b_->refs == 1 && b_->room - b_->used + b_->dead >= quint32(nameBytes + 2 * entries) &&
        slotsFor(wantEntries) <= b_->tableSize)
        return;
    rebuild(wantEntries, wantBytes);
}

bool NameSet::insert(std::string_view name, bool isDir)
{
    if (name.empty() || name.size() > 255) return false;  // no such name on Linux
    const qint64 found = find(name);
    if (found >= 0) {
        if (((quint8(names(b_)[found + 1]) & kDir) != 0) != isDir) {
            detach();
            names(b_)[find(name) + 1] ^= char(kDir);
        }
        return false;
    }
    const quint32 need = 2 + quint32(name.size());
    const quint32 entries = (b_ ? b_->live : 0) + 1;
    if (!b_ || b_->refs > 1 || b_->used + need > b_->room || slotsFor(entries) > b_->tableSize ||
        (b_->tableSize && (b_->live + b_->erasedSlots + 1) * 4 > b_->tableSize * 3)) {
        // Grown by half again, at least to fit; what erased entries left is dropped meanwhile.
        const quint32 live = b_ ? b_->used - b_->dead : 0;
        const quint32 bytes = std::max(live + need, (live + need) * 3 / 2);
        rebuild(std::max(entries, entries * 3 / 2), bytes);
    }
    char* n = names(b_);
    const quint32 at = b_->used;
    n[at] = char(quint8(name.size()));
    n[at + 1] = char(isDir ? kDir : 0);
    std::memcpy(n + at + 2, name.data(), name.size());
    b_->used += need;
    ++b_->live;
    if (b_->tableSize) {
        quint32* t = table(b_);
        size_t i = hashOf(name) & (b_->tableSize - 1);
        while (t[i] >= 2) i = (i + 1) & (b_->tableSize - 1);
        if (t[i] == kErasedSlot) --b_->erasedSlots;
        t[i] = at + 2;
    }
    return true;
}

bool NameSet::erase(std::string_view name, bool* wasDir)
{
    if (find(name) < 0) return false;
    detach();
    qint64 at;
    if (b_->tableSize) {
        const qint64 slot = findSlot(name, hashOf(name));
        at = qint64(table(b_)[slot] - 2);
        table(b_)[slot] = kErasedSlot;
        ++b_->erasedSlots;
    } else {
        at = find(name);
    }
    char* e = names(b_) + at;
    if (wasDir) *wasDir = quint8(e[1]) & kDir;
    e[1] = char(quint8(e[1]) | kErased);
    b_->dead += 2 + quint32(name.size());
    --b_->live;
    if (b_->live == 0) {
        release();
    } else if (b_->dead > 256 && b_->dead * 2 > b_->used) {
        rebuild(b_->live, b_->used - b_->dead);  // what erased entries left outweighs the rest
    }
    return true;
}

bool NameSet::contains(std::string_view name, bool* isDir) const
{
    const qint64 at = find(name);
    if (at < 0) return false;
    if (isDir) *isDir = quint8(names(b_)[at + 1]) & kDir;
    return true;
}
