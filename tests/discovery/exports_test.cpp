// The library's life cycle, discovery and hardware structure through the
// exports of the shared library, against simulated devices.
#include <gtest/gtest.h>

#include <dirent.h>
#include <malloc.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <optional>

#include "discovery_support.h"
#include "tovamod.h"
#include "z5sim_deskport.h"
#include "z5sim_generic.h"
#include "z5sim_radiomaster.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocator replaces malloc's statistics.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define Z5_SANITIZER_ALLOCATOR 1
#endif

using namespace discovery_test;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kMasterMAC = 0x0011223344556677ull;
constexpr uint8_t kChannelParam = 6;
constexpr uint8_t kMACParam = 7;
constexpr uint8_t kWriteParam = 0x11;
constexpr uint8_t kReadParam = 0x12;

std::shared_ptr<z5sim::RadioMaster> RadioMaster(const std::string& serial,
                                                const std::string& description = "Zelto5 Radio Master") {
    auto rm = std::make_shared<z5sim::RadioMaster>(description, serial);
    rm->SetParam(kMACParam, kMasterMAC, 8);
    rm->SetParam(kChannelParam, 11, 1);
    return rm;
}

std::shared_ptr<z5sim::DeskPort> DeskPort(const std::string& serial,
                                          const std::string& description = "Zelto5 Desk-Port") {
    return std::make_shared<z5sim::DeskPort>(description, serial);
}

// Device parameter reads (or writes) of id that the device received.
size_t ParamRequests(const z5sim::Device& device, uint8_t cmd, uint8_t id) {
    size_t n = 0;
    for (const auto& f : device.ReceivedFrames())
        if (f.size() > 5 && f[2] == cmd && f[3] == 0 && f[4] == 0 && f[5] == id) ++n;
    return n;
}

size_t Threads() {
    size_t n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

size_t AllocatedBytes() {
#ifdef Z5_SANITIZER_ALLOCATOR
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

class Exports : public ::testing::Test {
protected:
    void TearDown() override {
        tovamod_uninit();
        TonProcessData none{nullptr, nullptr};
        tovamod_getProcessData(&none);
    }

    // Device nodes of a fresh copy; nullopt while a scan rebuilds the structure.
    std::optional<std::vector<NodeValue>> Copy(int* changed = nullptr) {
        THardwareStructure* copy = tovamod_GetHardwareStructure();
        if (!copy) return std::nullopt;
        if (changed && copy->Changed) ++*changed;
        return Nodes(copy);
    }
    // Nodes of the next copy made outside a scan.
    std::vector<NodeValue> Current() {
        std::optional<std::vector<NodeValue>> nodes;
        EXPECT_TRUE(WaitUntil([&] { return (nodes = Copy()).has_value(); }));
        return nodes.value_or(std::vector<NodeValue>{});
    }
    // Polls the structure until Done holds for a copy's nodes; counts the
    // copies that report a change.
    bool PollUntil(const std::function<bool(const std::vector<NodeValue>&)>& Done, int* changed = nullptr) {
        return WaitUntil([&] {
            auto nodes = Copy(changed);
            return nodes && Done(*nodes);
        });
    }
    // Polls for about ten scans, counting changes.
    void PollScans(int* changed) {
        const auto end = std::chrono::steady_clock::now() + 250ms;
        while (std::chrono::steady_clock::now() < end) {
            Copy(changed);
            std::this_thread::sleep_for(2ms);
        }
    }
    static bool Serials(const std::vector<NodeValue>& nodes, const std::vector<std::string>& serials) {
        if (nodes.size() != serials.size()) return false;
        for (size_t i = 0; i < nodes.size(); ++i)
            if (nodes[i].serial != serials[i]) return false;
        return true;
    }

    Scene scene;
};

TEST_F(Exports, NotInitialised) {
    EXPECT_EQ(tovamod_uninit(), -1);
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 0);
    const z5_char16* name = u"unchanged";
    EXPECT_EQ(tovamod_GetNthAvailableDevice(&name, 0), -1);
    EXPECT_EQ(std::u16string(name), u"unchanged");
    int32_t max = 77;
    EXPECT_EQ(tovamod_OpenDevice(0, 921600, 0, &max), nullptr);
    EXPECT_EQ(max, 77);
    EXPECT_EQ(tovamod_GetHardwareStructure(), nullptr);
    EXPECT_EQ(tovamod_GetZ5NetsFileStructure(), nullptr);
    EXPECT_EQ(tovamod_GetRefreshingRecordStructure(), 0);
    EXPECT_EQ(tovamod_DisplayTracer(1), -1);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
    uint8_t exists = 9;
    z5_char16* description = z5::WideAlloc(u"mine");
    tovamod_GetDescriptionActiveNet(&exists, &description);
    EXPECT_EQ(exists, 9);
    EXPECT_EQ(z5::WideView(description), u"mine");
    z5_wstr_free(description);
    tovamod_DeactivateDevicesIdentification();
    tovamod_ActivateDevicesIdentification();
    tovamod_SetHardwareStructureProcessed(0);
    tovamod_SetZ5NetsFileStructure(nullptr);
    EXPECT_EQ(tovamod_CloseSensor(nullptr), -1);
}

TEST_F(Exports, InitUninitInit) {
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_EQ(tovamod_init(), 0);
    EXPECT_EQ(tovamod_init(), 0) << "already initialised: nothing changes";
    EXPECT_EQ(tovamod_DisplayTracer(0), 0);
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 1) << "one moderator, one device object";
    EXPECT_EQ(tovamod_uninit(), 0);
    EXPECT_EQ(tovamod_uninit(), -1);
    EXPECT_EQ(tovamod_GetHardwareStructure(), nullptr);

    ASSERT_EQ(tovamod_init(), 0);
    int changed = 0;
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }, &changed)) << "found anew";
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 1);
    EXPECT_EQ(tovamod_uninit(), 0);
}

TEST_F(Exports, FailingInitLeavesNothingBehind) {
    std::ofstream(scene.Program() / "Z5NETS.XML") << "<Document";  // unreadable networks file
    const size_t threads = Threads();
    EXPECT_EQ(tovamod_init(), -1);
    EXPECT_EQ(Threads(), threads);
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 0) << "still uninitialised";
    EXPECT_EQ(tovamod_uninit(), -1);

    std::filesystem::remove(scene.Program() / "Z5NETS.XML");
    EXPECT_EQ(tovamod_init(), 0);
    EXPECT_EQ(tovamod_uninit(), 0);
}

TEST_F(Exports, HotPlugUnplugAndPlugAgain) {
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_EQ(tovamod_init(), 0);
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));

    int changed = 0;
    auto rm = RadioMaster("RM1");
    ASSERT_TRUE(scene.bus.Plug(rm));
    std::vector<NodeValue> nodes;
    ASSERT_TRUE(PollUntil(
        [&](const auto& n) {
            nodes = n;
            return n.size() == 2;
        },
        &changed));
    EXPECT_EQ(nodes, (std::vector<NodeValue>{{5, "D1"}, {4, "RM1"}}));
    PollScans(&changed);
    EXPECT_EQ(changed, 1) << "Changed is 1 in exactly one copy";

    changed = 0;
    ASSERT_TRUE(scene.bus.Unplug("RM1"));
    ASSERT_TRUE(PollUntil([&](const auto& n) { return Serials(n, {"D1"}); }, &changed));
    PollScans(&changed);
    EXPECT_EQ(changed, 1);

    ASSERT_TRUE(scene.bus.Plug(DeskPort("S1", "Zelto5 Starter-Port")));
    ASSERT_TRUE(PollUntil([&](const auto& n) { return Serials(n, {"D1", "S1"}); }));
    ASSERT_TRUE(scene.bus.Plug(RadioMaster("RM1")));
    ASSERT_TRUE(PollUntil([&](const auto& n) {
        nodes = n;
        return n.size() == 3;
    }));
    EXPECT_EQ(nodes, (std::vector<NodeValue>{{5, "D1"}, {11, "S1"}, {4, "RM1"}})) << "a new node at the tail";
}

TEST_F(Exports, KnownDevicesMakeTheirClasses) {
    // Unknown and not yet supported descriptions create nothing; the scan that
    // finds the known ones has looked at them too.
    ASSERT_TRUE(scene.bus.Plug(std::make_shared<z5sim::GenericDevice>("Unknown Gadget", "U1")));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("ST1", "Zelto5 Starter-Port")));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("ST2", "Zelto5 Starter-Port")));
    ASSERT_TRUE(scene.bus.Plug(RadioMaster("RM1")));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("DP1", "Zelto5 Starter-Port Plus")));
    ASSERT_EQ(tovamod_init(), 0);
    std::vector<NodeValue> nodes;
    ASSERT_TRUE(PollUntil([&](const auto& n) {
        nodes = n;
        return n.size() == 3;
    }));
    EXPECT_EQ(nodes, (std::vector<NodeValue>{{11, "ST1"}, {4, "RM1"}, {5, "DP1"}}));
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 4) << "both Starter-Ports have objects";
    const std::vector<std::u16string> names{u"DUU", u"DUU", u"RTUU", u"DUU"};
    for (int32_t i = 0; i < 4; ++i) {
        const z5_char16* name = nullptr;
        ASSERT_EQ(tovamod_GetNthAvailableDevice(&name, i), 0);
        EXPECT_EQ(std::u16string(name), names[static_cast<size_t>(i)]);
    }
}

TEST_F(Exports, RadioMasterOutsideTheActiveNetwork) {
    ASSERT_EQ(tovamod_init(), 0);
    TZ5_HardLock_Networks* other = ActiveNetwork({{"AAAABBBBCCCCDDDD", 5}});
    tovamod_SetZ5NetsFileStructure(other);
    ReleaseTree(other);

    auto rm = RadioMaster("RM1");
    ASSERT_TRUE(scene.bus.Plug(rm));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 2) << "the Radio Master has its object";
    int changed = 0;
    PollScans(&changed);
    ASSERT_EQ(Current(), (std::vector<NodeValue>{{5, "D1"}})) << "an inactive node is not handed out";
    EXPECT_EQ(ParamRequests(*rm, kWriteParam, kChannelParam), 0u);

    TZ5_HardLock_Networks* listed = ActiveNetwork({{"AAAABBBBCCCCDDDD", 5}, {MacText(kMasterMAC), 17}});
    tovamod_SetZ5NetsFileStructure(listed);
    ReleaseTree(listed);
    changed = 0;
    std::vector<NodeValue> nodes;
    ASSERT_TRUE(PollUntil(
        [&](const auto& n) {
            nodes = n;
            return n.size() == 2;
        },
        &changed));
    EXPECT_EQ(nodes, (std::vector<NodeValue>{{4, "RM1"}, {5, "D1"}}));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(rm->GetParam(kChannelParam)->value, 17u) << "the network's channel is written";
    EXPECT_EQ(ParamRequests(*rm, kWriteParam, kChannelParam), 1u);

    uint8_t exists = 0;
    z5_char16* description = nullptr;
    tovamod_GetDescriptionActiveNet(&exists, &description);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(z5::WideView(description), u"Lab A");
    z5_wstr_free(description);
}

TEST_F(Exports, RadioMasterInTheNetworkGetsItsChannelAtOnce) {
    ASSERT_EQ(tovamod_init(), 0);
    TZ5_HardLock_Networks* listed = ActiveNetwork({{MacText(kMasterMAC), 17}});
    tovamod_SetZ5NetsFileStructure(listed);
    ReleaseTree(listed);
    auto rm = RadioMaster("RM1");
    ASSERT_TRUE(scene.bus.Plug(rm));
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));
    EXPECT_EQ(rm->GetParam(kChannelParam)->value, 17u);
}

TEST_F(Exports, OwnMACUnreadAtCreationIsReadAgain) {
    ASSERT_EQ(tovamod_init(), 0);
    TZ5_HardLock_Networks* listed = ActiveNetwork({{MacText(kMasterMAC), 17}});
    tovamod_SetZ5NetsFileStructure(listed);
    ReleaseTree(listed);
    auto rm = RadioMaster("RM1");
    for (int i = 0; i < 4; ++i) rm->PushFault(z5sim::Fault::NoAnswer().OnCommand(kReadParam));  // every attempt
    ASSERT_TRUE(scene.bus.Plug(rm));
    std::vector<NodeValue> nodes;
    ASSERT_TRUE(PollUntil([&](const auto& n) {
        nodes = n;
        return n.size() == 1;
    }));
    EXPECT_EQ(nodes, (std::vector<NodeValue>{{4, "RM1"}}));
    EXPECT_GE(ParamRequests(*rm, kReadParam, kMACParam), 5u);
    EXPECT_EQ(rm->GetParam(kChannelParam)->value, 17u);
}

TEST_F(Exports, MatchThroughSerialAloneSkipsTheNetworkCheck) {
    ASSERT_EQ(tovamod_init(), 0);
    TZ5_HardLock_Networks* listed = ActiveNetwork({{MacText(kMasterMAC), 17}});
    tovamod_SetZ5NetsFileStructure(listed);
    ReleaseTree(listed);
    auto rm = RadioMaster("RS1", "USB Serial Port");
    ASSERT_TRUE(scene.bus.Plug(rm));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));
    PollScans(nullptr);
    EXPECT_EQ(Current(), (std::vector<NodeValue>{{5, "D1"}})) << "its own MAC stays unknown: outside the network";
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 2);
    EXPECT_EQ(ParamRequests(*rm, kReadParam, kMACParam), 0u);
}

TEST_F(Exports, IdentificationOff) {
    ASSERT_EQ(tovamod_init(), 0);
    tovamod_DeactivateDevicesIdentification();
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    std::this_thread::sleep_for(250ms);  // ten scan periods
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 0);
    EXPECT_EQ(Current(), std::vector<NodeValue>{});
    tovamod_ActivateDevicesIdentification();
    EXPECT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));
}

TEST_F(Exports, ListingAndOpening) {
    ASSERT_TRUE(scene.bus.Plug(RadioMaster("RM1")));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_EQ(tovamod_init(), 0);
    std::vector<NodeValue> nodes;
    ASSERT_TRUE(PollUntil([&](const auto& n) {
        nodes = n;
        return n.size() == 2;
    }));
    ASSERT_EQ(tovamod_GetNumberOfAvailableDevice(), 2);

    const z5_char16* name = u"unchanged";
    EXPECT_EQ(tovamod_GetNthAvailableDevice(&name, 2), -1);
    EXPECT_EQ(tovamod_GetNthAvailableDevice(&name, -1), -1);
    EXPECT_EQ(std::u16string(name), u"unchanged");
    ASSERT_EQ(tovamod_GetNthAvailableDevice(&name, 0), 0);
    EXPECT_EQ(std::u16string(name), u"RTUU");

    int32_t max = 77;
    EXPECT_EQ(tovamod_OpenDevice(2, 921600, 0, &max), nullptr);
    EXPECT_EQ(max, -1) << "Index equal to the count";
    max = 77;
    EXPECT_EQ(tovamod_OpenDevice(3, 921600, 0, &max), nullptr);
    EXPECT_EQ(max, 77);
    EXPECT_EQ(tovamod_OpenDevice(-1, 921600, 0, &max), nullptr);
    EXPECT_EQ(max, 77);
    void* master = tovamod_OpenDevice(0, 921600, 0, &max);
    EXPECT_EQ(master, nodes[0].device);
    EXPECT_EQ(max, 0);

    void* sensor = &max;
    uint8_t status = 0;
    EXPECT_EQ(tovamod_OpenSensor(master, 921600, 0, 0, &sensor, &status), 0) << "Index equal to the sensor count";
    EXPECT_EQ(sensor, nullptr);
    EXPECT_EQ(status, 3);
    status = 0;
    EXPECT_EQ(tovamod_OpenSensor(master, 921600, 0, 1, &sensor, &status), -1);
    EXPECT_EQ(status, 3);
    status = 0;
    EXPECT_EQ(tovamod_OpenSensor(master, 921600, 0, -1, &sensor, &status), -1);
    EXPECT_EQ(status, 0) << "a failure inside leaves Status alone";
    EXPECT_EQ(tovamod_OpenSensor(nullptr, 921600, 0, 0, &sensor, &status), -1);
    EXPECT_EQ(status, 3);
    status = 0;
    EXPECT_EQ(tovamod_OpenSensor(&max, 921600, 0, 0, &sensor, &status), -1) << "no device object there";
    EXPECT_EQ(status, 3);

    EXPECT_EQ(tovamod_CloseSensor(nullptr), -1);
    EXPECT_EQ(tovamod_CloseSensor(master), -1);
    EXPECT_EQ(tovamod_CloseDevice(nullptr), -1);
    EXPECT_EQ(tovamod_CloseDevice(&max), -1);
    EXPECT_EQ(tovamod_CloseDevice(master), 0);
}

TEST_F(Exports, HandleOfAFreedDeviceFails) {
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_EQ(tovamod_init(), 0);
    std::vector<NodeValue> nodes;
    ASSERT_TRUE(PollUntil([&](const auto& n) {
        nodes = n;
        return n.size() == 1;
    }));
    void* handle = nodes[0].device;
    ASSERT_TRUE(scene.bus.Unplug("D1"));
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.empty(); }));
    // Refused (-1) while the scan still frees the dropped device's sensors.
    EXPECT_TRUE(WaitUntil([] { return tovamod_GetNumberOfAvailableDevice() == 0; }));
    EXPECT_EQ(tovamod_CloseDevice(handle), -1);
    void* sensor = nullptr;
    uint8_t status = 0;
    EXPECT_EQ(tovamod_OpenSensor(handle, 921600, 0, 0, &sensor, &status), -1);
    EXPECT_EQ(status, 3);
}

TEST_F(Exports, SetHardwareStructureProcessed) {
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_EQ(tovamod_init(), 0);
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 1; }));
    tovamod_SetHardwareStructureProcessed(0);
    int changed = 0;
    Copy(&changed);
    EXPECT_EQ(changed, 1);
    tovamod_SetHardwareStructureProcessed(0);
    tovamod_SetHardwareStructureProcessed(1);
    Copy(&changed);
    EXPECT_EQ(changed, 1);
}

TEST_F(Exports, LongPollingDoesNotGrowMemory) {
    ASSERT_TRUE(scene.bus.Plug(RadioMaster("RM1")));
    ASSERT_TRUE(scene.bus.Plug(DeskPort("D1")));
    ASSERT_EQ(tovamod_init(), 0);
    ASSERT_TRUE(PollUntil([](const auto& n) { return n.size() == 2; }));

    auto poll = [](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            THardwareStructure* copy = tovamod_GetHardwareStructure();
            TZ5_HardLock_Networks* nets = tovamod_GetZ5NetsFileStructure();
            // Each copy stays whole until this thread asks again.
            if (copy && copy->First) {
                EXPECT_EQ(copy->First->Next->Prev, copy->First);
            }
            if (nets) {
                EXPECT_EQ(nets->First, nullptr);
            }
        }
    };
    poll(200);
    const size_t before = AllocatedBytes();
    poll(4000);
    const size_t after = AllocatedBytes();
    // 4000 kept copies would hold several hundred kilobytes.
    EXPECT_LT(after, before + 64 * 1024) << before << " -> " << after;

    // Copies of another thread stay valid while this one polls.
    THardwareStructure* mine = tovamod_GetHardwareStructure();
    ASSERT_TRUE(WaitUntil([&] { return (mine = tovamod_GetHardwareStructure()) != nullptr; }));
    std::thread other([&] { poll(50); });
    other.join();
    EXPECT_EQ(Nodes(mine).size(), 2u);
}

}  // namespace
