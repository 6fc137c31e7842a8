// Copies of the hardware structure and of the networks tree handed to clients.
// A copy stays valid until the thread that got it asks the same export again
// (or the library is uninitialised); then the library frees it. Clients never
// free copies, so a client that polls for hours holds one copy per export.
#pragma once

#include "tovamod.h"

// Frees the calling thread's previous hardware copy and keeps Copy (nil keeps
// nothing) in its place; returns Copy, or nil when it cannot be kept (it is
// freed then).
THardwareStructure* KeepHardwareCopy(THardwareStructure* Copy) noexcept;
// The same for copies of the networks tree.
TZ5_HardLock_Networks* KeepNetworksCopy(TZ5_HardLock_Networks* Copy) noexcept;
// Frees every kept copy of every thread.
void FreeClientCopies() noexcept;
