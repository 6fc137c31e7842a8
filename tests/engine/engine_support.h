// Shared by the engine tests: a TRTUU opened on a simulated Radio Master.
#pragma once
#include "z5test_clock.h"
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "uD2XX.h"
#include "uRTUU.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_radiomaster.h"

namespace engine_test {

using z5sim::Bytes;

inline Bytes B(std::initializer_list<int> bytes) {
    Bytes out;
    for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
    return out;
}

using z5test::ScopedTimeScale;

class RadioLine : public ::testing::Test {
protected:
    static constexpr const char* kSerial = "RM1";
    // A reply wait of 100 ms real: a loaded machine (sanitizers) answers well within it.
    static constexpr double kTimeScale = 0.2;

    void SetUp() override {
        MeasureMode = false;
        bus.Export();
        ASSERT_TRUE(bus.Plug(rm));
        dev = std::make_unique<TRTUU>();
        dev->SetSerialNo(kSerial);
        ASSERT_EQ(dev->OpenDevice(921600, 0), 0);
    }
    void TearDown() override {
        dev.reset();
        SetProcessDataHandler({nullptr, nullptr});
        MeasureMode = false;
    }
    // Every frame the model received since the last call is `frame` (a slow
    // machine may have sent it again).
    void ExpectSentOnly(const Bytes& frame) {
        const auto sent = Sent();
        EXPECT_FALSE(sent.empty());
        for (const auto& f : sent) EXPECT_EQ(f, frame);
    }
    // Frames the model received since the last call (waits until at least `least` came).
    std::vector<Bytes> Sent(size_t least = 0) {
        if (least) {
            EXPECT_TRUE(rm->WaitForMessages(least));
        }
        auto frames = rm->ReceivedFrames();
        rm->ClearReceived();
        return frames;
    }

    ScopedTimeScale scale{kTimeScale};
    z5sim::Bus bus;
    std::shared_ptr<z5sim::RadioMaster> rm =
        std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, kSerial);
    std::unique_ptr<TRTUU> dev;
};

}  // namespace engine_test
