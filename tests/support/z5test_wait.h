// Waiting in tests for what another thread brings about.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace z5test {

// Polls done every millisecond until it holds or limit (real time) has passed.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace z5test
