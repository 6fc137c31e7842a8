#include "z5clock.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace z5 {
namespace {

using Steady = std::chrono::steady_clock;

double ScaleFromEnv() {
    const char* text = std::getenv("ZELTO5_TIME_SCALE");
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || !(v > 0.0) || v > 1000.0) return 1.0;
    return v;
}

struct ClockState {
    std::mutex lock;
    double scale = ScaleFromEnv();
    Steady::time_point base = Steady::now();  // real time at which the scale was set
    double baseTicks = 0.0;                    // scaled ms at base
};

ClockState& State() {
    static ClockState s;
    return s;
}

}  // namespace

double TimeScale() {
    auto& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    return s.scale;
}

void SetTimeScale(double scale) {
    if (!(scale > 0.0)) return;
    auto& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    auto now = Steady::now();
    s.baseTicks += std::chrono::duration<double, std::milli>(now - s.base).count() / s.scale;
    s.base = now;
    s.scale = scale;
}

uint32_t Tick() {
    auto& s = State();
    std::lock_guard<std::mutex> g(s.lock);
    double ms = s.baseTicks + std::chrono::duration<double, std::milli>(Steady::now() - s.base).count() / s.scale;
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

std::chrono::nanoseconds Scaled(uint32_t ms) {
    return std::chrono::nanoseconds(static_cast<int64_t>(static_cast<double>(ms) * 1e6 * TimeScale()));
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(Scaled(ms)); }

}  // namespace z5
