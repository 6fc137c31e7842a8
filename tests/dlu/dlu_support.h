// Shared by the data logger tests: a simulated logger on an exported bus and a
// TDLU opened on it, records and a firmware stream.
#pragma once
#include "z5test_stream.h"
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tovamod.h"
#include "uDLU.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_datalogger.h"

namespace dlu_test {

using z5sim::Bytes;

inline Bytes Request(char cmd) { return {0x7D, 0x03, static_cast<uint8_t>(cmd), 0xFE, 0xFF, 0x7E}; }

// Caller's file records, zero-filled, with their texts freed at the end.
struct Records {
    explicit Records(size_t n = TOVAMOD_DLU_MAX_FILES) : r(n) {}
    ~Records() {
        for (auto& x : r) z5_dlu_free_texts(&x);
    }
    TDLUFileInfo* data() { return r.data(); }
    TDLUFileInfo& operator[](size_t i) { return r[i]; }
    std::vector<TDLUFileInfo> r;
};

inline std::string Str(const char* s) { return s ? std::string(s) : std::string("<null>"); }

using z5test::VectorStream;

class Logger : public ::testing::Test {
protected:
    // Protocol time: a 500 ms reply wait takes 250 ms here, roomy enough for a
    // loaded machine running the sanitizer builds.
    virtual double TimeScale() const { return 0.5; }

    void SetUp() override {
        z5::SetTimeScale(TimeScale());
        bus.Export();
        ASSERT_TRUE(bus.Plug(sim));
        dlu = std::make_unique<TDLU>();
        dlu->SetSerialNo("FP1");
        ASSERT_EQ(dlu->OpenDevice(921600, 0), 0);
    }
    // The destruction's waits go fast; its 'S' request goes out all the same.
    void TearDown() override {
        z5::SetTimeScale(0.05);
        dlu.reset();
    }

    // Frames the logger received since the last call.
    std::vector<Bytes> Frames() {
        auto f = sim->ReceivedFrames();
        sim->ClearReceived();
        return f;
    }
    // Waits (real time, bounded) until the sensor holds n measurements.
    bool WaitForMeasurements(int64_t n) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (dlu->GetSensorDLU()->GetNumMeasureAvailable() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    z5sim::Bus bus;
    std::shared_ptr<z5sim::DataLogger> sim = std::make_shared<z5sim::DataLogger>(z5sim::DataLogger::kDescription, "FP1");
    std::unique_ptr<TDLU> dlu;
};

}  // namespace dlu_test
