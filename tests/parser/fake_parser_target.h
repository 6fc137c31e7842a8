// A device stand-in for the stream parser: a fixed set of sensors, the samples they
// received and the notifications raised.
#pragma once
#include <cstdint>
#include <deque>
#include <new>
#include <ostream>
#include <vector>

#include "uStreamParser.h"

struct FakeSensor {
    int32_t address = 0;
    int32_t channels = 0;
    bool identity18 = false;
    int32_t samplePeriod2 = 2000;
};

struct Sample {
    int32_t address;
    std::vector<int32_t> values;
    int64_t time;
    bool operator==(const Sample&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Sample& s) {
    os << "{addr " << s.address << ", t " << s.time << ", [";
    for (size_t i = 0; i < s.values.size(); ++i) os << (i ? " " : "") << s.values[i];
    return os << "]}";
}

class FakeParserTarget : public IParserTarget {
public:
    std::deque<FakeSensor> sensors;  // stable addresses; the first one is sensor 0
    bool hasSensor0 = true;
    int32_t sensorCountSum = 2;
    int throwOnDelivery = -1;  // AddMeasurement throws on this call (0-based)
    int deliveries = 0;
    int notifications = 0;
    std::vector<Sample> samples;

    void* FindSensorByAddress(int32_t address) override {
        for (auto& s : sensors)
            if (s.address == address) return &s;
        return nullptr;
    }
    void* GetSensor(int32_t index) override {
        return index == 0 && hasSensor0 && !sensors.empty() ? &sensors.front() : nullptr;
    }
    int32_t GetChannelCount(void* sensor) override { return As(sensor).channels; }
    bool IsIdentity18(void* sensor) override { return As(sensor).identity18; }
    int32_t GetSamplePeriod2(void* sensor) override { return As(sensor).samplePeriod2; }
    void AddMeasurement(void* sensor, std::span<const int32_t> values, int64_t time) override {
        if (deliveries++ == throwOnDelivery) throw std::bad_alloc();
        samples.push_back({As(sensor).address, std::vector<int32_t>(values.begin(), values.end()), time});
    }
    int32_t GetSensorCountSum() override { return sensorCountSum; }
    void RaiseNotification() override { ++notifications; }

private:
    static FakeSensor& As(void* sensor) { return *static_cast<FakeSensor*>(sensor); }
};
