// Shared by the firmware tests: a TRTUU opened on a simulated Radio Master whose
// base and own radio unit (address 1) take firmware of device class 4 for
// hardware version 3, and a firmware stream over a byte vector.
#pragma once
#include "z5test_clock.h"
#include "z5test_stream.h"
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "tovamod.h"
#include "uD2XX.h"
#include "uRTUU.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_firmware.h"
#include "z5sim_radiomaster.h"

namespace firmware_test {

using z5sim::Bytes;
using z5sim::FirmwareReceiver;

inline Bytes Pattern(size_t n, unsigned seed = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + seed * 7 + (i >> 8));
    return b;
}

using z5test::VectorStream;

using z5test::ScopedTimeScale;

class FirmwareLine : public ::testing::Test {
protected:
    static constexpr const char* kSerial = "RMF1";
    static constexpr uint8_t kHardware = 3;
    static constexpr int32_t kDeviceClass = 4;
    // A block wait of 100 ms real, a start or finish wait of 400 ms.
    static constexpr double kTimeScale = 0.2;

    void SetUp() override {
        MeasureMode = false;
        rm->SetParam(0, kHardware);
        rm->EditUnit(1, [](z5sim::RadioUnit& u) { u.params[0].value = kHardware; });
        bus.Export();
        ASSERT_TRUE(bus.Plug(rm));
        dev = std::make_unique<TRTUU>();
        dev->SetSerialNo(kSerial);
        ASSERT_EQ(dev->OpenDevice(921600, 0), 0);
    }
    void TearDown() override { dev.reset(); }

    int32_t Start(int32_t address, int32_t version, int32_t index, int32_t count, size_t size) {
        const uint8_t hardware[] = {1, kHardware};
        return dev->UpdateStart(address, version, index, count, static_cast<int32_t>(size), kDeviceClass, 2,
                                hardware);
    }
    // One whole part: start, blocks, finish; the first failing step's result.
    int32_t Part(int32_t address, int32_t version, int32_t index, int32_t count, const Bytes& image) {
        if (int32_t r = Start(address, version, index, count, image.size()); r != 0) return r;
        VectorStream stream(image);
        if (int32_t r = dev->UpdateBlocks(address, 1, &stream.holder); r != 0) return r;
        return dev->UpdateFinish(address, z5sim::FirmwareCrc32(image));
    }
    std::vector<Bytes> Sent() {
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

}  // namespace firmware_test
