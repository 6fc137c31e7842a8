// The lock cycle on the radio base: its measurement stream runs through the reader
// and parser threads while other threads make requests, refresh (pause the reader,
// read the node list, remove and add sensors), read the sensor tables, start and stop
// the measurement, and a notification handler calls back into the device. Every path
// keeps the library's lock order; ThreadSanitizer checks it, and a watchdog fails the
// test on a hang.
#include <gtest/gtest.h>

#include <random>

#include "pipeline_support.h"
#include "uRTUU.h"
#include "watchdog.h"
#include "z5sim_radiomaster.h"

using namespace pipeline_test;
using namespace std::chrono_literals;

namespace {

constexpr int kUnits = 5;  // remote units at addresses 2..6, streaming
int32_t ChannelsOf(int32_t address) { return 1 + address % 3; }

// A radio base whose refresh replaces a sensor object the way the sensor tables
// change: reader paused, node list read, then device lock -> BufferLock around the
// change (the removed sensor's destruction wait included).
class TRefreshingRTUU : public TRTUU {
public:
    void Refresh(int32_t address) {
        GetReader().SetReaderPaused(true);
        ReadNodeList();
        {
            std::lock_guard device(DeviceLock);
            std::lock_guard buffer(Reader->BufferLock());
            for (auto& slot : SensorSlots) {
                if (slot && slot->GetAddress() == address) slot = nullptr;
            }
            for (auto it = Sensors.begin(); it != Sensors.end(); ++it) {
                if ((*it)->GetAddress() != address) continue;
                (*it)->SetIsDestroying(true);
                delete *it;
                Sensors.erase(it);
                break;
            }
            Sensors.push_back(new TestSensor(address, ChannelsOf(address)));
            *std::find(SensorSlots.begin(), SensorSlots.end(), nullptr) = Sensors.back();
        }
        GetReader().SetReaderPaused(false);
    }
    // A client reading every queue (device lock -> queue lock, so no sensor goes meanwhile).
    long Drain() {
        std::lock_guard device(DeviceLock);
        long n = 0;
        int64_t time = 0;
        int32_t values[8];
        for (TTemplateSensors* s : Sensors)
            while (s->ReadRawMeasurement(&time, 8, values) == 0) ++n;
        return n;
    }
};

TEST(LockCycle, StreamRequestsRefreshAndGettersOnTheRadioBase) {
    z5sim::Bus bus;
    bus.Export();
    auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RMS");
    std::vector<uint16_t> nodes{1};
    for (uint16_t a = 2; a < 2 + kUnits; ++a) {
        z5sim::RadioUnit u = z5sim::RadioUnit::Remote(a, 0x1000 + a);
        u.streams = true;
        u.streamValues.assign(static_cast<size_t>(ChannelsOf(a) * 2), a);
        rm->SetUnit(u);
        nodes.push_back(a);
    }
    rm->SetNodeList(nodes);
    rm->SetStreamPeriod(20);
    ASSERT_TRUE(bus.Plug(rm));
    MeasureMode = false;
    SensorCountSum = kUnits;

    auto dev = std::make_unique<TRefreshingRTUU>();
    dev->SetSerialNo("RMS");
    ASSERT_EQ(dev->OpenDevice(921600, 0), 0);
    dev->SetReaderTimeBase(10);
    for (int32_t a = 2; a < 2 + kUnits; ++a) dev->Refresh(a);
    ASSERT_EQ(dev->GetSensorCount(), kUnits);

    Progress starts{"measurement starts"}, requests{"requests"}, answered{"requests answered"},
        refreshes{"refreshes"}, getters{"getter reads"}, drained{"samples drained"}, notified{"notifications"};
    // A handler that calls into the device: a getter and a request. It may still run
    // while the device is being destroyed (the reader stops inside the destructor),
    // so it holds the object itself, not the owning pointer that reset() clears,
    // and calls without virtual dispatch.
    TRefreshingRTUU* self = dev.get();
    NotificationCounter notes([self, &notified] {
        self->TRTUU::GetSensorCount();
        self->TRTUU::GetRTUUParam(6);
        ++notified.count;
    });
    Watchdog watchdog(90s, {&starts, &requests, &answered, &refreshes, &getters, &drained, &notified});
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;

    // Measurement start and stop; the unsolicited notification frame comes while
    // measuring (not raised) and between measurements (raised).
    workers.emplace_back([&] {
        const z5sim::Bytes notification{0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E};
        for (int i = 0; i < 30; ++i) {
            if (dev->StartMeasure() == 0) ++starts.count;
            std::this_thread::sleep_for(8ms);
            rm->Send(notification);
            rm->SendShortFrame('8', 2);
            std::this_thread::sleep_for(4ms);
            dev->StopMeasure();
            rm->Send(notification);
            std::this_thread::sleep_for(4ms);
        }
    });
    // Requests: device lock -> D2XXLock (parameter and MAC reads), D2XXLock alone.
    workers.emplace_back([&] {
        for (int i = 0; i < 30; ++i) {
            answered.count += dev->ReadParam(0, 6) == 11;
            answered.count += dev->GetMACExtAddr(3, false) != kNoMAC;
            requests.count += 2;
        }
    });
    workers.emplace_back([&] {
        TRTUUParams params{};
        for (int i = 0; i < 30; ++i) {
            answered.count += dev->GetRTUUParams(&params) == 1;
            answered.count += dev->ReadSensorParam(4, 1) != -1;
            requests.count += 2;
        }
    });
    // The refresh.
    workers.emplace_back([&] {
        std::mt19937 rng(4);
        for (int i = 0; i < 30; ++i) {
            dev->Refresh(2 + static_cast<int32_t>(rng() % kUnits));
            ++refreshes.count;
            std::this_thread::sleep_for(2ms);
        }
    });
    // Getters (device lock -> BufferLock) and a client draining the queues.
    std::thread reader([&] {
        while (!stop) {
            dev->GetSensorCount();
            for (int32_t a = 2; a < 2 + kUnits; ++a) dev->FindSensorByAddress(a);
            dev->GetSensor(0);
            dev->GetReaderPending();
            getters.count += 4;
            drained.count += dev->Drain();
            std::this_thread::sleep_for(200us);
        }
    });

    for (auto& w : workers) w.join();
    // A last measurement stays running while the device goes.
    EXPECT_EQ(dev->StartMeasure(), 0);
    // Under a loaded machine the short measurements above may end before the
    // parser's first batch; this one runs until samples arrive, whoever drains them.
    ASSERT_TRUE(WaitUntil([&] {
        const auto n = dev->Drain();
        drained.count += n;
        return drained.count > 0;
    }));
    stop = true;
    reader.join();
    dev.reset();
    MeasureMode = false;
    SensorCountSum = 0;

    std::printf("lock cycle: %ld starts, %ld requests (%ld answered), %ld refreshes, %ld getter reads, "
                "%ld samples drained, %ld notifications, %llu frames streamed\n",
                starts.count.load(), requests.count.load(), answered.count.load(), refreshes.count.load(),
                getters.count.load(), drained.count.load(), notified.count.load(),
                static_cast<unsigned long long>(rm->StreamedFrames()));
    EXPECT_GT(starts.count, 0);
    EXPECT_EQ(requests.count, 120);
    EXPECT_GT(answered.count, 0);
    EXPECT_EQ(refreshes.count, 30);
    EXPECT_GT(drained.count, 0);
    EXPECT_GT(notified.count, 0);
}

}  // namespace
