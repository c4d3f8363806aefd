#pragma once
#include <QColor>
#include <QFlags>

// The settings types of the desktop alert: its options, placement and colours.

enum TJvDesktopAlertOption {
    daoCanClick = 0x1,         // the message can be clicked
    daoCanMove = 0x2,          // the window can be dragged by its top strip
    daoCanMoveAnywhere = 0x4,  // ... and by any point not covered by a child control
    daoCanClose = 0x8,         // the close button is shown
};
Q_DECLARE_FLAGS(TJvDesktopAlertOptions, TJvDesktopAlertOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TJvDesktopAlertOptions)

enum TJvDesktopAlertPosition { dapTopLeft, dapTopRight, dapBottomLeft, dapBottomRight, dapCustom };

struct TJvDesktopAlertColors {
    QColor WindowFrom{206, 231, 255};
    QColor WindowTo{123, 166, 231};
    QColor CaptionFrom{82, 134, 214};
    QColor CaptionTo{16, 65, 148};
    QColor Frame{0, 48, 148};  // kept; the frame is drawn grey
};

struct TJvDesktopAlertLocation {
    TJvDesktopAlertPosition Position = dapBottomRight;
    int Top = 0;
    int Left = 0;
    int Width = 0;   // 0: the window's own width (329)
    int Height = 0;  // 0: the window's own height (76)
    bool AlwaysResetPosition = true;
};
