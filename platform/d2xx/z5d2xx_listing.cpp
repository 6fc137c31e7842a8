#include "z5d2xx_listing.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace d2xx::detail {
namespace {

constexpr const char* kDriver = "ftdi_sio";
constexpr const char* kDeviceRoot = "/dev/";

// First line of a sysfs attribute file without its line end.
std::optional<std::string> ReadAttribute(const fs::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (in.bad()) return std::nullopt;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

std::optional<long> ReadNumber(const fs::path& path, int base) {
    auto text = ReadAttribute(path);
    if (!text) return std::nullopt;
    char* end = nullptr;
    long v = std::strtol(text->c_str(), &end, base);
    if (end == text->c_str()) return std::nullopt;
    return v;
}

// Device node named by DEVNAME in the tty's uevent; /dev/<tty> when it names none.
std::optional<std::string> DeviceNode(const fs::path& entry, const std::string& tty) {
    std::ifstream in(entry / "uevent");
    if (!in) return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("DEVNAME=", 0) == 0) return kDeviceRoot + line.substr(8);
    }
    return kDeviceRoot + tty;
}

// ttyUSB2 sorts before ttyUSB10.
bool TtyLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        std::string digits = s.substr(i);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        return std::make_tuple(s.substr(0, i), digits.size(), digits);
    };
    return split(a) < split(b) || (split(a) == split(b) && a < b);
}

std::optional<ListedDevice> Inspect(const fs::path& entry) {
    std::error_code ec;
    const std::string tty = entry.filename().string();
    // <entry>/device is the port; its driver must be ftdi_sio.
    fs::path port = fs::canonical(entry / "device", ec);
    if (ec) return std::nullopt;
    fs::path driver = fs::canonical(port / "driver", ec);
    if (ec || driver.filename() != kDriver) return std::nullopt;
    // The port's parent is the USB interface, its parent the USB device.
    fs::path interface = port.parent_path();
    fs::path usb = interface.parent_path();
    auto product = ReadAttribute(usb / "product");
    auto serial = ReadAttribute(usb / "serial");
    auto node = DeviceNode(entry, tty);
    if (!node) return std::nullopt;
    ListedDevice d{tty, *node, product.value_or(""), serial.value_or(""), entry};
    // A chip with several interfaces (dual and quad UARTs) shows once per interface.
    // They are told apart the way FTDI's own listing does: the interface letter
    // (A for interface 0, B for 1, ...) follows description and serial number
    // after a space ("Dual RS232 A", "FT12345 A").
    auto count = ReadNumber(usb / "bNumInterfaces", 10);
    auto number = ReadNumber(interface / "bInterfaceNumber", 16);
    if (count && *count > 1 && number && *number >= 0 && *number < 26) {
        const char letter = static_cast<char>('A' + *number);
        d.description += ' ';
        d.description += letter;
        d.serial += ' ';
        d.serial += letter;
    }
    return d;
}

}  // namespace

fs::path SysfsRoot() {
    const char* root = std::getenv("ZELTO5_SYSFS_ROOT");
    return (root && *root) ? fs::path(root) : fs::path("/sys");
}

std::vector<ListedDevice> ListDevices() {
    std::vector<ListedDevice> result;
    std::error_code ec;
    fs::directory_iterator it(SysfsRoot() / "class" / "tty", ec);
    if (ec) return result;
    for (const auto& e : it) {
        if (auto d = Inspect(e.path())) result.push_back(std::move(*d));
    }
    std::sort(result.begin(), result.end(),
              [](const ListedDevice& a, const ListedDevice& b) { return TtyLess(a.tty, b.tty); });
    return result;
}

bool StillListed(const ListedDevice& device) {
    auto now = Inspect(device.entry);
    return now && now->node == device.node && now->serial == device.serial;
}

}  // namespace d2xx::detail
