#pragma once
#include <memory>
#include <vector>

// A list that owns its elements: destroying the list destroys every element. An element can
// be destroyed in place (`Free`), leaving none at its index, so that indexes held elsewhere stay
// valid.
template <class T>
class TStOwningList {
public:
    int Count() const { return int(FList.size()); }
    T* operator[](int index) const { return index >= 0 && index < Count() ? FList[size_t(index)].get() : nullptr; }
    int Add(std::unique_ptr<T> element)
    {
        FList.push_back(std::move(element));
        return Count() - 1;
    }
    void Free(int index)
    {
        if (index >= 0 && index < Count()) FList[size_t(index)].reset();
    }
    void Clear() { FList.clear(); }

    std::vector<std::unique_ptr<T>> FList;
};
