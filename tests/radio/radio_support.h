// Shared by the radio tests: simulated radio units with identity, channel mask and
// node values, a radio base opened on a simulated Radio Master with a device node
// of its own, sensor nodes as values, and what the model received.
#pragma once
#include "z5test_clock.h"
#include "z5test_samples.h"
#include "z5test_wait.h"
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "uD2XX.h"
#include "uGlobalDev.h"
#include "uRTUU.h"
#include "uSensorRCU.h"
#include "uSensorRTCU.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_radiomaster.h"

namespace radio_test {

using z5sim::Bytes;
using z5sim::RadioUnit;

constexpr uint64_t kBaseMAC = 0x0011223344556677ull;  // the model's parameter 7
constexpr uint64_t kOwnMAC = 0x1000000000000001ull;   // the model's own unit at address 1
constexpr uint8_t kWriteParam = 0x11;
constexpr uint8_t kReadParam = 0x12;
constexpr uint8_t kNodeList = 0x1F;
constexpr uint8_t kReadEEPROM = 0x42;

inline std::string MacText(uint64_t mac) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(mac));
    return text;
}

// What a remote unit answers to the refresh.
struct UnitSpec {
    uint16_t address;
    uint64_t mac;
    uint32_t identity = 7;  // sensor EEPROM value 1
    uint8_t mask = 0x03;    // parameter 28
    uint8_t p16 = 16, p23 = 23;
    uint16_t p21 = 2100;
};

inline RadioUnit Remote(const UnitSpec& s) {
    RadioUnit u = RadioUnit::Remote(s.address, s.mac);
    u.eeprom[1].value = s.identity;
    u.params[28].value = s.mask;
    u.params[16].value = s.p16;
    u.params[21].value = s.p21;
    u.params[23].value = s.p23;
    return u;
}

// The model's own unit with parameters 7 and 8 (the node's two values).
inline RadioUnit Own(uint16_t address, uint64_t mac, uint8_t p7, uint16_t p8) {
    RadioUnit u = RadioUnit::Own(address, mac);
    u.params[7].value = p7;
    u.params[8].value = p8;
    return u;
}

// A sensor node as a value.
struct UnitNode {
    uint8_t kind;
    int32_t address, identity, value1, value2, value3, channels;
    bool operator==(const UnitNode&) const = default;
};

inline void PrintTo(const UnitNode& n, std::ostream* os) {
    *os << "{kind " << int(n.kind) << " @" << n.address << " id " << n.identity << " v " << n.value1 << ","
        << n.value2 << "," << n.value3 << " ch " << n.channels << "}";
}

// Sensor nodes in order, after checking the links both ways.
inline std::vector<UnitNode> UnitNodes(const TDeviceStructure* device) {
    std::vector<UnitNode> out;
    const TSensorStructure* prev = nullptr;
    for (const TSensorStructure* q = device ? device->Sensors : nullptr; q; q = q->Next) {
        EXPECT_EQ(q->Prev, prev);
        out.push_back({q->Kind, q->Address, q->Identity, q->Value1, q->Value2, q->Value3, q->ChannelCount});
        prev = q;
    }
    return out;
}

inline std::vector<int32_t> Addresses(const TDeviceStructure* device) {
    std::vector<int32_t> out;
    for (const TSensorStructure* q = device ? device->Sensors : nullptr; q; q = q->Next) out.push_back(q->Address);
    return out;
}

// Parameter writes (address, id, value byte) among frames.
struct Write {
    int32_t address, id, value;
    bool operator==(const Write&) const = default;
};

inline void PrintTo(const Write& w, std::ostream* os) { *os << "{@" << w.address << " p" << w.id << ":=" << w.value << "}"; }

inline std::vector<Write> ParamWrites(const std::vector<Bytes>& frames) {
    std::vector<Write> out;
    for (const auto& f : frames)
        if (f.size() > 6 && f[2] == kWriteParam) out.push_back({f[3] | f[4] << 8, f[5], f[6]});
    return out;
}

inline size_t Count(const std::vector<Bytes>& frames, uint8_t cmd) {
    size_t n = 0;
    for (const auto& f : frames)
        if (f.size() > 2 && f[2] == cmd) ++n;
    return n;
}

using z5test::WaitUntil;

using z5test::ScopedTimeScale;

using z5test::Drain;
using z5test::Sample;

// A radio base opened on a simulated Radio Master (own unit at 1), with the device
// node a scan would give it; the node list starts empty.
class RadioBase : public ::testing::Test {
protected:
    static constexpr const char* kSerial = "RM1";
    // Reply waits of 100 ms real: a loaded machine (sanitizers) answers well within them.
    static constexpr double kTimeScale = 0.2;

    void SetUp() override {
        MeasureMode = false;
        bus.Export();
        ASSERT_TRUE(bus.Plug(rm));
        dev = std::make_unique<TRTUU>();
        dev->SetSerialNo(kSerial);
        ASSERT_EQ(dev->OpenDevice(921600, 0), 0);
        dev->SetOwnMAC(MacText(kBaseMAC));
        node = NewDeviceNode(TOVAMOD_KIND_RADIO_MASTER, dev.get(), kSerial);
    }
    void TearDown() override {
        if (dev) dev->GetReader().SetActive(false);
        dev.reset();
        FreeDeviceNode(node);
        MeasureMode = false;
    }
    // Admission by a set of allowed unit MACs (lock on).
    void Allow(std::vector<uint64_t> macs) {
        dev->SetNetworkLock(true);
        dev->SetOnSensorAllowed([this, macs = std::move(macs)](const std::string& unit, const std::string& base) {
            ++admissionChecks;
            if (base != MacText(kBaseMAC)) return false;
            for (uint64_t m : macs)
                if (unit == MacText(m)) return true;
            return false;
        });
    }
    bool Refresh() { return dev->RefreshSensors(node); }
    // Frames the model received since the last call.
    std::vector<Bytes> Sent() {
        auto frames = rm->ReceivedFrames();
        rm->ClearReceived();
        return frames;
    }
    TTemplateSensors* SensorAt(int32_t address) {
        for (TSensorStructure* q = node->Sensors; q; q = q->Next)
            if (q->Address == address) return static_cast<TTemplateSensors*>(q->Sensor);
        return nullptr;
    }

    ScopedTimeScale scale{kTimeScale};
    z5sim::Bus bus;
    std::shared_ptr<z5sim::RadioMaster> rm =
        std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, kSerial);
    std::unique_ptr<TRTUU> dev;
    TDeviceStructure* node = nullptr;
    std::atomic<int> admissionChecks{0};
};

}  // namespace radio_test
