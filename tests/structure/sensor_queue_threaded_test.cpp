// The measurement queue under concurrent appends, reads and destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include "uHandleRegistry.h"
#include "uTemplateSensors.h"
#include "z5test_wait.h"

namespace {

constexpr int kAppenders = 2;
constexpr int kReaders = 2;

// Holds its base teardown back until every worker has stopped touching it, so
// the workers run against the sensor during its destruction wait only.
struct GatedSensor : TTemplateSensors {
    std::latch& workersDone;
    explicit GatedSensor(std::latch& done) : workersDone(done) {}
    ~GatedSensor() override {
        BeginDestruction();
        workersDone.wait();
    }
};

}  // namespace

TEST(SensorQueueThreaded, AppendReadAndDestroyConcurrently) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        std::latch done(kAppenders + kReaders);
        std::latch started(kAppenders + kReaders + 1);
        auto* sensor = new GatedSensor(done);
        std::atomic<int> lateReads{0}, lateCounts{0};
        std::vector<std::thread> workers;
        for (int a = 0; a < kAppenders; ++a) {
            workers.emplace_back([&, a] {
                started.arrive_and_wait();
                IntArray values{a, 1, 2, 3};
                int64_t t = 0;
                while (!sensor->GetIsDestroying()) sensor->AddMeasurement(4, values, ++t);
                const int64_t before = sensor->GetNumMeasureAvailable();
                sensor->AddMeasurement(4, values, ++t);  // ignored
                if (sensor->GetNumMeasureAvailable() > before) ++lateCounts;
                done.count_down();
            });
        }
        for (int r = 0; r < kReaders; ++r) {
            workers.emplace_back([&] {
                started.arrive_and_wait();
                int64_t time;
                int32_t values[4];
                int64_t last[kAppenders] = {};
                while (!sensor->GetIsDestroying()) {
                    if (sensor->ReadRawMeasurement(&time, 4, values) == 0) {
                        // Per appender, time stamps come out in the order they went in.
                        const int a = values[0];
                        EXPECT_TRUE(a >= 0 && a < kAppenders) << a;
                        if (a < 0 || a >= kAppenders) break;
                        EXPECT_GT(time, last[a]);
                        last[a] = time;
                        EXPECT_EQ(values[3], 3);
                    }
                    (void)sensor->GetNumMeasureAvailable();
                }
                if (sensor->ReadRawMeasurement(&time, 4, values) != -1) ++lateReads;
                done.count_down();
            });
        }
        started.arrive_and_wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::thread destroyer([sensor] { delete sensor; });
        destroyer.join();
        for (auto& w : workers) w.join();
        EXPECT_EQ(lateReads.load(), 0);
        EXPECT_EQ(lateCounts.load(), 0);
    }
}

// Destruction waits for an export that holds the sensor (no fixed wait): it ends as
// soon as the export has let go.
TEST(SensorQueueThreaded, DestructionWaitsForTheExportInside) {
    auto* sensor = new TTemplateSensors;
    RegisterSensor(sensor);
    auto lease = LeaseSensor(sensor);
    ASSERT_TRUE(lease);
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        delete sensor;
        destroyed = true;
    });
    // Once the destructor has begun, it waits for the export.
    EXPECT_TRUE(z5test::WaitUntil([&] { return lease->GetIsDestroying(); }));
    EXPECT_FALSE(destroyed.load());
    EXPECT_EQ(lease->ReadRawMeasurement(nullptr, 0, nullptr), -1);
    lease = {};  // the export returns
    destroyer.join();
    EXPECT_TRUE(destroyed.load());
    EXPECT_FALSE(LeaseSensor(sensor));
}
