#pragma once

// A special folder of the shell, by its special-folder number (CSIDL).
enum TStSpecialRootFolder {
    sfAltStartup,
    sfAppData,
    sfBitBucket,
    sfCommonAltStartup,
    sfCommonDesktopDir,
    sfCommonFavorites,
    sfCommonPrograms,
    sfCommonStartMenu,
    sfCommonStartup,
    sfConnections,
    sfControls,
    sfCookies,
    sfDesktop,
    sfDesktopDir,
    sfDrives,
    sfFavorites,
    sfFonts,
    sfHistory,
    sfInternet,
    sfInternetCache,
    sfNetHood,
    sfNetwork,
    sfNone,
    sfPersonal,
    sfPrinters,
    sfPrintHood,
    sfPrograms,
    sfRecentFiles,
    sfSendTo,
    sfStartMenu,
    sfStartup,
    sfTemplates,
};

constexpr int kSpecialRootFolderCount = 32;

// The CSIDL of each member, in member order (sfNone: the desktop's).
constexpr int kSpecialFolderCsidl[kSpecialRootFolderCount] = {
    0x1d, 0x1a, 0xa,  0x1e, 0x19, 0x1f, 0x17, 0x16, 0x18, 0x31, 0x3,  0x21, 0x0,  0x10, 0x11, 0x6,
    0x14, 0x22, 0x1,  0x20, 0x13, 0x12, 0x0,  0x5,  0x4,  0x1b, 0x2,  0x8,  0x9,  0xb,  0x7,  0x15,
};

constexpr int SpecialFolderCsidl(TStSpecialRootFolder f) { return kSpecialFolderCsidl[int(f)]; }

// The members that need shell version 4.7: CSIDL 0x1 and 0x1d to 0x22.
constexpr bool NeedsShell47(TStSpecialRootFolder f)
{
    const int c = SpecialFolderCsidl(f);
    return c == 0x1 || (c >= 0x1d && c <= 0x22);
}
