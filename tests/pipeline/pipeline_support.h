// Shared by the pipeline tests: a sensor kind with a fixed channel count, a device
// stand-in that keeps its sensors in a slot table the way the radio base does, a
// simulated line, and bounded waits.
#pragma once
#include "z5test_samples.h"
#include "z5test_wait.h"
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "uD2XX.h"
#include "uFtdiDevice.h"
#include "uTemplateSensors.h"
#include "z5sim_bus.h"
#include "z5sim_generic.h"
#include "z5sim_message.h"

namespace pipeline_test {

using z5sim::Bytes;

class TestSensor : public TTemplateSensors {
public:
    TestSensor(int32_t address, int32_t channels, bool identity18 = false)
        : Channels(channels), Identity18(identity18) {
        SetAddress(address);
    }
    ~TestSensor() override { BeginDestruction(); }
    int32_t GetChannelCount() override { return Channels; }
    int32_t GetSamplePeriod2() override { return SamplePeriod2; }

    const int32_t Channels;
    const bool Identity18;
    int32_t SamplePeriod2 = 2000;
};

using z5test::Drain;
using z5test::Sample;

// The radio base's locking: a device lock, and a slot table that changes only under
// the device lock and the reader's BufferLock; the parser reads it under BufferLock.
class FakeOwner : public IReaderOwner {
public:
    static constexpr size_t kSlots = 100;
    explicit FakeOwner(TFtdiDevice& reader) : Reader(reader) { Reader.SetOwnerDevice(this); }
    ~FakeOwner() override {
        Reader.SetOwnerDevice(nullptr);
        for (auto*& s : Slots) {
            delete s;
            s = nullptr;
        }
    }

    // Takes ownership; the slot index, or -1 when full.
    int Add(TestSensor* sensor) {
        std::lock_guard d(DeviceLock);
        std::lock_guard b(Reader.BufferLock());
        for (size_t i = 0; i < kSlots; ++i) {
            if (!Slots[i]) {
                Slots[i] = sensor;
                return static_cast<int>(i);
            }
        }
        delete sensor;
        return -1;
    }
    // Frees the sensor of the slot (with its destruction wait, under both locks).
    void Remove(int slot) {
        std::lock_guard d(DeviceLock);
        std::lock_guard b(Reader.BufferLock());
        delete Slots[static_cast<size_t>(slot)];
        Slots[static_cast<size_t>(slot)] = nullptr;
    }
    // Getter of the radio base: device lock, then BufferLock.
    TestSensor* Find(int32_t address) {
        std::lock_guard d(DeviceLock);
        std::lock_guard b(Reader.BufferLock());
        return FindSensor(address);
    }

    TTemplateSensors* FindSensorByAddressUnderBufferLock(int32_t address) override { return FindSensor(address); }
    TTemplateSensors* GetSensorUnderBufferLock(int32_t index) override {
        return index >= 0 && static_cast<size_t>(index) < kSlots ? Slots[static_cast<size_t>(index)] : nullptr;
    }
    bool IsIdentity18(TTemplateSensors* sensor) override { return static_cast<TestSensor*>(sensor)->Identity18; }

    std::recursive_mutex DeviceLock;

private:
    TestSensor* FindSensor(int32_t address) {
        for (auto* s : Slots)
            if (s && s->GetAddress() == address) return s;
        return nullptr;
    }
    TFtdiDevice& Reader;
    std::array<TestSensor*, kSlots> Slots{};
};

// Measurement frame: address, time count, 16-bit values.
inline Bytes MeasurementFrame(uint16_t address, uint32_t timeCount, const std::vector<uint16_t>& values) {
    Bytes payload{static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                  static_cast<uint8_t>(timeCount), static_cast<uint8_t>(timeCount >> 8),
                  static_cast<uint8_t>(timeCount >> 16), static_cast<uint8_t>(timeCount >> 24)};
    for (uint16_t v : values) {
        payload.push_back(static_cast<uint8_t>(v));
        payload.push_back(static_cast<uint8_t>(v >> 8));
    }
    return z5sim::MakeFrame(0x08, payload);
}

using z5test::WaitUntil;

// A simulated line opened as the devices' open routine leaves it (100 ms time-outs).
class SimLine {
public:
    explicit SimLine(std::shared_ptr<z5sim::Device> device) : Device(std::move(device)) {
        bus.Export();
        if (!bus.Plug(Device)) return;
        D2XXGuard g;
        if (OpenBySerialNo(Device->Serial()) != d2xx::kOk) return;
        Handle = CurrentHandle;
        SetFTTimeouts(100, 100);
    }
    ~SimLine() {
        if (!Handle) return;
        D2XXGuard g;
        CurrentHandle = Handle;
        CloseFTDevice();
    }
    // Bytes waiting in the library's receive queue.
    uint32_t Queued() const {
        uint32_t n = 0;
        d2xx::GetQueueStatus(Handle, &n);
        return n;
    }

    z5sim::Bus bus;
    std::shared_ptr<z5sim::Device> Device;
    d2xx::Handle Handle = nullptr;
};

// Counts notifications; the handler frees each record.
struct NotificationCounter {
    explicit NotificationCounter(std::function<void()> call = {}) : onCall(std::move(call)) {
        SetProcessDataHandler({&Handler, this});
    }
    ~NotificationCounter() { SetProcessDataHandler({nullptr, nullptr}); }
    static void Handler(void* context, pOnChangeData* record) {
        auto* self = static_cast<NotificationCounter*>(context);
        if (record && *record && (*record)->Flag == 1) ++self->count;
        std::free(*record);
        if (self->onCall) self->onCall();
    }
    std::atomic<int> count{0};
    const std::function<void()> onCall;  // called from the raising thread
};

}  // namespace pipeline_test
