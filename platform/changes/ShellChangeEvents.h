#pragma once
#include <QtGlobal>

// Event bits of a change notice (the desktop shell's SHCNE values).
constexpr quint32 SHCNE_RENAMEITEM = 0x1;
constexpr quint32 SHCNE_CREATE = 0x2;
constexpr quint32 SHCNE_DELETE = 0x4;
constexpr quint32 SHCNE_MKDIR = 0x8;
constexpr quint32 SHCNE_RMDIR = 0x10;
constexpr quint32 SHCNE_MEDIAINSERTED = 0x20;
constexpr quint32 SHCNE_MEDIAREMOVED = 0x40;
constexpr quint32 SHCNE_DRIVEREMOVED = 0x80;
constexpr quint32 SHCNE_DRIVEADD = 0x100;
constexpr quint32 SHCNE_NETSHARE = 0x200;
constexpr quint32 SHCNE_NETUNSHARE = 0x400;
constexpr quint32 SHCNE_ATTRIBUTES = 0x800;
constexpr quint32 SHCNE_UPDATEDIR = 0x1000;
constexpr quint32 SHCNE_UPDATEITEM = 0x2000;
constexpr quint32 SHCNE_SERVERDISCONNECT = 0x4000;
constexpr quint32 SHCNE_UPDATEIMAGE = 0x8000;
constexpr quint32 SHCNE_DRIVEADDGUI = 0x10000;
constexpr quint32 SHCNE_RENAMEFOLDER = 0x20000;
constexpr quint32 SHCNE_FREESPACE = 0x40000;
constexpr quint32 SHCNE_ASSOCCHANGED = 0x8000000;
constexpr quint32 SHCNE_INTERRUPT = 0x80000000;
constexpr quint32 SHCNE_ALLEVENTS = 0x7FFFFFFF;

// Where notices come from (accepted for the shape of the call; every notice here comes from
// the file system, at interrupt level).
constexpr int SHCNRF_InterruptLevel = 0x1;
constexpr int SHCNRF_ShellLevel = 0x2;
constexpr int SHCNRF_RecursiveInterrupt = 0x1000;
constexpr int SHCNRF_NewDelivery = 0x8000;
