#include "z5d2xx.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "z5clock.h"
#include "z5d2xx_line.h"
#include "z5d2xx_listing.h"

namespace d2xx {
namespace {

using Clock = std::chrono::steady_clock;

struct Port {
    std::mutex lock;  // one call at a time on this line
    int fd = -1;      // -1 once closed
    // WaitForRx waits on fd without the lock: Close signals wake and waits for the
    // waiters to leave before it closes fd. CancelWait signals it too.
    int wake = -1;
    int waiters = 0;
    std::condition_variable left;
    detail::ListedDevice device;
    uint32_t readMs = 0;
    uint32_t writeMs = 0;
    bool gone = false;  // hung up or failed; stays set
    // Received bytes that a wait took off the descriptor (so that its poll waits for
    // new ones); the front of the receive queue, read before the descriptor.
    std::vector<uint8_t> held;
};

// Handles are numbers that are never reused, so a stale handle can never reach
// another line.
struct Registry {
    std::mutex lock;
    std::map<uintptr_t, std::shared_ptr<Port>> ports;
    std::set<std::string> openSerials;
    uintptr_t next = 1;
    // The listing that DeviceCount read last, and the root it was read from: the
    // index calls and the open use it instead of reading sysfs again.
    std::vector<detail::ListedDevice> listing;
    std::filesystem::path listedRoot;
    bool listed = false;
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

// Reads sysfs afresh and keeps the result as the current listing.
std::vector<detail::ListedDevice> Relist() {
    auto list = detail::ListDevices();
    auto& r = Ports();
    std::lock_guard<std::mutex> g(r.lock);
    r.listing = list;
    r.listedRoot = detail::SysfsRoot();
    r.listed = true;
    return list;
}

// The current listing; read when there is none yet for this root.
std::vector<detail::ListedDevice> Listing() {
    {
        auto& r = Ports();
        std::lock_guard<std::mutex> g(r.lock);
        if (r.listed && r.listedRoot == detail::SysfsRoot()) return r.listing;
    }
    return Relist();
}

bool HungUp(short revents) { return revents & (POLLHUP | POLLERR | POLLNVAL); }

// A line that is gone shows on its descriptor (hang-up or error); sysfs is not read.
bool Gone(Port& p) {
    if (p.gone) return true;
    pollfd pfd{p.fd, 0, 0};
    if (poll(&pfd, 1, 0) < 0 || HungUp(pfd.revents)) p.gone = true;
    return p.gone;
}

// Bytes waiting on the descriptor itself; -1 (the line marked gone) when it fails.
int Available(Port& p) {
    int n = 0;
    if (ioctl(p.fd, FIONREAD, &n) != 0) {
        p.gone = true;
        return -1;
    }
    return n;
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

timespec Timespec(std::chrono::nanoseconds left) {
    const auto ns = std::max<int64_t>(left.count(), 0);
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

void Signal(int fd) {
    const uint64_t one = 1;
    (void)!::write(fd, &one, sizeof one);
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
        ts = Timespec(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
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
    auto list = Listing();
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
    *count = static_cast<uint32_t>(Relist().size());
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
    auto port = std::make_shared<Port>();
    // The current listing, as long as its entry still shows that device; else sysfs afresh.
    auto find = [&](const std::vector<detail::ListedDevice>& list) {
        for (const auto& d : list) {
            if (d.serial != serial) continue;
            if (!detail::StillListed(d)) return false;
            port->device = d;
            return true;
        }
        return false;
    };
    if (!find(Listing()) && !find(Relist())) return kDeviceNotFound;

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
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0 || ioctl(fd, TIOCEXCL) != 0 || !detail::MakeRaw(fd)) {
        if (wake >= 0) ::close(wake);
        ::close(fd);
        release();
        return kDeviceNotOpened;
    }
    detail::RequestLowLatency(fd);
    port->fd = fd;
    port->wake = wake;
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
        std::unique_lock<std::mutex> g(p->lock);
        if (p->fd < 0) return kInvalidHandle;
        if (Gone(*p)) status = kIoError;
        Signal(p->wake);
        p->left.wait(g, [&] { return p->waiters == 0; });
        ioctl(p->fd, TIOCNXCL);  // the tty may outlive this fd (another holder)
        ::close(p->fd);
        ::close(p->wake);
        p->fd = p->wake = -1;
    }
    auto& r = Ports();
    std::lock_guard<std::mutex> g(r.lock);
    r.ports.erase(reinterpret_cast<uintptr_t>(handle));
    r.openSerials.erase(p->device.serial);
    return status;
}

Status Reset(Handle handle) {
    return OnLine(handle, [](Port& p) {
        p.held.clear();
        return tcflush(p.fd, TCIOFLUSH) == 0 ? kOk : kIoError;
    });
}

Status Purge(Handle handle, uint32_t mask) {
    return OnLine(handle, [mask](Port& p) {
        bool rx = mask & kPurgeRx, tx = mask & kPurgeTx;
        if (rx) p.held.clear();
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
        const int n = Available(p);
        if (n < 0) return kIoError;
        *rxBytes = static_cast<uint32_t>(p.held.size()) + static_cast<uint32_t>(n);
        return kOk;
    });
}

Status WaitForQueue(Handle handle, uint32_t count, uint32_t ms, uint32_t* rxBytes) {
    if (!rxBytes) return kInvalidParameter;
    *rxBytes = 0;
    count = std::min(count, kMaxQueueWait);
    return OnLine(handle, [&](Port& p) {
        const auto deadline = Clock::now() + z5::Scaled(ms);
        for (;;) {
            const int n = Available(p);
            if (n < 0) return kIoError;
            *rxBytes = static_cast<uint32_t>(p.held.size()) + static_cast<uint32_t>(n);
            if (*rxBytes >= count) return kOk;
            if (n > 0) {
                // Too few yet: take them off the descriptor, so that the poll waits for
                // the next bytes instead of reporting these again.
                const size_t at = p.held.size();
                p.held.resize(at + static_cast<size_t>(n));
                const ssize_t got = ::read(p.fd, p.held.data() + at, static_cast<size_t>(n));
                p.held.resize(at + static_cast<size_t>(std::max<ssize_t>(got, 0)));
                if (got < 0 && errno != EAGAIN && errno != EINTR) {
                    p.gone = true;
                    return kIoError;
                }
                continue;
            }
            if (!WaitFor(p, POLLIN, false, deadline)) return p.gone ? kIoError : kOk;
        }
    });
}

Status WaitForRx(Handle handle, uint32_t ms) {
    auto p = Find(handle);
    if (!p) return kInvalidHandle;
    std::unique_lock<std::mutex> g(p->lock);
    if (p->fd < 0) return kInvalidHandle;
    if (Gone(*p)) return kIoError;
    const int n = Available(*p);
    if (n != 0 || !p->held.empty()) return n < 0 ? kIoError : kOk;
    pollfd fds[2] = {{p->fd, POLLIN, 0}, {p->wake, POLLIN, 0}};
    ++p->waiters;
    g.unlock();
    const timespec ts = Timespec(z5::Scaled(ms));
    const int r = ppoll(fds, 2, &ts, nullptr);
    const bool failed = r < 0 && errno != EINTR;
    g.lock();
    if (fds[1].revents & POLLIN) {
        uint64_t v = 0;
        (void)!::read(p->wake, &v, sizeof v);
    }
    if (failed || (r > 0 && HungUp(fds[0].revents))) p->gone = true;
    if (--p->waiters == 0) p->left.notify_all();
    return p->gone ? kIoError : kOk;
}

Status CancelWait(Handle handle) {
    auto p = Find(handle);
    if (!p) return kInvalidHandle;
    std::lock_guard<std::mutex> g(p->lock);
    if (p->fd < 0) return kInvalidHandle;
    Signal(p->wake);
    return kOk;
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
        // What a wait took off the descriptor comes first.
        uint32_t done = static_cast<uint32_t>(std::min<size_t>(count, p.held.size()));
        if (done > 0) {
            std::memcpy(bytes, p.held.data(), done);
            p.held.erase(p.held.begin(), p.held.begin() + done);
        }
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
