// Protocol clock: a 32-bit millisecond tick and sleeps, both on one scale that
// tests can shrink (ZELTO5_TIME_SCALE, default 1). A scale of 0.01 makes every
// protocol duration a hundredth of its real length; the tick then runs 100 times
// faster, so code keeps comparing tick differences against the real thresholds.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace z5 {

// Current scale (read from ZELTO5_TIME_SCALE once, unless set by SetTimeScale).
double TimeScale();
// Tests only: changes the scale; the tick stays continuous across the change.
void SetTimeScale(double scale);

// Millisecond tick on the scaled clock; wraps after 2^32 ms, so take durations as
// unsigned differences.
uint32_t Tick();
inline uint32_t TicksSince(uint32_t start) { return Tick() - start; }

// Real duration of ms protocol milliseconds.
std::chrono::nanoseconds Scaled(uint32_t ms);

// Sleeps ms protocol milliseconds.
void SleepMs(uint32_t ms);

// Sleeps ms protocol milliseconds or until stop() turns true after a notify on cv.
template <class Pred>
bool SleepFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, uint32_t ms, Pred stop) {
    return cv.wait_for(lock, Scaled(ms), stop);
}

}  // namespace z5
