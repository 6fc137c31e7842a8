// FTDI access layer over Linux serial devices (filled in by the transport work).
#pragma once
#include <cstdint>

namespace d2xx {

// Opaque, pointer-sized device handle; nullptr is "no handle".
using Handle = void*;
// Status of every call: 0 = OK, anything else is a failure.
using Status = uint32_t;
constexpr Status kOk = 0;

}  // namespace d2xx
