/* Compiled with -m32 only, as C and as C++: the networks tree records keep their 32-bit offsets. */
#include <assert.h>
#include <stddef.h>

#include "tovamod.h"

static_assert(sizeof(void*) == 4, "compile with -m32");

static_assert(offsetof(TZ5_HardLock_Networks, Password) == 0, "");
static_assert(offsetof(TZ5_HardLock_Networks, PasswordIsActivated) == 4, "");
static_assert(offsetof(TZ5_HardLock_Networks, First) == 8, "");
static_assert(sizeof(TZ5_HardLock_Networks) == 12, "");

static_assert(offsetof(TZ5_HardLock_Network, Activated) == 0, "");
static_assert(offsetof(TZ5_HardLock_Network, isQuickLock) == 1, "");
static_assert(offsetof(TZ5_HardLock_Network, Date) == 4, "");
static_assert(offsetof(TZ5_HardLock_Network, Description) == 8, "");
static_assert(offsetof(TZ5_HardLock_Network, PK) == 12, "");
static_assert(offsetof(TZ5_HardLock_Network, Hardwares) == 16, "");
static_assert(offsetof(TZ5_HardLock_Network, Next) == 20, "");
static_assert(sizeof(TZ5_HardLock_Network) == 24, "");

static_assert(offsetof(TZ5_HardLock_Device, Type) == 0, "");
static_assert(offsetof(TZ5_HardLock_Device, MAC_ID) == 4, "");
static_assert(offsetof(TZ5_HardLock_Device, WChannel) == 8, "");
static_assert(offsetof(TZ5_HardLock_Device, Next) == 12, "");
static_assert(offsetof(TZ5_HardLock_Device, Sensors) == 16, "");
static_assert(sizeof(TZ5_HardLock_Device) == 20, "");

static_assert(offsetof(TZ5_HardLock_Sensor, Type) == 0, "");
static_assert(offsetof(TZ5_HardLock_Sensor, MAC_ID) == 4, "");
static_assert(offsetof(TZ5_HardLock_Sensor, Next) == 8, "");
static_assert(sizeof(TZ5_HardLock_Sensor) == 12, "");
