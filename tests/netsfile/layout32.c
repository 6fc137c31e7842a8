/* Compiled with -m32: the networks tree records keep their 32-bit offsets. */
#include <stddef.h>

#include "tovamod.h"

_Static_assert(sizeof(void*) == 4, "compile with -m32");

_Static_assert(offsetof(TZ5_HardLock_Networks, Password) == 0, "");
_Static_assert(offsetof(TZ5_HardLock_Networks, PasswordIsActivated) == 4, "");
_Static_assert(offsetof(TZ5_HardLock_Networks, First) == 8, "");
_Static_assert(sizeof(TZ5_HardLock_Networks) == 12, "");

_Static_assert(offsetof(TZ5_HardLock_Network, Activated) == 0, "");
_Static_assert(offsetof(TZ5_HardLock_Network, isQuickLock) == 1, "");
_Static_assert(offsetof(TZ5_HardLock_Network, Date) == 4, "");
_Static_assert(offsetof(TZ5_HardLock_Network, Description) == 8, "");
_Static_assert(offsetof(TZ5_HardLock_Network, PK) == 12, "");
_Static_assert(offsetof(TZ5_HardLock_Network, Hardwares) == 16, "");
_Static_assert(offsetof(TZ5_HardLock_Network, Next) == 20, "");
_Static_assert(sizeof(TZ5_HardLock_Network) == 24, "");

_Static_assert(offsetof(TZ5_HardLock_Device, Type) == 0, "");
_Static_assert(offsetof(TZ5_HardLock_Device, MAC_ID) == 4, "");
_Static_assert(offsetof(TZ5_HardLock_Device, WChannel) == 8, "");
_Static_assert(offsetof(TZ5_HardLock_Device, Next) == 12, "");
_Static_assert(offsetof(TZ5_HardLock_Device, Sensors) == 16, "");
_Static_assert(sizeof(TZ5_HardLock_Device) == 20, "");

_Static_assert(offsetof(TZ5_HardLock_Sensor, Type) == 0, "");
_Static_assert(offsetof(TZ5_HardLock_Sensor, MAC_ID) == 4, "");
_Static_assert(offsetof(TZ5_HardLock_Sensor, Next) == 8, "");
_Static_assert(sizeof(TZ5_HardLock_Sensor) == 12, "");
