#pragma once
#include "instance/TJvAppInstances.h"

#include <memory>

// The guard as the program entry runs it, before the main window is made.
//
// Returns the guard of a copy that may run: keep it for the whole run and hand it the main
// window (setMainWindow). A refused copy shows "Vesmor is already running !", brings the running
// copy forward and ends with exit code 0 inside this call. When the shared memory or the lock
// can't be created, an error box names the object and the result is empty: the program must not
// start.
std::unique_ptr<TJvAppInstances> guardStart();

// OnRejected of the guard jvpnstncs1: the warning box of a refused copy.
void jvpnstncs1Rejected(QObject* Sender);
