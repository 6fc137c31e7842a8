#include "z5d2xx_line.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <iterator>

namespace d2xx::detail {
namespace {

struct Rate {
    uint32_t baud;
    speed_t code;
};
constexpr Rate kRates[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
};

bool Get(int fd, termios& t) { return tcgetattr(fd, &t) == 0; }
bool Set(int fd, const termios& t) { return tcsetattr(fd, TCSANOW, &t) == 0; }

}  // namespace

bool MakeRaw(int fd) {
    termios t{};
    if (!Get(fd, t)) return false;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CSIZE);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B921600);
    cfsetospeed(&t, B921600);
    return Set(fd, t);
}

void RequestLowLatency(int fd) {
    serial_struct s{};
    if (ioctl(fd, TIOCGSERIAL, &s) != 0 || (s.flags & ASYNC_LOW_LATENCY)) return;
    s.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(fd, TIOCSSERIAL, &s);
}

Status ApplyBaudRate(int fd, uint32_t baud) {
    if (baud == 0) return kInvalidBaudRate;
    for (const Rate& r : kRates) {
        if (r.baud != baud) continue;
        termios t{};
        if (!Get(fd, t)) return kIoError;
        cfsetispeed(&t, r.code);
        cfsetospeed(&t, r.code);
        return Set(fd, t) ? kOk : kIoError;
    }
    return ApplyOtherBaudRate(fd, baud) ? kOk : kInvalidBaudRate;
}

Status ApplyDataCharacteristics(int fd, uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    termios t{};
    if (!Get(fd, t)) return kIoError;
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    switch (wordLength) {
        case kBits7: t.c_cflag |= CS7; break;
        case kBits8: t.c_cflag |= CS8; break;
        default: return kInvalidParameter;
    }
    switch (stopBits) {
        case kStopBits1: break;
        case kStopBits2: t.c_cflag |= CSTOPB; break;
        default: return kInvalidParameter;
    }
    switch (parity) {
        case kParityNone: break;
        case kParityOdd: t.c_cflag |= PARENB | PARODD; break;
        case kParityEven: t.c_cflag |= PARENB; break;
        case kParityMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case kParitySpace: t.c_cflag |= PARENB | CMSPAR; break;
        default: return kInvalidParameter;
    }
    return Set(fd, t) ? kOk : kIoError;
}

Status ApplyFlowControl(int fd, uint16_t flow, uint8_t xon, uint8_t xoff) {
    termios t{};
    if (!Get(fd, t)) return kIoError;
    t.c_cflag &= ~CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    switch (flow) {
        case kFlowNone: break;
        case kFlowRtsCts: t.c_cflag |= CRTSCTS; break;
        case kFlowXonXoff:
            t.c_iflag |= IXON | IXOFF;
            t.c_cc[VSTART] = static_cast<cc_t>(xon);
            t.c_cc[VSTOP] = static_cast<cc_t>(xoff);
            break;
        case kFlowDtrDsr: return kNotSupported;
        default: return kInvalidParameter;
    }
    return Set(fd, t) ? kOk : kIoError;
}

}  // namespace d2xx::detail
