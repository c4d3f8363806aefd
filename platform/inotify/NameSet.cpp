#include "platform/inotify/NameSet.h"

#include <functional>

namespace {

size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

size_t capacityFor(qsizetype entries)
{
    size_t c = 8;
    while (c * 3 < size_t(entries + 1) * 4) c *= 2;  // at most three quarters full
    return c;
}

}  // namespace

qsizetype NameSet::Data::find(std::string_view name, size_t hash) const
{
    if (table.empty()) return -1;
    const size_t mask = table.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const quint32 s = table[i];
        if (s == kEmpty) return -1;
        if (s >= kFirstEntry && nameAt(s) == name) return qsizetype(i);
    }
}

void NameSet::Data::rebuild(size_t capacity)
{
    std::string packed;
    packed.reserve(names.size() - size_t(deadBytes));
    std::vector<quint32> fresh(capacity, kEmpty);
    const size_t mask = capacity - 1;
    for (quint32 s : table) {
        if (s < kFirstEntry) continue;
        const std::string_view n = nameAt(s);
        const quint32 entry = quint32((packed.size() + 1) << 1) | (s & 1u);
        packed.push_back(char(quint8(n.size())));
        packed.append(n);
        size_t i = hashOf(n) & mask;
        while (fresh[i] != kEmpty) i = (i + 1) & mask;
        fresh[i] = entry;
    }
    names = std::move(packed);
    table = std::move(fresh);
    erased = 0;
    deadBytes = 0;
}

NameSet::Data& NameSet::detached()
{
    if (!d_) {
        d_ = std::make_shared<Data>();
    } else if (d_.use_count() > 1) {
        d_ = std::make_shared<Data>(*d_);
    }
    return *d_;
}

bool NameSet::insert(std::string_view name, bool isDir)
{
    if (name.empty() || name.size() > 255) return false;  // no such name on Linux
    const size_t hash = hashOf(name);
    if (d_) {
        const qsizetype at = d_->find(name, hash);
        if (at >= 0) {
            if (((d_->table[size_t(at)] & 1u) != 0) != isDir) detached().table[size_t(at)] ^= 1u;
            return false;
        }
    }
    Data& d = detached();
    if (size_t(d.live + d.erased + 1) * 4 > d.table.size() * 3) d.rebuild(capacityFor(d.live + 1));
    const quint32 entry = quint32((d.names.size() + 1) << 1) | (isDir ? 1u : 0u);
    d.names.push_back(char(quint8(name.size())));
    d.names.append(name);
    const size_t mask = d.table.size() - 1;
    size_t i = hash & mask;
    while (d.table[i] >= kFirstEntry) i = (i + 1) & mask;
    if (d.table[i] == kErased) --d.erased;
    d.table[i] = entry;
    ++d.live;
    return true;
}

bool NameSet::erase(std::string_view name, bool* wasDir)
{
    if (!d_) return false;
    const size_t hash = hashOf(name);
    if (d_->find(name, hash) < 0) return false;
    Data& d = detached();
    const size_t at = size_t(d.find(name, hash));
    if (wasDir) *wasDir = d.table[at] & 1u;
    d.deadBytes += qsizetype(name.size()) + 1;
    d.table[at] = kErased;
    ++d.erased;
    --d.live;
    // Names of erased entries are dropped once they outweigh the living ones.
    if (d.deadBytes > 4096 && d.deadBytes * 2 > qsizetype(d.names.size())) d.rebuild(capacityFor(d.live));
    return true;
}

bool NameSet::contains(std::string_view name, bool* isDir) const
{
    if (!d_) return false;
    const qsizetype at = d_->find(name, hashOf(name));
    if (at < 0) return false;
    if (isDir) *isDir = d_->table[size_t(at)] & 1u;
    return true;
}

qint64 NameSet::memoryBytes() const
{
    if (!d_) return 0;
    return qint64(sizeof(Data) + d_->names.capacity() + d_->table.capacity() * sizeof(quint32));
}
