// Listing of the FTDI serial ports from sysfs.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace d2xx::detail {

struct ListedDevice {
    std::string tty;          // e.g. ttyUSB0
    std::string node;         // device node, e.g. /dev/ttyUSB0
    std::string description;  // USB product text (with the interface letter on multi-interface chips)
    std::string serial;       // USB serial number (likewise)
    std::filesystem::path entry;  // <root>/class/tty/<tty>
};

// $ZELTO5_SYSFS_ROOT when set and not empty, else /sys.
std::filesystem::path SysfsRoot();

// Every tty bound to ftdi_sio, sorted by tty name (number-aware).
std::vector<ListedDevice> ListDevices();

// True while the device's sysfs entry still shows the same device (node and serial number).
bool StillListed(const ListedDevice& device);

}  // namespace d2xx::detail
