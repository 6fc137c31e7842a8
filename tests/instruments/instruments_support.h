// Shared by the instrument tests: the library initialised over a private program
// folder and a simulator bus, one simulated device plugged and found by the scan,
// and what the model received.
#pragma once
#include "z5test_library.h"
#include "z5test_wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tovamod.h"
#include "uTemplateDevices.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_fault.h"
#include "z5sim_instruments.h"
#include "z5widestring.h"

namespace instruments_test {

namespace fs = std::filesystem;
using z5sim::Bytes;

using z5test::WaitUntil;

// A sensor node of a copy as a value.
struct SensorValue {
    uint8_t kind = 0;
    int32_t address = 0, identity = 0, value1 = 0, value2 = 0, value3 = 0, channels = 0;
    void* sensor = nullptr;
    bool operator==(const SensorValue& o) const {
        return kind == o.kind && address == o.address && identity == o.identity && value1 == o.value1 &&
               value2 == o.value2 && value3 == o.value3 && channels == o.channels;
    }
};

inline void PrintTo(const SensorValue& s, std::ostream* os) {
    *os << "{kind " << int(s.kind) << " @" << s.address << " id " << s.identity << " v " << s.value1 << ","
        << s.value2 << "," << s.value3 << " ch " << s.channels << "}";
}

// The device node of the one attached device, as a client sees it in a copy.
struct Found {
    uint8_t kind = 0;
    void* device = nullptr;
    std::vector<SensorValue> sensors;
};

// The library over a private program folder and a simulator bus.
class Library : public z5test::LibraryOnBus {
protected:
    // Reply waits of 250 ms real (most instrument exchanges have one attempt): a
    // loaded machine running the sanitizer builds answers well within them.
    static constexpr double kTimeScale = 0.5;

    void SetUp() override {
        savedScale = z5::TimeScale();
        z5::SetTimeScale(kTimeScale);
        LibraryOnBus::SetUp();
    }
    // The devices' destruction waits go fast.
    void TearDown() override {
        z5::SetTimeScale(savedScale);
        LibraryOnBus::TearDown();
    }
    double savedScale = 1;

    // Plugs the model and waits until a copy shows its node with `sensors` sensor nodes.
    std::optional<Found> PlugAndFind(std::shared_ptr<z5sim::Device> model, size_t sensors = 1) {
        if (!bus.Plug(model)) return std::nullopt;
        return WaitForNode(sensors);
    }
    std::optional<Found> WaitForNode(size_t sensors) {
        std::optional<Found> found;
        WaitUntil([&] {
            THardwareStructure* copy = tovamod_GetHardwareStructure();
            if (!copy || !copy->First) return false;
            Found f;
            f.kind = copy->First->Kind;
            f.device = copy->First->Device;
            for (const TSensorStructure* q = copy->First->Sensors; q; q = q->Next)
                f.sensors.push_back({q->Kind, q->Address, q->Identity, q->Value1, q->Value2, q->Value3,
                                     q->ChannelCount, q->Sensor});
            if (f.sensors.size() != sensors) return false;
            found = f;
            return true;
        });
        return found;
    }
    // The name of device 0 through the export.
    static std::u16string FirstDeviceName() {
        const z5_char16* name = nullptr;
        if (tovamod_GetNthAvailableDevice(&name, 0) != 0 || !name) return u"?";
        return std::u16string(name);
    }

};

// The frames of a model whose CMD is cmd.
inline std::vector<Bytes> FramesOf(const z5sim::Device& model, uint8_t cmd) {
    std::vector<Bytes> out;
    for (const Bytes& f : model.ReceivedFrames())
        if (f.size() > 2 && f[2] == cmd) out.push_back(f);
    return out;
}

// One command text through the export and the frames it made reach the model
// (identification off, so that no scan sends meanwhile).
struct CommandCase {
    const char* text;
    Bytes frame;       // expected frame; empty: nothing is sent
    int32_t result;
};

inline void PrintTo(const CommandCase& c, std::ostream* os) { *os << "\"" << c.text << "\""; }

}  // namespace instruments_test

namespace instruments_test {

// Runs each case through tovamod_Device_SendCmdAndGetResponse and checks the
// result and the frames that reached the model.
inline void RunCommands(z5sim::Device& model, void* device, const std::vector<CommandCase>& cases) {
    tovamod_DeactivateDevicesIdentification();
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c));
        model.ClearReceived();
        EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, c.text, 0), c.result);
        if (c.frame.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_TRUE(model.ReceivedBytes().empty());
        } else {
            // A command may return before the device has read it (a reply it needs
            // none of, or a stream frame that ends its read).
            model.WaitForMessages(1, std::chrono::seconds(2));
            EXPECT_EQ(model.ReceivedFrames(), std::vector<Bytes>{c.frame});
        }
    }
    tovamod_ActivateDevicesIdentification();
}

}  // namespace instruments_test
