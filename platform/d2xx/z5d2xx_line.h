// Line settings of an open tty.
#pragma once
#include <cstdint>

#include "z5d2xx.h"

namespace d2xx::detail {

// Raw mode, 8N1, no flow control, receiver on, modem lines ignored, 921600 baud.
bool MakeRaw(int fd);
Status ApplyBaudRate(int fd, uint32_t baud);
Status ApplyDataCharacteristics(int fd, uint8_t wordLength, uint8_t stopBits, uint8_t parity);
Status ApplyFlowControl(int fd, uint16_t flow, uint8_t xon, uint8_t xoff);

// Asks the driver to hand received bytes on at once (ftdi_sio: latency timer 1 ms
// instead of 16). A line without serial settings (a pseudo-terminal) ignores it.
void RequestLowLatency(int fd);

// A rate without a B constant, through BOTHER (kept in its own file: the kernel's
// termios2 header cannot share a file with <termios.h>).
bool ApplyOtherBaudRate(int fd, uint32_t baud);

}  // namespace d2xx::detail
