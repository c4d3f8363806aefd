#pragma once
#include "notify/TStCustomShellNotification.h"

// The change-notification component as the program uses it: every property and event of
// TStCustomShellNotification, nothing added.
class TStShellNotification : public TStCustomShellNotification {
    Q_OBJECT
public:
    explicit TStShellNotification(QObject* owner = nullptr) : TStCustomShellNotification(owner) {}
};
