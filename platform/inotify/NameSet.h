#pragma once
#include <QtGlobal>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The entries one folder holds, by the exact bytes of their names, each with whether it is a
// folder: what a watch knows of the folder, so that a later listing can be compared with it.
// Kept small: the names one after another in one block, and a table of 4-byte places, so an
// entry costs its name's length plus about 7 bytes.
//
// Copies share their contents until one of them changes (a copy kept to compare with later
// costs nothing while the folder stays as it was).
class NameSet {
public:
    // True when the name was not there (a name that was there takes the new kind).
    bool insert(std::string_view name, bool isDir);
    // True when the name was there; `wasDir` tells its kind.
    bool erase(std::string_view name, bool* wasDir = nullptr);
    bool contains(std::string_view name, bool* isDir = nullptr) const;
    qsizetype size() const { return d_ ? d_->live : 0; }
    bool isEmpty() const { return size() == 0; }
    void clear() { d_.reset(); }
    // The bytes held for it (shared contents counted in full).
    qint64 memoryBytes() const;

    // Calls f(name, isDir) for every entry, in no particular order.
    template <class F>
    void forEach(F f) const
    {
        if (!d_) return;
        for (quint32 slot : d_->table) {
            if (slot < kFirstEntry) continue;
            f(d_->nameAt(slot), (slot & 1u) != 0);
        }
    }

private:
    static constexpr quint32 kEmpty = 0;
    static constexpr quint32 kErased = 1;
    static constexpr quint32 kFirstEntry = 2;

    struct Data {
        std::string names;            // per entry: one length byte, then the name
        std::vector<quint32> table;   // kEmpty, kErased, or ((offset + 1) << 1 | isDir)
        qsizetype live = 0;
        qsizetype erased = 0;         // slots marked kErased
        qsizetype deadBytes = 0;      // bytes of erased names still in `names`
        std::string_view nameAt(quint32 slot) const
        {
            const size_t at = (slot >> 1) - 1;
            return std::string_view(names.data() + at + 1, quint8(names[at]));
        }
        qsizetype find(std::string_view name, size_t hash) const;
        void rebuild(size_t capacity);
    };

    Data& detached();

    std::shared_ptr<Data> d_;
};
