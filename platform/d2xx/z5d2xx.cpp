#include "z5d2xx.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "z5clock.h"
#include "z5d2xx_line.h"
#include "z5d2xx_listing.h"

namespace d2xx {
namespace {

using Clock = std::chrono::steady_clock;

struct Port {
    std::mutex lock;  // one call at a time on this line
    int fd = -1;      // -1 once closed
    detail::ListedDevice device;
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
    bool gone = false;  // hung up or no longer listed; stays set
};

// Handles are numbers that are never reused, so a stale handle can never reach
// another line.
struct Registry {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<Port>> ports;
    std::set<std::string> openSerials;
    uintptr_t next = 1;
};

Registry& Ports() {
    static Registry r;
    return r;
}

std::shared_ptr<Port> Find(Handle h) {
    auto& r = Ports();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.ports.find(reinterpret_cast<uintptr_t>(h));
    return it == r.ports.end() ? nullptr : it->second;
}

bool HungUp(short revents) { return revents & (POLLHUP | POLLERR | POLLNVAL); }

bool Gone(Port& p) {
    if (p.gone) return true;
    pollfd pfd{p.fd, 0, 0};
    if (poll(&pfd, 1, 0) < 0 || HungUp(pfd.revents) || !detail::StillListed(p.device)) p.gone = true;
    return p.gone;
}

// Runs op on an open line that is still there.
template <class Op>
Status OnLine(Handle h, Op op) {
    auto p = Find(h);
    if (!p) return kInvalidHandle;
    std::lock_guard<std::mutex> g(p->lock);
    if (p->fd < 0) return kInvalidHandle;
    if (Gone(*p)) return kIoError;
    return op(*p);
}

// Waits for events until the deadline (none when unlimited). False on time-out.
// A hang-up marks the line gone.
bool WaitFor(Port& p, short events, bool unlimited, Clock::time_point deadline) {
    pollfd pfd{p.fd, events, 0};
    timespec ts{};
    timespec* timeout = nullptr;
    if (!unlimited) {
        auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return false;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        ts.tv_sec = static_cast<time_t>(ns / 1000000000);
        ts.tv_nsec = static_cast<long>(ns % 1000000000);
        timeout = &ts;
    }
    int n = ppoll(&pfd, 1, timeout, nullptr);
    if (n < 0) {
        if (errno == EINTR) return true;
        p.gone = true;
        return false;
    }
    if (n == 0) return false;
    if (HungUp(pfd.revents)) {
        p.gone = true;
        return false;
    }
    return true;
}

Status TextByIndex(uint32_t index, char* text, size_t size, std::string detail::ListedDevice::*field) {
    if (!text || size == 0) return kInvalidParameter;
    auto list = detail::ListDevices();
    if (index >= list.size()) return kDeviceNotFound;
    const std::string& s = list[index].*field;
    size_t n = std::min(s.size(), size - 1);
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
    return kOk;
}

}  // namespace

Status DeviceCount(uint32_t* count) {
    if (!count) return kInvalidParameter;
    *count = static_cast<uint32_t>(detail::ListDevices().size());
    return kOk;
}

Status SerialNumberByIndex(uint32_t index, char* text, size_t size) {
    return TextByIndex(index, text, size, &detail::ListedDevice::serial);
}

Status DescriptionByIndex(uint32_t index, char* text, size_t size) {
    return TextByIndex(index, text, size, &detail::ListedDevice::description);
}

Status OpenBySerialNumber(const char* serial, Handle* handle) {
    if (!serial || !handle) return kInvalidParameter;
    auto list = detail::ListDevices();
    auto port = std::make_shared<Port>();
    bool found = false;
    for (auto& d : list) {
        if (d.serial == serial) {
            port->device = std::move(d);
            found = true;
            break;
        }
    }
    if (!found) return kDeviceNotFound;

    auto& r = Ports();
    {
        // Reserve the serial number first: as root, TIOCEXCL does not stop a second
        // open, so this is what refuses it.
        std::lock_guard<std::mutex> g(r.lock);
        if (!r.openSerials.insert(port->device.serial).second) return kDeviceNotOpened;
    }
    auto release = [&] {
        std::lock_guard<std::mutex> g(r.lock);
        r.openSerials.erase(port->device.serial);
    };
    int fd = ::open(port->device.node.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        release();
        return kDeviceNotOpened;
    }
    if (ioctl(fd, TIOCEXCL) != 0 || !detail::MakeRaw(fd)) {
        ::close(fd);
        release();
        return kDeviceNotOpened;
    }
    port->fd = fd;
    std::lock_guard<std::mutex> g(r.lock);
    uintptr_t id = r.next++;
    r.ports.emplace(id, std::move(port));
    *handle = reinterpret_cast<Handle>(id);
    return kOk;
}

Status Close(Handle handle) {
    auto p = Find(handle);
    if (!p) return kInvalidHandle;
    Status status = kOk;
    {
        std::lock_guard<std::mutex> g(p->lock);
        if (p->fd < 0) return kInvalidHandle;
        if (Gone(*p)) status = kIoError;
        ioctl(p->fd, TIOCNXCL);  // the tty may outlive this fd (another holder)
        ::close(p->fd);
        p->fd = -1;
    }
    auto& r = Ports();
    std::lock_guard<std::mutex> g(r.lock);
    r.ports.erase(reinterpret_cast<uintptr_t>(handle));
    r.openSerials.erase(p->device.serial);
    return status;
}

Status Reset(Handle handle) {
    return OnLine(handle, [](Port& p) { return tcflush(p.fd, TCIOFLUSH) == 0 ? kOk : kIoError; });
}

Status Purge(Handle handle, uint32_t mask) {
    return OnLine(handle, [mask](Port& p) {
        bool rx = mask & kPurgeRx, tx = mask & kPurgeTx;
        if (!rx && !tx) return kOk;
        int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
        return tcflush(p.fd, which) == 0 ? kOk : kIoError;
    });
}

Status SetBaudRate(Handle handle, uint32_t baud) {
    return OnLine(handle, [baud](Port& p) { return detail::ApplyBaudRate(p.fd, baud); });
}

Status SetDataCharacteristics(Handle handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    return OnLine(handle, [=](Port& p) { return detail::ApplyDataCharacteristics(p.fd, wordLength, stopBits, parity); });
}

Status SetFlowControl(Handle handle, uint16_t flow, uint8_t xon, uint8_t xoff) {
    return OnLine(handle, [=](Port& p) { return detail::ApplyFlowControl(p.fd, flow, xon, xoff); });
}

Status SetTimeouts(Handle handle, uint32_t readMs, uint32_t writeMs) {
    return OnLine(handle, [=](Port& p) {
        p.readMs = readMs;
        p.writeMs = writeMs;
        return kOk;
    });
}

Status GetModemStatus(Handle handle, uint32_t* status) {
    if (!status) return kInvalidParameter;
    return OnLine(handle, [status](Port& p) {
        int bits = 0;
        if (ioctl(p.fd, TIOCMGET, &bits) == 0) {
            *status = (bits & TIOCM_CTS ? kModemCts : 0) | (bits & TIOCM_DSR ? kModemDsr : 0) |
                      (bits & TIOCM_RI ? kModemRi : 0) | (bits & TIOCM_CD ? kModemDcd : 0);
            return kOk;
        }
        if (errno == ENOTTY || errno == EINVAL) {
            // No modem lines (a pseudo-terminal): alive, as OnLine found it.
            *status = 0;
            return kOk;
        }
        p.gone = true;
        return kIoError;
    });
}

Status GetQueueStatus(Handle handle, uint32_t* rxBytes) {
    if (!rxBytes) return kInvalidParameter;
    return OnLine(handle, [rxBytes](Port& p) {
        int n = 0;
        if (ioctl(p.fd, FIONREAD, &n) != 0) {
            p.gone = true;
            return kIoError;
        }
        *rxBytes = static_cast<uint32_t>(n);
        return kOk;
    });
}

Status Write(Handle handle, const void* data, uint32_t count, uint32_t* written) {
    if (!written) return kInvalidParameter;
    *written = 0;
    if (count > 0 && !data) return kInvalidParameter;
    return OnLine(handle, [&](Port& p) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        const bool unlimited = p.writeMs == 0;
        const auto deadline = Clock::now() + z5::Scaled(p.writeMs);
        uint32_t done = 0;
        while (done < count) {
            ssize_t n = ::write(p.fd, bytes + done, count - done);
            if (n > 0) {
                done += static_cast<uint32_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno != EAGAIN) {
                p.gone = true;
                break;
            } else if (!WaitFor(p, POLLOUT, unlimited, deadline)) {
                break;
            }
        }
        *written = done;
        return p.gone ? kIoError : kOk;
    });
}

Status Read(Handle handle, void* data, uint32_t count, uint32_t* got) {
    if (!got) return kInvalidParameter;
    *got = 0;
    if (count > 0 && !data) return kInvalidParameter;
    return OnLine(handle, [&](Port& p) {
        auto* bytes = static_cast<uint8_t*>(data);
        const bool unlimited = p.readMs == 0;
        const auto deadline = Clock::now() + z5::Scaled(p.readMs);
        uint32_t done = 0;
        while (done < count) {
            ssize_t n = ::read(p.fd, bytes + done, count - done);
            if (n > 0) {
                done += static_cast<uint32_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno != EAGAIN) {
                p.gone = true;
                break;
            } else if (!WaitFor(p, POLLIN, unlimited, deadline)) {
                break;  // time-out (or hang-up, which marks the line gone)
            }
        }
        *got = done;
        return p.gone ? kIoError : kOk;
    });
}

}  // namespace d2xx
