#pragma once
#include "ui/TJvDesktopAlertTypes.h"

#include <QList>
#include <QRect>

class TJvFormDesktopAlert;

// Arranges the shown alert windows in a column from one corner of the work area, in the order
// in which they were shown. One shared stack serves every alert.
class TJvDesktopAlertStack {
public:
    explicit TJvDesktopAlertStack(TJvDesktopAlertPosition position = dapBottomRight);

    // The stack of every alert that names none of its own; lives until the program ends.
    static TJvDesktopAlertStack& shared();
    // The primary screen's work area (the desktop without panels and task bars); the whole
    // screen from (0, 0) when the platform does not give one.
    static QRect workArea();

    TJvDesktopAlertPosition Position() const { return position_; }

    void Add(TJvFormDesktopAlert* window);
    void Remove(TJvFormDesktopAlert* window);
    int GetCount() const { return int(items_.size()); }
    virtual void UpdatePositions();

    virtual ~TJvDesktopAlertStack() = default;

private:
    TJvDesktopAlertPosition position_;
    QList<TJvFormDesktopAlert*> items_;  // nullptr: a cleared entry
};
