// Radio units end to end through the library's scan: tovamod_init, the hardware
// structure copies, the networks file, and the device and sensor handles used
// through the export frame, against a simulated Radio Master.
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "radio_support.h"
#include "tovamod.h"
#include "uExportFrame.h"
#include "z5test_library.h"
#include "z5test_networks.h"
#include "z5widestring.h"

using namespace radio_test;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kA = 0xA0A0A0A0A0A0A0A1ull, kB = 0xB0B0B0B0B0B0B0B2ull, kC = 0xC0C0C0C0C0C0C0C3ull;
constexpr uint64_t kStranger = 0xDEADBEEFDEADBEEFull;

// One activated network: this base (channel 11, as the model has it) and the units it admits.
TZ5_HardLock_Networks* Network(const std::vector<uint64_t>& units) {
    z5test::NetBase base{MacText(kBaseMAC), 11, {}};
    for (uint64_t mac : units) base.units.push_back({"RTCU", MacText(mac)});
    return z5test::ActiveNetwork({base});
}

void Admit(const std::vector<uint64_t>& units) {
    TZ5_HardLock_Networks* tree = Network(units);
    tovamod_SetZ5NetsFileStructure(tree);
    z5_nets_free(tree);
}

// What a client sees of the radio base's node in a copy.
struct Picture {
    void* device = nullptr;
    std::vector<UnitNode> units;
    std::vector<void*> handles;
};

class ThroughTheScan : public z5test::LibraryOnBus {
protected:
    void Plug() {
        ASSERT_TRUE(bus.Plug(rm));
    }
    // The radio base's node in a fresh copy; nullopt while a scan rebuilds the
    // structure or before the base is there.
    std::optional<Picture> Look() {
        THardwareStructure* copy = tovamod_GetHardwareStructure();
        if (!copy || !copy->First) return std::nullopt;
        Picture p;
        p.device = copy->First->Device;
        p.units = UnitNodes(copy->First);
        for (const TSensorStructure* q = copy->First->Sensors; q; q = q->Next) p.handles.push_back(q->Sensor);
        return p;
    }
    // Polls copies until one's unit addresses are these.
    std::optional<Picture> WaitForUnits(const std::vector<int32_t>& addresses) {
        std::optional<Picture> seen;
        const bool ok = WaitUntil([&] {
            auto p = Look();
            if (!p) return false;
            seen = p;
            std::vector<int32_t> got;
            for (const auto& u : p->units) got.push_back(u.address);
            return got == addresses;
        });
        if (!ok) {
            ADD_FAILURE() << "units never became the expected ones";
            return std::nullopt;
        }
        return seen;
    }
    std::vector<Write> WritesTo(int32_t address) {
        std::vector<Write> out;
        for (const Write& w : ParamWrites(rm->ReceivedFrames()))
            if (w.address == address) out.push_back(w);
        return out;
    }

    ScopedTimeScale scale{0.2};
    std::shared_ptr<z5sim::RadioMaster> rm =
        std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RM7");
};

TEST_F(ThroughTheScan, UnitsOfTheActiveNetworkComeAndGo) {
    Admit({kOwnMAC, kA, kB, kC});
    rm->Join(Own(1, kOwnMAC, 0x31, 0x0402));
    rm->Join(Remote({5, kA, 7, 0x03, 16, 23, 2100}));
    rm->Join(Remote({6, kB, 9, 0x0F, 61, 63, 6200}));
    Plug();

    auto p = WaitForUnits({1, 5, 6});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->units, (std::vector<UnitNode>{{1, 1, -1, 0x31, 0, 0x0402, 0},
                                               {0, 5, 7, 23, 2100, 16, 2},
                                               {0, 6, 9, 63, 6200, 61, 4}}));
    for (void* h : p->handles) EXPECT_NE(h, nullptr);
    EXPECT_EQ(WithSensor(p->handles[1], std::u16string(), [](TTemplateSensors& s) { return s.GetName(); }), u"RTCU");
    EXPECT_EQ(WithSensor(p->handles[0], std::u16string(), [](TTemplateSensors& s) { return s.GetName(); }), u"RCU");

    rm->Join(Remote({8, kC, 3, 0x01}));
    p = WaitForUnits({1, 5, 6, 8});
    ASSERT_TRUE(p);
    EXPECT_EQ(p->units.back(), (UnitNode{0, 8, 3, 23, 2100, 16, 1}));
    void* gone = p->handles[1];

    rm->Leave(5);
    ASSERT_TRUE(WaitForUnits({1, 6, 8}));
    EXPECT_EQ(WithSensor(gone, int64_t{-1}, [](TTemplateSensors& s) { return s.GetNumMeasureAvailable(); }), -1);
    EXPECT_TRUE(WritesTo(5).empty() && WritesTo(6).empty() && WritesTo(8).empty());
}

TEST_F(ThroughTheScan, UnitsTheNetworkDoesNotAdmitAreEjected) {
    Admit({kOwnMAC, kA});
    rm->Join(Own(1, kOwnMAC, 1, 2));
    rm->Join(Remote({5, kA}));
    rm->Join(Remote({6, kStranger}));
    Plug();

    ASSERT_TRUE(WaitForUnits({1, 5}));
    EXPECT_EQ(WritesTo(6), (std::vector<Write>{{6, 25, 99}}));
    EXPECT_EQ(rm->NodeList(), (std::vector<uint16_t>{1, 5}));
    EXPECT_EQ(rm->Unit(6)->ejections, 1u);

    // Refused later: ejected and gone from the very next copy of that scan.
    Admit({kOwnMAC});
    ASSERT_TRUE(WaitForUnits({1}));
    EXPECT_EQ(WritesTo(5), (std::vector<Write>{{5, 25, 99}}));
    Admit({});
    ASSERT_TRUE(WaitForUnits({}));
    EXPECT_EQ(WritesTo(1), (std::vector<Write>{{1, 6, 99}}));  // the own unit's ejection
    EXPECT_TRUE(rm->NodeList().empty());
}

TEST_F(ThroughTheScan, AMeasurementFromTwoUnitsFillsTheirQueues) {
    RadioUnit five = Remote({5, kA, 7, 0x03});
    five.streams = true;
    five.streamValues = {10, 11, 12, 13};
    five.timeStep = 2;
    five.streamPeriod = 25;
    RadioUnit six = Remote({6, kB, 7, 0x01});
    six.streams = true;
    six.streamValues = {60};
    six.streamPeriod = 100;
    rm->Join(five);
    rm->Join(six);
    Plug();  // no active network: every unit is admitted
    auto p = WaitForUnits({5, 6});
    ASSERT_TRUE(p);
    void* s5 = p->handles[0];
    void* s6 = p->handles[1];
    ASSERT_EQ(WithSensor(s5, -1, [](TTemplateSensors& s) { return s.SetRtcuParam(9, 4, 40); }), 0);

    auto command = [&](const char* text) {
        return WithDevice(p->device, -1, [&](TTemplateDevices& d) {
            int32_t reply = 0;
            return d.SendCmdAndGetResponse(text, reply);
        });
    };
    auto queued = [](void* h) {
        return WithSensor(h, int64_t{-1}, [](TTemplateSensors& s) { return s.GetNumMeasureAvailable(); });
    };
    auto read = [](void* h, int32_t channels) {
        std::vector<Sample> out;
        for (;;) {
            Sample s{0, std::vector<int32_t>(static_cast<size_t>(channels))};
            if (WithSensor(h, -1, [&](TTemplateSensors& x) { return x.ReadRawMeasurement(&s.time, channels, s.values.data()); }) != 0)
                return out;
            out.push_back(std::move(s));
        }
    };

    ASSERT_EQ(command("0005,1,\r"), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 1);
    // Several scans pass during the measurement: the units stay, no stream byte is lost.
    ASSERT_TRUE(WaitUntil([&] { return queued(s6) >= 20; }));
    std::optional<Picture> during;
    ASSERT_TRUE(WaitUntil([&] { return (during = Look()).has_value(); }));
    EXPECT_EQ(during->units.size(), 2u);
    const auto got5 = read(s5, 2);
    const auto got6 = read(s6, 1);
    ASSERT_GE(got5.size(), 40u);
    for (size_t k = 0; k < got5.size(); ++k)
        ASSERT_EQ(got5[k], (Sample{40 * static_cast<int64_t>(k), k % 2 ? std::vector<int32_t>{12, 13} : std::vector<int32_t>{10, 11}})) << k;
    for (size_t k = 0; k < got6.size(); ++k) ASSERT_EQ(got6[k], (Sample{40 * static_cast<int64_t>(k), {60}})) << k;

    ASSERT_EQ(command("0006,1,\r"), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    read(s5, 2);
    read(s6, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(queued(s5), 0);
    EXPECT_EQ(queued(s6), 0);

    // Measurements left in the queues go with the library.
    ASSERT_EQ(command("0005,1,\r"), 0);
    ASSERT_TRUE(WaitUntil([&] { return queued(s5) >= 4 && queued(s6) >= 1; }));
    EXPECT_EQ(tovamod_uninit(), 0);
}

TEST_F(ThroughTheScan, UnitsLeaveWhileClientsUseThem) {
    for (uint16_t a = 5; a <= 8; ++a) rm->Join(Remote({a, a}));
    Plug();
    auto p = WaitForUnits({5, 6, 7, 8});
    ASSERT_TRUE(p);

    std::atomic<bool> stop{false};
    std::atomic<long> calls{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 3; ++c) {
        clients.emplace_back([&, c] {
            while (!stop) {
                std::optional<Picture> now = Look();
                if (!now) continue;
                for (void* h : now->handles) {
                    int64_t t = 0;
                    int32_t v = 0;
                    WithSensor(h, -1, [&](TTemplateSensors& s) { return s.ReadRawMeasurement(&t, 1, &v); });
                    WithSensor(h, int64_t{-1}, [&](TTemplateSensors& s) { return s.GetRtcuParam(21 + c); });
                    WithSensor(h, std::u16string(), [](TTemplateSensors& s) { return s.GetMACExtAddr(); });
                    ++calls;
                }
            }
        });
    }
    for (int round = 0; round < 3; ++round) {
        rm->Leave(6);
        rm->Leave(7);
        ASSERT_TRUE(WaitForUnits({5, 8}));
        rm->Join(Remote({6, 6}));
        rm->Join(Remote({7, 7}));
        ASSERT_TRUE(WaitForUnits({5, 8, 6, 7}));
    }
    stop = true;
    for (auto& t : clients) t.join();
    EXPECT_GT(calls.load(), 0);
}

// A notification frame that comes right behind a reply, in the same burst, stays on
// the line for the reader and is raised once, by whichever exchange reads it.
TEST_F(ThroughTheScan, ANotificationRightBehindAReplyIsRaisedOnce) {
    static std::atomic<int> raised;
    raised = 0;
    const TonProcessData handler{[](void*, pOnChangeData* record) {
                                     ++raised;
                                     std::free(*record);
                                 },
                                 nullptr};
    tovamod_getProcessData(&handler);
    constexpr uint8_t kParam = 40;
    rm->SetHook([](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>& out) {
        const Bytes payload = m.Payload();
        if (!m.IsFrame() || m.Cmd() != 0x12 || payload.size() != 3 || payload[2] != kParam) return false;
        out = {{0x7D, 0x06, 0x1A, 0x00, 0x00, kParam, 0x34, 0x12, 0x7E, 0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E}};
        return true;
    });
    Plug();
    ASSERT_TRUE(WaitUntil([] { return tovamod_GetNumberOfAvailableDevice() == 1; }));
    int32_t maxSensors = 0;
    void* device = tovamod_OpenDevice(0, 921600, 0, &maxSensors);
    ASSERT_NE(device, nullptr);

    EXPECT_EQ(tovamod_Device_GetRTUUParam(device, kParam), 0x1234);
    ASSERT_TRUE(WaitUntil([] { return raised.load() == 1; }));
    // Later exchanges and reader cycles do not raise it again.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(tovamod_Device_GetRTUUParam(device, 6), 11);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(raised.load(), 1);
    const TonProcessData none{nullptr, nullptr};
    tovamod_getProcessData(&none);
}

}  // namespace
