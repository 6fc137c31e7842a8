// Measurements taken from a sensor's queue as values.
#pragma once
#include <cstdint>
#include <ostream>
#include <vector>

#include "uTemplateSensors.h"

namespace z5test {

struct Sample {
    int64_t time;
    std::vector<int32_t> values;
    bool operator==(const Sample&) const = default;
};

inline void PrintTo(const Sample& s, std::ostream* os) {
    *os << "{t " << s.time << ":";
    for (int32_t v : s.values) *os << " " << v;
    *os << "}";
}

// Takes every queued measurement of the sensor.
inline std::vector<Sample> Drain(TTemplateSensors& sensor, int32_t channels) {
    std::vector<Sample> out;
    for (;;) {
        Sample s{0, std::vector<int32_t>(static_cast<size_t>(channels))};
        if (sensor.ReadRawMeasurement(&s.time, channels, s.values.data()) != 0) return out;
        out.push_back(std::move(s));
    }
}

}  // namespace z5test
