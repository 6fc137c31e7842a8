// The scan thread and the registry of live device and sensor objects.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "discovery_support.h"
#include "uFtdiController.h"
#include "uHandleRegistry.h"
#include "uTemplateDevices.h"
#include "uTemplateSensors.h"
#include "z5clock.h"

using discovery_test::WaitUntil;
using namespace std::chrono_literals;

namespace {

TEST(ScanThread, ScansUntilDestroyedEvenWhenAScanThrows) {
    std::atomic<int> scans{0};
    std::atomic<bool> onScanThread{false};
    auto controller = std::make_unique<TFtdiDeviceController>();
    TFtdiDeviceController* const self = controller.get();
    controller->SetScanEvent([&](TFtdiDeviceController* sender) {
        EXPECT_EQ(sender, self);
        onScanThread = TFtdiDeviceController::OnScanThread();
        if (++scans % 2) throw std::runtime_error("scan failed");
    });
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(scans.load(), 0) << "created suspended";
    controller->Resume();
    ASSERT_TRUE(WaitUntil([&] { return scans.load() >= 5; }));
    EXPECT_TRUE(onScanThread.load());
    EXPECT_FALSE(TFtdiDeviceController::OnScanThread());

    controller.reset();  // waits for the thread
    const int after = scans.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(scans.load(), after);
}

TEST(ScanThread, PausedSkipsScans) {
    std::atomic<int> scans{0};
    TFtdiDeviceController controller;
    controller.SetScanEvent([&](TFtdiDeviceController*) { ++scans; });
    controller.SetPaused(true);
    controller.Resume();
    std::this_thread::sleep_for(150ms);  // six periods at the test scale
    EXPECT_EQ(scans.load(), 0);
    controller.SetPaused(false);
    EXPECT_TRUE(WaitUntil([&] { return scans.load() >= 2; }));
}

TEST(ScanThread, DestructionCutsTheSleepShort) {
    const double scale = z5::TimeScale();
    std::atomic<int> scans{0};
    auto controller = std::make_unique<TFtdiDeviceController>();
    controller->SetScanEvent([&](TFtdiDeviceController*) {
        z5::SetTimeScale(20.0);  // the sleep behind the first scan lasts 10 s
        ++scans;
    });
    controller->Resume();
    ASSERT_TRUE(WaitUntil([&] { return scans.load() >= 1; }));
    const auto start = std::chrono::steady_clock::now();
    controller.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    z5::SetTimeScale(scale);
}

class Dummy : public TTemplateDevices {};
class DummySensor : public TTemplateSensors {
public:
    ~DummySensor() override { BeginDestruction(); }
};

TEST(HandleRegistry, LeasesOnlyLiveObjectsOfTheirKind) {
    auto device = std::make_unique<Dummy>();
    auto sensor = std::make_unique<DummySensor>();
    EXPECT_FALSE(LeaseDevice(nullptr));
    EXPECT_FALSE(LeaseDevice(device.get())) << "not registered";

    RegisterDevice(device.get());
    RegisterSensor(sensor.get());
    EXPECT_EQ(LeaseDevice(device.get()).get(), device.get());
    EXPECT_EQ(LeaseSensor(sensor.get()).get(), sensor.get());
    EXPECT_FALSE(LeaseSensor(device.get())) << "a device handle is no sensor handle";
    EXPECT_FALSE(LeaseDevice(sensor.get()));

    device->IsDestroying = true;
    EXPECT_FALSE(LeaseDevice(device.get()));
    sensor->SetIsDestroying(true);
    EXPECT_FALSE(LeaseSensor(sensor.get()));

    UnregisterDevice(device.get());
    UnregisterSensor(sensor.get());
    device->IsDestroying = false;
    EXPECT_FALSE(LeaseDevice(device.get())) << "gone";
    EXPECT_EQ(LeasesHeldByThisThread(), 0);
}

TEST(HandleRegistry, UnregisterWaitsForTheLeases) {
    Dummy device;
    RegisterDevice(&device);
    auto lease = LeaseDevice(&device);
    auto second = LeaseDevice(&device);
    ASSERT_TRUE(lease && second);
    EXPECT_EQ(LeasesHeldByThisThread(), 2);

    std::atomic<bool> done{false};
    auto destroyer = std::async(std::launch::async, [&] {
        UnregisterDevice(&device);
        done = true;
    });
    // Leases fail from the moment the destroyer has begun.
    ASSERT_TRUE(WaitUntil([&] { return !LeaseDevice(&device); })) << "no new lease once it is going";
    EXPECT_FALSE(done.load());
    lease = {};
    EXPECT_FALSE(done.load()) << "one lease is still out";
    second = {};
    destroyer.get();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(LeasesHeldByThisThread(), 0);
}

TEST(HandleRegistry, ManyThreadsLeaseWhileTheObjectGoes) {
    Dummy device;
    RegisterDevice(&device);
    std::atomic<bool> gone{false};
    std::atomic<int> usedAfterGone{0};
    std::atomic<int> leased{0};
    std::vector<std::thread> users;
    for (int t = 0; t < 4; ++t)
        users.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                if (auto lease = LeaseDevice(&device)) {
                    ++leased;
                    if (gone.load()) ++usedAfterGone;
                }
            }
        });
    // The object goes while the users are at work.
    EXPECT_TRUE(WaitUntil([&] { return leased.load() > 0; }));
    UnregisterDevice(&device);
    gone = true;
    for (auto& t : users) t.join();
    EXPECT_EQ(usedAfterGone.load(), 0);
}

}  // namespace
