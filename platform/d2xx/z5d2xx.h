// FTDI access layer over Linux serial devices.
//
// Devices are the ttys that the kernel's ftdi_sio driver presents (/dev/ttyUSB<n>),
// listed from sysfs: the root is $ZELTO5_SYSFS_ROOT when set, else /sys; device
// nodes live under /dev. The list is sorted by tty name (ttyUSB2 before ttyUSB10).
//
// DeviceCount reads the listing from sysfs; the index calls and the open use the
// listing it read last (an open reads sysfs again only when the device is not in it).
//
// Every call returns a Status (kOk = 0, anything else a failure). A handle is an
// opaque pointer-sized value; a closed or unknown handle gives kInvalidHandle, and a
// line whose device was unplugged (its descriptor hung up or failed) fails every
// call with a non-zero status.
//
// Read and write time-outs are driver durations in milliseconds; they are waited
// through z5::Scaled(), so a test that shrinks the protocol clock (ZELTO5_TIME_SCALE)
// shrinks them too. A time-out of 0 waits without limit (until the count is done or
// the line hangs up); that is also the setting right after Open.
//
// Calls on distinct handles may run on distinct threads at the same time.
#pragma once
#include <cstddef>
#include <cstdint>

#define Z5D2XX_API __attribute__((visibility("default")))

namespace d2xx {

// Opaque, pointer-sized device handle; nullptr is "no handle".
using Handle = void*;
// Status of every call: 0 = OK, anything else is a failure.
using Status = uint32_t;
constexpr Status kOk = 0;
constexpr Status kInvalidHandle = 1;
constexpr Status kDeviceNotFound = 2;
constexpr Status kDeviceNotOpened = 3;
constexpr Status kIoError = 4;
constexpr Status kInvalidParameter = 6;
constexpr Status kInvalidBaudRate = 7;
constexpr Status kNotSupported = 17;

// Size of a text buffer that takes any serial number or description with its zero.
constexpr size_t kListTextSize = 64;

// Purge mask bits.
constexpr uint32_t kPurgeRx = 1;
constexpr uint32_t kPurgeTx = 2;

// Data characteristics.
constexpr uint8_t kBits7 = 7;
constexpr uint8_t kBits8 = 8;
constexpr uint8_t kStopBits1 = 0;
constexpr uint8_t kStopBits2 = 2;
constexpr uint8_t kParityNone = 0;
constexpr uint8_t kParityOdd = 1;
constexpr uint8_t kParityEven = 2;
constexpr uint8_t kParityMark = 3;
constexpr uint8_t kParitySpace = 4;

// Flow control.
constexpr uint16_t kFlowNone = 0x0000;
constexpr uint16_t kFlowRtsCts = 0x0100;
constexpr uint16_t kFlowDtrDsr = 0x0200;  // not available on Linux ttys: kNotSupported
constexpr uint16_t kFlowXonXoff = 0x0400;

// Modem status bits.
constexpr uint32_t kModemCts = 0x10;
constexpr uint32_t kModemDsr = 0x20;
constexpr uint32_t kModemRi = 0x40;
constexpr uint32_t kModemDcd = 0x80;

// Listing. Index runs from 0 to count-1; texts are cut to size-1 bytes and always
// end with a zero (size 0 gives kInvalidParameter).
Z5D2XX_API Status DeviceCount(uint32_t* count);
Z5D2XX_API Status SerialNumberByIndex(uint32_t index, char* text, size_t size);
Z5D2XX_API Status DescriptionByIndex(uint32_t index, char* text, size_t size);

// Opens the first listed device with this serial number. A serial number that is
// already open in this process is refused (kDeviceNotOpened), as is a tty that
// another process holds exclusively. The line starts raw, 8N1, 921600 baud, no flow
// control, and asks the driver for low latency (ftdi_sio's latency timer would
// otherwise hold short replies back up to 16 ms; a line that refuses, such as a
// pseudo-terminal, opens all the same). On failure *handle is left as it was.
Z5D2XX_API Status OpenBySerialNumber(const char* serial, Handle* handle);
// Releases the handle in every case; the status tells whether the line was still
// there (a vanished line gives a non-zero status, the handle is gone all the same).
Z5D2XX_API Status Close(Handle handle);

// Flushes both directions.
Z5D2XX_API Status Reset(Handle handle);
// Drops what waits in the receive (kPurgeRx) and/or transmit (kPurgeTx) queue.
Z5D2XX_API Status Purge(Handle handle, uint32_t mask);
Z5D2XX_API Status SetBaudRate(Handle handle, uint32_t baud);
Z5D2XX_API Status SetDataCharacteristics(Handle handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity);
Z5D2XX_API Status SetFlowControl(Handle handle, uint16_t flow, uint8_t xon, uint8_t xoff);
Z5D2XX_API Status SetTimeouts(Handle handle, uint32_t readMs, uint32_t writeMs);
// Modem lines (kModem* bits). A line without modem lines (a pseudo-terminal) reports
// 0 while it has not hung up and its sysfs entry is still listed.
Z5D2XX_API Status GetModemStatus(Handle handle, uint32_t* status);
// Bytes waiting in the receive queue.
Z5D2XX_API Status GetQueueStatus(Handle handle, uint32_t* rxBytes);
// Waits until at least count bytes (at most kMaxQueueWait) wait in the receive
// queue, ms driver milliseconds have passed or the line hangs up, and puts the
// bytes waiting then in *rxBytes. It wakes when bytes arrive (a wait on the line's
// descriptor, no polling); nothing is read away. ms 0 only looks.
constexpr uint32_t kMaxQueueWait = 0x8000;
Z5D2XX_API Status WaitForQueue(Handle handle, uint32_t count, uint32_t ms, uint32_t* rxBytes);
// Waits until a byte waits in the receive queue, the line hangs up or is closed,
// CancelWait is called for the handle, or ms driver milliseconds have passed. Unlike
// every other call it does not keep the line's other calls waiting meanwhile (a
// reader thread waits here while requests use the line). Reads nothing.
Z5D2XX_API Status WaitForRx(Handle handle, uint32_t ms);
// Ends the WaitForRx in progress on the handle, or else the next one, at once.
Z5D2XX_API Status CancelWait(Handle handle);

// Writes all count bytes or stops at the write time-out; *written tells how many went.
Z5D2XX_API Status Write(Handle handle, const void* data, uint32_t count, uint32_t* written);
// Waits until count bytes have come or the read time-out has passed and returns what
// came in *got (fewer on a time-out, which is not a failure). A count of 0 returns at
// once.
Z5D2XX_API Status Read(Handle handle, void* data, uint32_t count, uint32_t* got);

}  // namespace d2xx
