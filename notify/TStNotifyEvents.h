#pragma once
#include "platform/changes/ShellChangeEvents.h"

#include <QtGlobal>

#include <initializer_list>

// The twenty kinds of change the notification component raises; member n is bit n of the set.
enum TStNotifyEvents {
    neAssociationChange,
    neAttributesChange,
    neFileChange,
    neFileCreate,
    neFileDelete,
    neFileRename,
    neDriveAdd,
    neDriveRemove,
    neShellDriveAdd,
    neDriveSpaceChange,
    neMediaInsert,
    neMediaRemove,
    neFolderCreate,
    neFolderDelete,
    neFolderRename,
    neFolderUpdate,
    neNetShare,
    neNetUnShare,
    neServerDisconnect,
    neImageListChange,
};

constexpr int kNotifyEventCount = 20;

// A set of TStNotifyEvents (three bytes' worth of bits).
class TStNotifyEventsSet {
public:
    constexpr TStNotifyEventsSet() = default;
    constexpr TStNotifyEventsSet(std::initializer_list<TStNotifyEvents> members)
    {
        for (TStNotifyEvents m : members) bits_ |= bit(m);
    }
    static constexpr TStNotifyEventsSet All() { return fromBits((1u << kNotifyEventCount) - 1); }
    static constexpr TStNotifyEventsSet fromBits(quint32 bits)
    {
        TStNotifyEventsSet s;
        s.bits_ = bits & ((1u << kNotifyEventCount) - 1);
        return s;
    }

    constexpr bool Contains(TStNotifyEvents m) const { return bits_ & bit(m); }
    constexpr void Include(TStNotifyEvents m) { bits_ |= bit(m); }
    constexpr quint32 Bits() const { return bits_; }
    constexpr int Count() const
    {
        int n = 0;
        for (quint32 b = bits_; b; b &= b - 1) ++n;
        return n;
    }

    constexpr TStNotifyEventsSet& operator<<(TStNotifyEvents m)
    {
        Include(m);
        return *this;
    }
    friend constexpr TStNotifyEventsSet operator+(TStNotifyEventsSet a, TStNotifyEventsSet b) { return fromBits(a.bits_ | b.bits_); }
    friend constexpr TStNotifyEventsSet operator-(TStNotifyEventsSet a, TStNotifyEventsSet b) { return fromBits(a.bits_ & ~b.bits_); }
    friend constexpr bool operator==(TStNotifyEventsSet a, TStNotifyEventsSet b) { return a.bits_ == b.bits_; }

private:
    static constexpr quint32 bit(TStNotifyEvents m) { return 1u << int(m); }
    quint32 bits_ = 0;
};

// Each member with its shell event bit, in the order the events of one notice are raised (an
// attribute change is raised at once, as its notice comes).
struct TStNotifyEventBit {
    TStNotifyEvents member;
    quint32 bit;
};
constexpr TStNotifyEventBit kNotifyEventBits[kNotifyEventCount] = {
    {neAttributesChange, SHCNE_ATTRIBUTES},
    {neAssociationChange, SHCNE_ASSOCCHANGED},
    {neFileChange, SHCNE_UPDATEITEM},
    {neFileCreate, SHCNE_CREATE},
    {neFileDelete, SHCNE_DELETE},
    {neFileRename, SHCNE_RENAMEITEM},
    {neDriveAdd, SHCNE_DRIVEADD},
    {neDriveRemove, SHCNE_DRIVEREMOVED},
    {neShellDriveAdd, SHCNE_DRIVEADDGUI},
    {neMediaInsert, SHCNE_MEDIAINSERTED},
    {neMediaRemove, SHCNE_MEDIAREMOVED},
    {neFolderCreate, SHCNE_MKDIR},
    {neFolderDelete, SHCNE_RMDIR},
    {neFolderRename, SHCNE_RENAMEFOLDER},
    {neFolderUpdate, SHCNE_UPDATEDIR},
    {neNetShare, SHCNE_NETSHARE},
    {neNetUnShare, SHCNE_NETUNSHARE},
    {neServerDisconnect, SHCNE_SERVERDISCONNECT},
    {neImageListChange, SHCNE_UPDATEIMAGE},
    {neDriveSpaceChange, SHCNE_FREESPACE},
};

namespace TStNotifyEventChecks {
constexpr bool everyMemberOnce()
{
    quint32 seen = 0;
    for (const TStNotifyEventBit& b : kNotifyEventBits) seen |= 1u << int(b.member);
    return seen == (1u << kNotifyEventCount) - 1;
}
static_assert(everyMemberOnce(), "every member has its bit");
}  // namespace TStNotifyEventChecks

// The shell event mask of a set.
constexpr quint32 ShellEventMask(TStNotifyEventsSet set)
{
    quint32 mask = 0;
    for (const TStNotifyEventBit& b : kNotifyEventBits)
        if (set.Contains(b.member)) mask |= b.bit;
    return mask;
}
