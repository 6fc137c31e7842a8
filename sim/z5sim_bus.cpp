#include "z5sim_bus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace z5sim {
namespace {

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

std::string Hex4(uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04x", v);
    return buf;
}

}  // namespace

Bus::Bus() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/z5sim.XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("z5sim: cannot make a folder in " + pattern);
    root_ = pattern;
    owned_ = true;
    Init();
}

Bus::Bus(fs::path root) : root_(std::move(root)) { Init(); }

void Bus::Init() {
    fs::create_directories(root_ / "class" / "tty");
    fs::create_directories(root_ / "devices" / "usb1");
    fs::create_directories(root_ / "bus" / "usb-serial" / "drivers" / "ftdi_sio");
}

Bus::~Bus() {
    UnplugAll();
    std::error_code ec;
    if (owned_) {
        fs::remove_all(root_, ec);
    } else {
        fs::remove_all(root_ / "devices" / "usb1", ec);
    }
}

void Bus::Export() const { setenv("ZELTO5_SYSFS_ROOT", root_.c_str(), 1); }

int Bus::FreeTty(const std::vector<int>& taken) const {
    for (int n = 0;; ++n) {  // the kernel hands out the lowest free number
        bool used = std::find(taken.begin(), taken.end(), n) != taken.end();
        for (const auto& c : chips_)
            for (int t : c.ttys) used = used || t == n;
        if (!used) return n;
    }
}

bool Bus::Plug(std::shared_ptr<Device> device) { return PlugChip({std::move(device)}); }

bool Bus::PlugChip(std::vector<std::shared_ptr<Device>> interfaces) {
    Reap();
    if (interfaces.empty()) return false;
    for (const auto& d : interfaces)
        if (!d || d->Plugged()) return false;
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i]->Open()) continue;
        for (size_t j = 0; j < i; ++j) interfaces[j]->Stop();
        return false;
    }

    std::lock_guard<std::mutex> g(lock_);
    Chip chip;
    try {
        Publish(chip, interfaces);
    } catch (const std::exception&) {
        Remove(chip);
        for (auto& d : interfaces) d->Stop();
        return false;
    }
    for (size_t i = 0; i < interfaces.size(); ++i) interfaces[i]->Start(this, "ttyUSB" + std::to_string(chip.ttys[i]));
    chip.devices = std::move(interfaces);
    chips_.push_back(std::move(chip));
    return true;
}

void Bus::Publish(Chip& chip, const std::vector<std::shared_ptr<Device>>& interfaces) {
    const Device& first = *interfaces[0];
    const std::string usbName = "1-" + std::to_string(nextUsb_++);
    chip.usbDir = root_ / "devices" / "usb1" / usbName;
    fs::create_directories(chip.usbDir);
    WriteFile(chip.usbDir / "idVendor", Hex4(first.VendorId()) + "\n");
    WriteFile(chip.usbDir / "idProduct", Hex4(first.ProductId()) + "\n");
    WriteFile(chip.usbDir / "product", first.Description() + "\n");
    WriteFile(chip.usbDir / "serial", first.Serial() + "\n");
    WriteFile(chip.usbDir / "bNumInterfaces", " " + std::to_string(interfaces.size()) + "\n");

    std::vector<std::string> ttys;
    for (size_t i = 0; i < interfaces.size(); ++i) {
        Device& d = *interfaces[i];
        const int n = FreeTty(chip.ttys);
        chip.ttys.push_back(n);
        const std::string tty = "ttyUSB" + std::to_string(n);
        const fs::path iface = chip.usbDir / (usbName + ":1." + std::to_string(i));
        const fs::path port = iface / tty;
        const fs::path ttyDir = port / "tty" / tty;
        fs::create_directories(ttyDir);
        char num[24];
        std::snprintf(num, sizeof num, "%02zx\n", i);
        WriteFile(iface / "bInterfaceNumber", num);
        const fs::path driverDir = root_ / "bus" / "usb-serial" / "drivers" / d.Driver();
        fs::create_directories(driverDir);
        fs::create_directory_symlink(driverDir, port / "driver");
        fs::create_directory_symlink("../..", ttyDir / "device");
        std::string slave = d.SlaveNode();
        std::string devname = slave.rfind("/dev/", 0) == 0 ? slave.substr(5) : slave;
        WriteFile(ttyDir / "uevent", "DEVNAME=" + devname + "\n");
        ttys.push_back(tty);
    }
    // The class links come last, so a listing never sees a half-made entry.
    for (size_t i = 0; i < interfaces.size(); ++i) {
        const fs::path target = fs::relative(chip.usbDir / (usbName + ":1." + std::to_string(i)) / ttys[i] / "tty" / ttys[i],
                                             root_ / "class" / "tty");
        fs::create_directory_symlink(target, root_ / "class" / "tty" / ttys[i]);
    }
}

void Bus::Remove(Chip& chip) {
    std::error_code ec;
    if (chip.usbDir.empty()) return;
    for (int n : chip.ttys) fs::remove(root_ / "class" / "tty" / ("ttyUSB" + std::to_string(n)), ec);
    fs::remove_all(chip.usbDir, ec);
}

bool Bus::Unplug(const Device& device) {
    Chip chip;
    {
        std::lock_guard<std::mutex> g(lock_);
        auto it = chips_.begin();
        for (; it != chips_.end(); ++it) {
            bool mine = false;
            for (const auto& d : it->devices) mine = mine || d.get() == &device;
            if (mine) break;
        }
        if (it == chips_.end()) return false;
        chip = std::move(*it);
        chips_.erase(it);
        for (auto& d : chip.devices) d->plugged_.store(false);  // unplugged before the listing drops it
        Remove(chip);
        // A device that stops from its own thread is joined later, so it must live on;
        // it is kept in the same step, so that a Reap meanwhile (the bus ending) joins it.
        for (auto& d : chip.devices) retired_.push_back(d);
    }
    for (auto& d : chip.devices) d->Stop();
    return true;
}

bool Bus::Unplug(const std::string& serial) {
    auto d = Find(serial);
    return d && Unplug(*d);
}

void Bus::UnplugAll() {
    for (;;) {
        std::shared_ptr<Device> d;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (chips_.empty()) break;
            d = chips_.front().devices.front();
        }
        Unplug(*d);
    }
    Reap();
}

void Bus::Reap() {
    std::vector<std::shared_ptr<Device>> done;
    {
        std::lock_guard<std::mutex> g(lock_);
        done.swap(retired_);
    }
    std::vector<std::shared_ptr<Device>> keep;
    for (auto& d : done) {
        if (d->OnOwnThread()) {
            keep.push_back(std::move(d));
        } else {
            d->Stop();  // joins
        }
    }
    std::lock_guard<std::mutex> g(lock_);
    for (auto& d : keep) retired_.push_back(std::move(d));
}

std::vector<std::shared_ptr<Device>> Bus::Devices() const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<std::shared_ptr<Device>> out;
    for (const auto& c : chips_) out.insert(out.end(), c.devices.begin(), c.devices.end());
    return out;
}

std::shared_ptr<Device> Bus::Find(const std::string& serial) const {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& c : chips_)
        for (const auto& d : c.devices)
            if (d->Serial() == serial) return d;
    return nullptr;
}

}  // namespace z5sim
