#include "z5sim_device.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>

#include "z5clock.h"
#include "z5sim_bus.h"

namespace z5sim {
namespace {
thread_local const Device* tRunning = nullptr;  // the device whose thread this is
}

Device::Device(std::string description, std::string serial)
    : description_(std::move(description)), serial_(std::move(serial)) {}

Device::~Device() {
    Stop();
    if (wake_ >= 0) ::close(wake_);
}

void Device::SetUsbIds(uint16_t vendorId, uint16_t productId) {
    vendorId_ = vendorId;
    productId_ = productId;
}

void Device::SetDriver(std::string driver) { driver_ = std::move(driver); }

std::string Device::Tty() const {
    std::lock_guard<std::mutex> g(state_);
    return tty_;
}

std::string Device::SlaveNode() const {
    std::lock_guard<std::mutex> g(state_);
    return slave_;
}

void Device::SetReceive(Receive mode) { receive_.store(mode); }

bool Device::Send(std::span<const uint8_t> bytes) { return Write(bytes); }

bool Device::SendFrame(uint8_t cmd, std::span<const uint8_t> payload) { return Write(MakeFrame(cmd, payload)); }

bool Device::SendCut(std::span<const uint8_t> bytes, size_t cut, uint32_t gapMs,
                     std::chrono::steady_clock::time_point* LastPiece) {
    cut = std::min(cut, bytes.size());
    if (!Write(bytes.first(cut))) return false;
    if (gapMs > 0) {
        // The pieces are two reads only once the first has left the line.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            int waiting = 0;
            {
                std::lock_guard<std::mutex> io(io_);
                if (slaveFd_ < 0 || ::ioctl(slaveFd_, FIONREAD, &waiting) != 0) return false;
            }
            if (waiting == 0 || std::chrono::steady_clock::now() > limit) break;
            if (!Pause(1)) return false;
        }
        if (!Pause(gapMs)) return false;
    }
    if (LastPiece) *LastPiece = std::chrono::steady_clock::now();
    return Write(bytes.subspan(cut));
}

void Device::PushFault(const Fault& fault) {
    std::lock_guard<std::mutex> g(state_);
    faults_.push_back(fault);
}

void Device::ClearFaults() {
    std::lock_guard<std::mutex> g(state_);
    faults_.clear();
}

size_t Device::PendingFaults() const {
    std::lock_guard<std::mutex> g(state_);
    return faults_.size();
}

void Device::SetHook(Hook hook) {
    std::lock_guard<std::mutex> g(state_);
    hook_ = std::move(hook);
}

Bytes Device::ReceivedBytes() const {
    std::lock_guard<std::mutex> g(recordLock_);
    return receivedBytes_;
}

std::vector<Message> Device::ReceivedMessages() const {
    std::lock_guard<std::mutex> g(recordLock_);
    return received_;
}

std::vector<Bytes> Device::ReceivedFrames() const {
    std::lock_guard<std::mutex> g(recordLock_);
    std::vector<Bytes> out;
    for (const auto& m : received_)
        if (m.IsFrame()) out.push_back(m.bytes);
    return out;
}

std::vector<std::string> Device::ReceivedLines() const {
    std::lock_guard<std::mutex> g(recordLock_);
    std::vector<std::string> out;
    for (const auto& m : received_)
        if (!m.IsFrame()) out.push_back(m.Text());
    return out;
}

void Device::ClearReceived() {
    std::lock_guard<std::mutex> g(recordLock_);
    receivedBytes_.clear();
    received_.clear();
}

bool Device::WaitForMessages(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> g(recordLock_);
    return recordCv_.wait_for(g, limit, [&] { return received_.size() >= count; });
}

bool Device::WaitForBytes(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> g(recordLock_);
    return recordCv_.wait_for(g, limit, [&] { return receivedBytes_.size() >= count; });
}

void Device::OnBytes(std::span<const uint8_t>) {}

std::vector<Bytes> Device::OnFrame(const Message&) { return {}; }

std::vector<Bytes> Device::OnLine(const Message&) { return {}; }

void Device::OnAnswered(const Message&, bool) {}

Bytes Device::MakeRefusal(const Message& request, uint8_t code) {
    const uint16_t a = request.Address();
    const uint8_t payload[] = {static_cast<uint8_t>(a & 0xFF), static_cast<uint8_t>(a >> 8), code};
    return MakeFrame(request.Cmd(), payload);
}

bool Device::Pause(uint32_t ms) {
    std::unique_lock<std::mutex> g(sleepLock_);
    return !sleepCv_.wait_for(g, z5::Scaled(ms), [this] { return stopping_.load(); });
}

bool Device::Open() {
    if (OnOwnThread() || plugged_.load()) return false;
    Stop();  // joins a thread left by an unplug from inside it
    int master = -1, slave = -1;
    char name[PATH_MAX] = {};
    termios raw{};
    cfmakeraw(&raw);
    // Raw from the start, so nothing is echoed or cooked before the library opens it.
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) return false;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    int wake = wake_ >= 0 ? wake_ : eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        ::close(master);
        ::close(slave);
        return false;
    }
    std::lock_guard<std::mutex> io(io_);
    // The slave stays open here too: a master whose slave is closed reads as hung up,
    // and the library opens and closes the slave as it pleases.
    master_ = master;
    slaveFd_ = slave;
    wake_ = wake;
    std::lock_guard<std::mutex> g(state_);
    slave_ = name;
    return true;
}

void Device::Start(Bus* bus, std::string tty) {
    {
        std::lock_guard<std::mutex> g(state_);
        tty_ = std::move(tty);
    }
    bus_.store(bus);
    stopping_.store(false);
    plugged_.store(true);
    worker_ = std::thread([this] { Run(); });
}

bool Device::OnOwnThread() const { return tRunning == this; }

void Device::Stop() {
    bus_.store(nullptr);
    plugged_.store(false);
    {
        std::lock_guard<std::mutex> g(sleepLock_);
        stopping_.store(true);
    }
    sleepCv_.notify_all();
    if (wake_ >= 0) {
        uint64_t one = 1;
        (void)!::write(wake_, &one, sizeof one);
    }
    if (OnOwnThread()) {
        // Unplugged by its own fault: hang the line up now; the thread ends when the
        // handler returns and is joined by whoever stops the device next.
        std::lock_guard<std::mutex> io(io_);
        CloseLine();
        return;
    }
    if (worker_.joinable()) worker_.join();
    std::lock_guard<std::mutex> io(io_);
    CloseLine();
    if (wake_ >= 0) {
        uint64_t v;
        (void)!::read(wake_, &v, sizeof v);
    }
}

void Device::CloseLine() {
    if (master_ >= 0) ::close(master_);
    if (slaveFd_ >= 0) ::close(slaveFd_);
    master_ = slaveFd_ = -1;
}

void Device::Run() {
    tRunning = this;
    int master;
    {
        std::lock_guard<std::mutex> io(io_);
        master = master_;
    }
    uint8_t buf[4096];
    while (!stopping_.load()) {
        pollfd fds[2] = {{master, POLLIN, 0}, {wake_, POLLIN, 0}};
        int n = ::poll(fds, 2, -1);
        if (n < 0 && errno != EINTR) break;
        if (stopping_.load() || (fds[1].revents & POLLIN)) break;
        if (!(fds[0].revents & POLLIN)) {
            if (fds[0].revents) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // no busy loop
            continue;
        }
        ssize_t got = ::read(master, buf, sizeof buf);
        if (got <= 0) continue;
        std::span<const uint8_t> bytes(buf, static_cast<size_t>(got));
        splitter_.SetMode(receive_.load());
        auto messages = splitter_.Feed(bytes);
        {
            std::lock_guard<std::mutex> g(recordLock_);
            receivedBytes_.insert(receivedBytes_.end(), bytes.begin(), bytes.end());
            received_.insert(received_.end(), messages.begin(), messages.end());
        }
        recordCv_.notify_all();
        try {
            OnBytes(bytes);
        } catch (...) {
            std::fprintf(stderr, "z5sim: %s: byte handler failed\n", serial_.c_str());
        }
        for (const auto& m : messages) {
            if (stopping_.load()) break;
            try {
                OnAnswered(m, Handle(m));
            } catch (const std::exception& e) {
                // A model's failure drops that one answer; the device stays plugged.
                std::fprintf(stderr, "z5sim: %s: %s\n", serial_.c_str(), e.what());
            } catch (...) {
                std::fprintf(stderr, "z5sim: %s: answer failed\n", serial_.c_str());
            }
        }
    }
}

std::optional<Fault> Device::TakeFault(const Message& message) {
    std::lock_guard<std::mutex> g(state_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->onCommand >= 0 && (!message.IsFrame() || message.Cmd() != it->onCommand)) continue;
        if (it->skip > 0) {
            --it->skip;
            return std::nullopt;
        }
        Fault f = *it;
        faults_.erase(it);
        return f;
    }
    return std::nullopt;
}

bool Device::Handle(const Message& message) {
    std::optional<Fault> fault = TakeFault(message);
    Hook hook;
    {
        std::lock_guard<std::mutex> g(state_);
        hook = hook_;
    }
    std::vector<Bytes> replies;
    if (!hook || !hook(*this, message, replies)) replies = message.IsFrame() ? OnFrame(message) : OnLine(message);

    auto joined = [&] {
        Bytes all;
        for (const auto& r : replies) all.insert(all.end(), r.begin(), r.end());
        return all;
    };
    if (!fault) {
        for (const auto& r : replies) Write(r);
        return !replies.empty();
    }
    switch (fault->kind) {
        case Fault::Kind::NoAnswer:
            return false;
        case Fault::Kind::WrongCommand:
            if (!replies.empty() && replies[0].size() > 2) replies[0][2] = fault->value;
            break;
        case Fault::Kind::Refuse:
            Write(MakeRefusal(message, fault->value));
            return false;
        case Fault::Kind::Split: {
            Bytes all = joined();
            size_t first = std::min(fault->splitAt ? fault->splitAt : all.size() / 2, all.size());
            Write(std::span<const uint8_t>(all.data(), first));
            if (!Pause(fault->ms)) return false;
            Write(std::span<const uint8_t>(all.data() + first, all.size() - first));
            return !all.empty();
        }
        case Fault::Kind::Late:
            if (!Pause(fault->ms)) return false;
            break;
        case Fault::Kind::Unsolicited:
            Write(fault->bytes);
            if (fault->ms > 0 && !Pause(fault->ms)) return false;
            break;
        case Fault::Kind::Unplug: {
            Bytes all = joined();
            Write(std::span<const uint8_t>(all.data(), std::min(fault->splitAt, all.size())));
            RequestUnplug();
            return false;
        }
    }
    for (const auto& r : replies) Write(r);
    return !replies.empty();
}

void Device::RequestUnplug() {
    if (Bus* bus = bus_.load()) {
        bus->Unplug(*this);
    } else {
        Stop();
    }
}

bool Device::Write(std::span<const uint8_t> bytes) {
    std::lock_guard<std::mutex> io(io_);
    if (master_ < 0 || !plugged_.load()) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return false;
        if (stopping_.load()) return false;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);  // the library is not reading: wait for room
    }
    return true;
}

}  // namespace z5sim
