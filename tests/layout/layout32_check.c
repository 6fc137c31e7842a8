/* Compiled with -m32 only (never linked): the records' 32-bit layout. Also
   compiled as C++ to check the header from both languages. */
#include <assert.h>
#include <stddef.h>

#include "tovamod.h"

static_assert(sizeof(void*) == 4, "compile this check with -m32");

static_assert(sizeof(THardwareStructure) == 12, "THardwareStructure size");
static_assert(offsetof(THardwareStructure, First) == 0, "First");
static_assert(offsetof(THardwareStructure, Changed) == 4, "Changed");
static_assert(offsetof(THardwareStructure, RadioMasterPresent) == 5, "RadioMasterPresent");
static_assert(offsetof(THardwareStructure, Reserved1) == 6, "reserved");
static_assert(offsetof(THardwareStructure, ScanTime) == 8, "ScanTime");

static_assert(sizeof(TDeviceStructure) == 28, "TDeviceStructure size");
static_assert(offsetof(TDeviceStructure, Kind) == 0, "Kind");
static_assert(offsetof(TDeviceStructure, Reserved1) == 1, "reserved");
static_assert(offsetof(TDeviceStructure, Device) == 4, "Device");
static_assert(offsetof(TDeviceStructure, Active) == 8, "Active");
static_assert(offsetof(TDeviceStructure, Reserved2) == 9, "reserved");
static_assert(offsetof(TDeviceStructure, SerialNo) == 12, "SerialNo");
static_assert(offsetof(TDeviceStructure, Sensors) == 16, "Sensors");
static_assert(offsetof(TDeviceStructure, Next) == 20, "Next");
static_assert(offsetof(TDeviceStructure, Prev) == 24, "Prev");

static_assert(sizeof(TSensorStructure) == 40, "TSensorStructure size");
static_assert(offsetof(TSensorStructure, Kind) == 0, "Kind");
static_assert(offsetof(TSensorStructure, Reserved1) == 1, "reserved");
static_assert(offsetof(TSensorStructure, Sensor) == 4, "Sensor");
static_assert(offsetof(TSensorStructure, Identity) == 8, "Identity");
static_assert(offsetof(TSensorStructure, Value1) == 12, "Value1");
static_assert(offsetof(TSensorStructure, Value2) == 16, "Value2");
static_assert(offsetof(TSensorStructure, Value3) == 20, "Value3");
static_assert(offsetof(TSensorStructure, Address) == 24, "Address");
static_assert(offsetof(TSensorStructure, ChannelCount) == 28, "ChannelCount");
static_assert(offsetof(TSensorStructure, Next) == 32, "Next");
static_assert(offsetof(TSensorStructure, Prev) == 36, "Prev");
