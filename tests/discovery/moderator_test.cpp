// The moderator's scan with stand-in device classes on simulated lines: the
// description table, failures inside a scan, the published sensor count, the
// identification switch and the life of a leased device.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "discovery_support.h"
#include "uD2XX.h"
#include "uGlobalDev.h"
#include "uHandleRegistry.h"
#include "uModerator.h"
#include "uRTUU.h"
#include "uTemplateDevices.h"
#include "z5sim_generic.h"

using namespace discovery_test;
using namespace std::chrono_literals;

namespace {

// What the stand-ins report and how they misbehave, per serial number.
struct Behaviour {
    int32_t sensors = 0;
    int throwOnOpen = 0;        // the first n opens throw
    int throwOnRefresh = 0;     // the first n refreshes throw
    std::chrono::milliseconds refreshTime{0};
};

struct Record {
    std::mutex lock;
    std::map<std::string, Behaviour> behaviour;
    std::vector<TDeviceClass> made;
    std::vector<int32_t> sumsSeenInRefresh;
    std::atomic<int> refreshing{0};
    std::atomic<int> destroyed{0};
    // While closed, every refresh waits inside (a scan held in its refresh pass).
    bool gateClosed = false;
    std::condition_variable gate;

    void SetGate(bool closed) {
        {
            std::lock_guard g(lock);
            gateClosed = closed;
        }
        gate.notify_all();
    }

    Behaviour& Of(const std::string& serial) {
        std::lock_guard g(lock);
        return behaviour[serial];
    }
};

// A device class stand-in: opens its line by serial number like the real ones.
class FakeDevice : public TTemplateDevices {
public:
    explicit FakeDevice(Record& record) : R(record) {}
    ~FakeDevice() override {
        IsDestroying = true;
        CloseDevice();
        ++R.destroyed;
    }
    void SetSerialNo(const std::string& serial) override { Serial = serial; }
    std::string GetSerialNo() override { return Serial; }
    void GetName(std::u16string& Name) override { Name = u"FAKE"; }
    int32_t OpenDevice(int32_t, int32_t) override {
        {
            std::lock_guard g(R.lock);
            Behaviour& b = R.behaviour[Serial];
            if (b.throwOnOpen > 0 && b.throwOnOpen--) throw std::runtime_error("open failed");
        }
        D2XXGuard d2xx;
        if (OpenBySerialNo(Serial) != d2xx::kOk) return -1;
        Line = CurrentHandle;
        return 0;
    }
    int32_t CloseDevice() override {
        if (!Line) return -1;
        D2XXGuard d2xx;
        CurrentHandle = Line;
        Line = nullptr;
        return static_cast<int32_t>(CloseFTDevice());
    }
    d2xx::Handle GetHandle() override { return Line; }
    int32_t GetSensorCount() override { return R.Of(Serial).sensors; }
    bool RefreshSensors(TDeviceStructure*) override {
        ++R.refreshing;
        Behaviour b;
        {
            std::lock_guard g(R.lock);
            R.sumsSeenInRefresh.push_back(SensorCountSum.load());
            Behaviour& live = R.behaviour[Serial];
            b = live;
            if (live.throwOnRefresh > 0) --live.throwOnRefresh;
        }
        std::this_thread::sleep_for(b.refreshTime);
        {
            std::unique_lock g(R.lock);
            R.gate.wait(g, [&] { return !R.gateClosed; });
        }
        --R.refreshing;
        if (b.throwOnRefresh > 0) throw std::runtime_error("refresh failed");
        return false;
    }

private:
    Record& R;
    std::string Serial;
    d2xx::Handle Line = nullptr;
};

class Scan : public ::testing::Test {
protected:
    void SetUp() override {
        scene = std::make_unique<Scene>();
        moderator = std::make_unique<TModerator>([this](TDeviceClass c) -> std::unique_ptr<TTemplateDevices> {
            std::lock_guard g(record.lock);
            record.made.push_back(c);
            return std::make_unique<FakeDevice>(record);
        });
        // Scans by hand only, unless a test lets the thread go on: a scan that
        // started before the pause has taken the list after two periods.
        moderator->GetScanThread().SetPaused(true);
        std::this_thread::sleep_for(50ms);
        moderator->LockDeviceList();
    }
    void AutoScans() { moderator->GetScanThread().SetPaused(false); }
    void TearDown() override {
        moderator.reset();
        scene.reset();
    }
    void Plug(const std::string& description, const std::string& serial) {
        ASSERT_TRUE(scene->bus.Plug(std::make_shared<z5sim::GenericDevice>(description, serial)));
    }
    std::vector<NodeValue> Live() {
        std::lock_guard g(moderator->GetDeviceListLock());
        return Nodes(&moderator->LiveStructure());
    }
    std::vector<NodeValue> Copied() {
        THardwareStructure* copy = moderator->CopyHardwareStructure();
        auto nodes = Nodes(copy);
        FreeHardwareStructureCopy(copy);
        return nodes;
    }
    size_t Made() {
        std::lock_guard g(record.lock);
        return record.made.size();
    }

    Record record;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<TModerator> moderator;
};

TEST(ScanDescriptions, OneTableOfCases) {
    struct Case {
        std::vector<std::string> descriptions;
        std::vector<uint8_t> live;    // node kinds of the live structure
        std::vector<uint8_t> copied;  // node kinds of a copy
    };
    const std::vector<Case> cases = {
        {{"Zelto5 Radio Master"}, {4}, {4}},
        {{"USB Serial Converter"}, {4}, {4}},
        {{"Zelto5 Field-Port Serial"}, {4}, {4}},  // rule 1 first
        {{"Zelto5 Desk-Port"}, {5}, {5}},
        {{"Zelto5 Desk Port"}, {5}, {5}},
        {{"Zelto5 Starter-Port"}, {11}, {11}},
        {{"Zelto5 Starter-Port B"}, {5}, {5}},
        {{"My Zelto5 Starter-Port"}, {5}, {5}},
        {{"Zelto5 Starter-Port", "Zelto5 Starter-Port"}, {11, 11}, {11}},
        {{"Zelto5 Starter-Port", "Zelto5 Desk-Port", "Zelto5 Starter-Port"}, {11, 5, 11}, {11, 5}},
        {{"Zelto5 Field-Port"}, {2}, {2}},
        {{"Timer 6-2 71304.52"}, {6}, {6}},
        {{"Universal Counter 52817.30"}, {7}, {7}},
        {{"Speed of Light Meter 38410.00"}, {8}, {8}},
        {{"Function Generator 60275.44"}, {9}, {9}},
        {{"X-Ray 27739.15"}, {10}, {10}},
        {{"zelto5 radio master"}, {}, {}},  // the tests are case-sensitive
        {{"Unknown Gadget"}, {}, {}},
        {{""}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.descriptions.front() + " x" + std::to_string(c.descriptions.size()));
        Record record;
        Scene scene;
        std::vector<std::string> serials;
        for (size_t i = 0; i < c.descriptions.size(); ++i) {
            serials.push_back("TAB" + std::to_string(i));
            ASSERT_TRUE(scene.bus.Plug(std::make_shared<z5sim::GenericDevice>(c.descriptions[i], serials.back())));
        }
        TModerator moderator([&](TDeviceClass cls) -> std::unique_ptr<TTemplateDevices> {
            std::lock_guard g(record.lock);
            record.made.push_back(cls);
            return std::make_unique<FakeDevice>(record);
        });
        moderator.ScanDevices(nullptr);

        std::vector<uint8_t> live, copied;
        {
            std::lock_guard g(moderator.GetDeviceListLock());
            for (const auto& n : Nodes(&moderator.LiveStructure())) live.push_back(n.kind);
        }
        THardwareStructure* copy = nullptr;  // nil while the scan thread scans
        ASSERT_TRUE(WaitUntil([&] { return (copy = moderator.CopyHardwareStructure()) != nullptr; }));
        for (const auto& n : Nodes(copy)) copied.push_back(n.kind);
        EXPECT_EQ(live, c.live);
        EXPECT_EQ(copied, c.copied);
        EXPECT_EQ(copy->Changed, c.live.empty() ? 0 : 1);
        EXPECT_EQ(copy->RadioMasterPresent, c.live.empty() ? 0 : (c.live[0] == 4 || c.live[0] == 5 || c.live[0] == 11));
        FreeHardwareStructureCopy(copy);
        EXPECT_EQ(moderator.GetDeviceCount(), static_cast<int32_t>(c.live.size()));
        std::lock_guard g(record.lock);
        EXPECT_EQ(record.made.size(), c.live.size()) << "a device object per recognised entry only";
        if (!c.live.empty()) {
            const TDeviceKindInfo* info = FindDeviceKind(c.live[0]);
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(record.made[0], info->Class);
        }
    }
}

TEST_F(Scan, NoDeviceLeavesTheStructureEmpty) {
    moderator->ScanDevices(nullptr);
    THardwareStructure* copy = moderator->CopyHardwareStructure();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->First, nullptr);
    EXPECT_EQ(copy->Changed, 0);
    EXPECT_EQ(copy->RadioMasterPresent, 0);
    EXPECT_LT(copy->ScanTime, 1000u) << "a duration, not a tick";
    FreeHardwareStructureCopy(copy);
}

TEST_F(Scan, AFailureEndsOnlyThatScan) {
    record.Of("A").throwOnOpen = 1;
    record.Of("B").throwOnRefresh = 2;
    Plug("Zelto5 Desk-Port", "A");
    Plug("Zelto5 Desk-Port", "B");

    moderator->ScanDevices(nullptr);  // A's creation throws: the scan ends there
    EXPECT_EQ(moderator->GetRefreshingRecordStructure(), 0);
    EXPECT_EQ(Live(), std::vector<NodeValue>{});
    EXPECT_EQ(record.destroyed.load(), 1) << "the half-made device is not left behind";
    EXPECT_EQ(moderator->GetDeviceCount(), 0);

    moderator->ScanDevices(nullptr);  // both made; B's refresh throws
    EXPECT_EQ(moderator->GetRefreshingRecordStructure(), 0);
    const std::vector<NodeValue> both{{5, "A"}, {5, "B"}};
    EXPECT_EQ(Live(), both);
    EXPECT_EQ(moderator->GetDeviceCount(), 2);
    EXPECT_EQ(Copied(), both) << "the lock was released";

    // The scan thread goes on: a device plugged now is found by it.
    AutoScans();
    Plug("Zelto5 Starter-Port", "C");
    ASSERT_TRUE(WaitUntil([&] { return Live().size() == 3; }));
    EXPECT_EQ(Live().back(), (NodeValue{11, "C"}));
}

TEST_F(Scan, SensorCountSumIsPublishedWhole) {
    record.Of("R").sensors = 1;
    record.Of("D").sensors = 2;
    record.Of("S").sensors = 4;
    record.Of("F").sensors = 8;  // a data logger's count is not part of the sum
    Plug("Zelto5 Radio Master", "R");
    Plug("Zelto5 Desk-Port", "D");
    Plug("Zelto5 Starter-Port", "S");
    Plug("Zelto5 Field-Port", "F");
    moderator->ScanDevices(nullptr);
    ASSERT_EQ(Live().size(), 4u);
    EXPECT_EQ(SensorCountSum.load(), 7);
    {
        std::lock_guard g(record.lock);
        record.sumsSeenInRefresh.clear();
    }
    moderator->ScanDevices(nullptr);
    std::lock_guard g(record.lock);
    ASSERT_GE(record.sumsSeenInRefresh.size(), 4u);
    for (int32_t seen : record.sumsSeenInRefresh) EXPECT_EQ(seen, 7) << "never a sum half rebuilt";
}

TEST_F(Scan, UnpluggedDeviceGoesAtTheNextScanAndComesBackAtTheTail) {
    Plug("Zelto5 Desk-Port", "A");
    Plug("Zelto5 Desk-Port", "B");
    moderator->ScanDevices(nullptr);
    ASSERT_EQ(Live(), (std::vector<NodeValue>{{5, "A"}, {5, "B"}}));
    ASSERT_EQ(Copied().size(), 2u);  // clears Changed

    ASSERT_TRUE(scene->bus.Unplug("A"));
    moderator->ScanDevices(nullptr);
    EXPECT_EQ(Live(), (std::vector<NodeValue>{{5, "B"}}));
    EXPECT_EQ(moderator->GetDeviceCount(), 1);
    EXPECT_EQ(record.destroyed.load(), 1);
    THardwareStructure* copy = moderator->CopyHardwareStructure();
    EXPECT_EQ(copy->Changed, 1);
    FreeHardwareStructureCopy(copy);

    Plug("Zelto5 Desk-Port", "A");
    moderator->ScanDevices(nullptr);
    EXPECT_EQ(Live(), (std::vector<NodeValue>{{5, "B"}, {5, "A"}}));
}

TEST_F(Scan, SwitchedOffWhileAScanWaitsForTheListMeansNoScan) {
    std::unique_lock list(moderator->GetDeviceListLock());
    Plug("Zelto5 Desk-Port", "A");
    AutoScans();
    // The scan thread has passed its first test of the switch and waits for the list.
    ASSERT_TRUE(WaitUntil([&] { return moderator->GetRefreshingRecordStructure() == 1; }));
    moderator->SetIdentificationActive(0);
    list.unlock();
    ASSERT_TRUE(WaitUntil([&] { return moderator->GetRefreshingRecordStructure() == 0; }));
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Made(), 0u) << "no scan after identification was switched off";

    moderator->SetIdentificationActive(1);
    EXPECT_TRUE(WaitUntil([&] { return Live().size() == 1; }));
}

TEST_F(Scan, SwitchingOffWaitsForTheRunningScan) {
    record.Of("A").refreshTime = 50ms;
    Plug("Zelto5 Desk-Port", "A");
    AutoScans();
    ASSERT_TRUE(WaitUntil([&] { return record.refreshing.load() == 1; }));
    moderator->SetIdentificationActive(0);
    EXPECT_EQ(record.refreshing.load(), 0);
    EXPECT_EQ(moderator->GetRefreshingRecordStructure(), 0);
    const size_t made = Made();
    Plug("Zelto5 Desk-Port", "B");
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(Made(), made);
}

TEST_F(Scan, ACopyDuringAScanIsTheLastCompleteStructure) {
    Plug("Zelto5 Desk-Port", "A");
    moderator->ScanDevices(nullptr);
    THardwareStructure* copy = moderator->CopyHardwareStructure();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Changed, 1);
    FreeHardwareStructureCopy(copy);

    // A scan that finds B and then stays in a refresh, as one waiting for requests does.
    record.SetGate(true);
    Plug("Zelto5 Desk-Port", "B");
    auto scan = std::async(std::launch::async, [&] { moderator->ScanDevices(nullptr); });
    ASSERT_TRUE(WaitUntil([&] { return record.refreshing.load() == 1; }));
    ASSERT_EQ(moderator->GetRefreshingRecordStructure(), 1);
    for (int i = 0; i < 3; ++i) {
        copy = moderator->CopyHardwareStructure();
        ASSERT_NE(copy, nullptr) << "no nil copy while the scan waits";
        EXPECT_EQ(Nodes(copy), (std::vector<NodeValue>{{5, "A"}}));
        EXPECT_EQ(copy->Changed, 0) << "B is not reported before a copy shows it";
        FreeHardwareStructureCopy(copy);
    }
    record.SetGate(false);
    scan.get();
    copy = moderator->CopyHardwareStructure();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Nodes(copy), (std::vector<NodeValue>{{5, "A"}, {5, "B"}}));
    EXPECT_EQ(copy->Changed, 1);
    FreeHardwareStructureCopy(copy);
}

TEST_F(Scan, ALeasedDeviceLivesUntilTheLeaseEnds) {
    Plug("Zelto5 Desk-Port", "A");
    moderator->ScanDevices(nullptr);
    std::vector<NodeValue> nodes = Live();
    ASSERT_EQ(nodes.size(), 1u);
    void* handle = nodes[0].device;

    auto lease = LeaseDevice(handle);
    ASSERT_TRUE(lease);
    ASSERT_TRUE(scene->bus.Unplug("A"));
    auto scan = std::async(std::launch::async, [&] { moderator->ScanDevices(nullptr); });
    ASSERT_TRUE(WaitUntil([&] { return moderator->GetDropsBegun() == 1; }));
    // The list is not held while the scan waits for the lease.
    EXPECT_EQ(moderator->GetDeviceCount(), 0);
    EXPECT_TRUE(Copied().empty());
    EXPECT_EQ(record.destroyed.load(), 0);
    std::u16string name;
    lease->GetName(name);
    EXPECT_EQ(name, u"FAKE");
    lease = {};
    scan.get();
    EXPECT_TRUE(Live().empty());
    EXPECT_EQ(record.destroyed.load(), 1);
    EXPECT_FALSE(LeaseDevice(handle));
}

TEST_F(Scan, ListingOperations) {
    Plug("Zelto5 Desk-Port", "A");
    moderator->ScanDevices(nullptr);
    ASSERT_EQ(moderator->GetDeviceCount(), 1);
    std::u16string name;
    moderator->GetDeviceName(0, name);
    EXPECT_EQ(name, u"FAKE");
    moderator->GetDeviceName(1, name);
    EXPECT_EQ(name, u"-1");
    EXPECT_NE(moderator->GetDeviceObject(0), nullptr);
    EXPECT_EQ(moderator->GetDeviceObject(1), nullptr);
    EXPECT_EQ(moderator->GetDeviceMaxSensors(1), -1);
    EXPECT_EQ(moderator->GetDeviceTyp(1), -1);
    EXPECT_THROW(moderator->GetDeviceObject(-1), std::out_of_range);
    EXPECT_THROW(moderator->GetDeviceName(-1, name), std::out_of_range);
}

}  // namespace
