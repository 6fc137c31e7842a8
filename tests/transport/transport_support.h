// Shared by the transport tests: a bus exported as the sysfs root, and waits.
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "z5d2xx.h"
#include "z5sim_bus.h"
#include "z5sim_generic.h"

namespace transport_test {

// Waits (real time, bounded) until the handle's receive queue holds n bytes.
inline bool WaitForQueue(d2xx::Handle h, uint32_t n, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    auto end = std::chrono::steady_clock::now() + limit;
    uint32_t got = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (d2xx::GetQueueStatus(h, &got) == d2xx::kOk && got >= n) return got == n;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

inline std::shared_ptr<z5sim::GenericDevice> Echo(const std::string& description, const std::string& serial) {
    return std::make_shared<z5sim::GenericDevice>(description, serial);
}

inline std::shared_ptr<z5sim::GenericDevice> Silent(const std::string& description, const std::string& serial) {
    return std::make_shared<z5sim::GenericDevice>(description, serial, z5sim::GenericDevice::Answer::Nothing);
}

}  // namespace transport_test
