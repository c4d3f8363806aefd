#pragma once
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

// The shell's event bit of each member, in member order.
constexpr quint32 kShellEventBits[kNotifyEventCount] = {
    0x8000000,  // neAssociationChange  SHCNE_ASSOCCHANGED
    0x800,      // neAttributesChange   SHCNE_ATTRIBUTES
    0x2000,     // neFileChange         SHCNE_UPDATEITEM
    0x2,        // neFileCreate         SHCNE_CREATE
    0x4,        // neFileDelete         SHCNE_DELETE
    0x1,        // neFileRename         SHCNE_RENAMEITEM
    0x100,      // neDriveAdd           SHCNE_DRIVEADD
    0x80,       // neDriveRemove        SHCNE_DRIVEREMOVED
    0x10000,    // neShellDriveAdd      SHCNE_DRIVEADDGUI
    0x40000,    // neDriveSpaceChange   SHCNE_FREESPACE
    0x20,       // neMediaInsert        SHCNE_MEDIAINSERTED
    0x40,       // neMediaRemove        SHCNE_MEDIAREMOVED
    0x8,        // neFolderCreate       SHCNE_MKDIR
    0x10,       // neFolderDelete       SHCNE_RMDIR
    0x20000,    // neFolderRename       SHCNE_RENAMEFOLDER
    0x1000,     // neFolderUpdate       SHCNE_UPDATEDIR
    0x200,      // neNetShare           SHCNE_NETSHARE
    0x400,      // neNetUnShare         SHCNE_NETUNSHARE
    0x4000,     // neServerDisconnect   SHCNE_SERVERDISCONNECT
    0x8000,     // neImageListChange    SHCNE_UPDATEIMAGE
};

// The shell event mask of a set.
constexpr quint32 ShellEventMask(TStNotifyEventsSet set)
{
    quint32 mask = 0;
    for (int n = 0; n < kNotifyEventCount; ++n)
        if (set.Contains(TStNotifyEvents(n))) mask |= kShellEventBits[n];
    return mask;
}
