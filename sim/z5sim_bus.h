// A sysfs-shaped folder into which simulated devices are plugged. Point the FTDI
// listing at it with ZELTO5_SYSFS_ROOT (Export()); each plugged chip appears as the
// kernel shows an ftdi_sio port:
//   class/tty/ttyUSB<n> -> devices/usb1/1-<k>/1-<k>:1.<i>/ttyUSB<n>/tty/ttyUSB<n>
//   .../tty/ttyUSB<n>/uevent (DEVNAME=pts/<m>), .../tty/ttyUSB<n>/device -> the port
//   .../ttyUSB<n>/driver -> bus/usb-serial/drivers/<driver>
//   devices/usb1/1-<k>/{idVendor,idProduct,product,serial,bNumInterfaces}
#pragma once
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "z5sim_device.h"

namespace z5sim {

class Bus {
public:
    Bus();                                      // a fresh temporary folder, removed with the bus
    explicit Bus(std::filesystem::path root);   // a given folder (made when missing), kept
    ~Bus();                                     // unplugs every device
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // Sets ZELTO5_SYSFS_ROOT to the folder (call before starting threads).
    void Export() const;

    // Plugs a one-interface chip. False when its pseudo-terminal cannot be made or
    // the device is plugged already.
    bool Plug(std::shared_ptr<Device> device);
    // Plugs one chip with an interface per device (interface 0 first); the USB
    // identity (description, serial, ids) is the first device's.
    bool PlugChip(std::vector<std::shared_ptr<Device>> interfaces);

    // Unplugs the chip that the device belongs to (callable from the device's own
    // thread, e.g. by a fault). False when it is not plugged here.
    bool Unplug(const Device& device);
    bool Unplug(const std::string& serial);
    void UnplugAll();

    std::vector<std::shared_ptr<Device>> Devices() const;
    std::shared_ptr<Device> Find(const std::string& serial) const;

private:
    struct Chip {
        std::filesystem::path usbDir;
        std::vector<int> ttys;
        std::vector<std::shared_ptr<Device>> devices;
    };
    void Init();
    int FreeTty(const std::vector<int>& taken) const;  // caller holds lock_
    void Publish(Chip& chip, const std::vector<std::shared_ptr<Device>>& interfaces);  // throws
    void Remove(Chip& chip);
    void Reap();          // joins devices unplugged from their own thread

    std::filesystem::path root_;
    bool owned_ = false;
    mutable std::mutex lock_;
    std::vector<Chip> chips_;
    std::vector<std::shared_ptr<Device>> retired_;
    int nextUsb_ = 1;
};

}  // namespace z5sim
