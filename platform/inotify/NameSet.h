#pragma once
#include <QtGlobal>

#include <cstring>
#include <string_view>

// The entries one folder holds, by the exact bytes of their names, each with whether it is a
// folder: what a watch knows of the folder, so that a later listing can be compared with it.
// Kept small, in one block: the names one after another (two bytes each ahead of the name), and
// for folders of more than a few entries a table of 4-byte places to find them by. An entry
// costs its name's length plus about 8 bytes; a folder's block costs 32 bytes more.
//
// Copies share their block until one of them changes (a copy kept to compare with later costs
// nothing while the folder stays as it was). Not for several threads at once.
class NameSet {
public:
    NameSet() = default;
    NameSet(const NameSet& other);
    NameSet& operator=(const NameSet& other);
    NameSet(NameSet&& other) noexcept : b_(other.b_) { other.b_ = nullptr; }
    NameSet& operator=(NameSet&& other) noexcept;
    ~NameSet() { release(); }

    // True when the name was not there (a name that was there takes the new kind).
    bool insert(std::string_view name, bool isDir);
    // True when the name was there; `wasDir` tells its kind.
    bool erase(std::string_view name, bool* wasDir = nullptr);
    bool contains(std::string_view name, bool* isDir = nullptr) const;
    qsizetype size() const { return b_ ? qsizetype(b_->live) : 0; }
    bool isEmpty() const { return size() == 0; }
    void clear() { release(); }
    // Room for that many more entries with names of that many bytes in all.
    void reserve(qsizetype entries, qsizetype nameBytes);
    // The bytes held for it (a shared block counted in full).
    qint64 memoryBytes() const;

    // Calls f(name, isDir) for every entry, in the order they came.
    template <class F>
    void forEach(F f) const
    {
        if (!b_) return;
        const char* at = names(b_);
        const char* end = at + b_->used;
        while (at < end) {
            const quint8 len = quint8(at[0]), flags = quint8(at[1]);
            if (!(flags & kErased)) f(std::string_view(at + 2, len), (flags & kDir) != 0);
            at += 2 + len;
        }
    }

private:
    static constexpr quint8 kDir = 1;
    static constexpr quint8 kErased = 2;
    static constexpr quint32 kNoSlot = 0;
    static constexpr quint32 kErasedSlot = 1;  // else: the entry's offset + 2
    static constexpr quint32 kLinear = 8;      // up to this many entries, no table

    struct Block {
        quint32 refs;
        quint32 live;
        quint32 erasedSlots;
        quint32 tableSize; // size of the table; 0 when there is none
        quint32 used;      // bytes of the names area in use (erased entries included)
        quint32 room;      // bytes of the names area
        quint32 dead;      // bytes of erased entries
        quint32 reserved;
    };
    static quint32* table(Block* b) { return reinterpret_cast<quint32*>(b + 1); }
    static const quint32* table(const Block* b) { return reinterpret_cast<const quint32*>(b + 1); }
    static char* names(Block* b) { return reinterpret_cast<char*>(table(b) + b->tableSize); }
    static const char* names(const Block* b) { return reinterpret_cast<const char*>(table(b) + b->tableSize); }

    // The entry's offset in the names area, -1 when absent.
    qint64 find(std::string_view name) const;
    qint64 findSlot(std::string_view name, size_t hash) const;
    // A block of its own with room for `entries` live entries and `bytes` of names.
    void rebuild(quint32 entries, quint32 bytes);
    void detach();
    void release();

    Block* b_ = nullptr;
};
