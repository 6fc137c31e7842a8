// Every kind through the scan and the exports against its model: found by its
// description with its node kind, name and type, its sensor nodes after the
// first refresh, and one table of command code -> frame -> result per class.
#include "instruments_support.h"
#include "z5sim_datalogger.h"
#include "z5sim_deskport.h"
#include "z5sim_kinds.h"
#include "z5clock.h"

using namespace instruments_test;

namespace {

struct KindCase {
    const char* name;
    std::function<std::shared_ptr<z5sim::Device>()> make;
    uint8_t kind;
    std::u16string deviceName;
    int32_t typ;
    std::vector<SensorValue> sensors;
    std::vector<CommandCase> commands;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

const Bytes kStart{0x7D, 0x03, 0x31, 0x00, 0x00, 0x7E};
const Bytes kStop{0x7D, 0x03, 0x32, 0x00, 0x00, 0x7E};
const Bytes kZ{0x7D, 0x04, 0x5A, 0x00, 0x00, 0x02, 0x7E};

Bytes Short(uint8_t cmd, uint16_t address = 0) {
    return {0x7D, 0x03, cmd, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0x7E};
}

// The radio base device's three codes, and none of the instruments'.
std::vector<CommandCase> RadioBaseCodes() {
    return {{"0005,1,\r", kStart, 0}, {"0006,1,\r", kStop, 0}, {"0010,1,\r", kZ, 0},
            {"0017,1,\r", {}, -1},    {"0025,1,\r", {}, -1},   {"0005,1,", {}, -1}};
}

std::vector<KindCase> Kinds() {
    const SensorValue wired{0, 1, 7, 0, 0, 0, 2};
    return {
        {"Desk-Port", [] { return std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", "DP1"); }, 5, u"DUU", 5,
         {wired}, RadioBaseCodes()},
        {"Starter-Port", [] { return std::make_shared<z5sim::DeskPort>("Zelto5 Starter-Port", "SP1"); }, 11, u"DUU", 5,
         {wired}, RadioBaseCodes()},
        {"Timer 6-2", [] { return std::make_shared<z5sim::Timer62>(); }, 6, u"TIMER62", 8, {},
         {{"0017,1,\r", Short('L'), 0},
          {"0018,1,\r", Short('M'), 0},
          {"0005,1,\r", {}, -1},
          {"0019,1,\r", {}, -1},
          {"0017,1,", {}, -1}}},
        {"Universal Counter", [] { return std::make_shared<z5sim::UniversalCounter>(); }, 7, u"UNIZ", 7, {},
         RadioBaseCodes()},
        {"Speed of Light Meter", [] { return std::make_shared<z5sim::LightSpeedMeter>(); }, 8, u"SOL", 6,
         {{8, 1, -1, 0, 0, 0, 2}},
         {{"0019,1,\r", Short('M'), 0},
          {"0020,1,\r", Short('N'), 0},
          {"0005,1,\r", kStart, 0},
          {"0006,1,\r", kStop, 0},
          {"0010,1,\r", {}, -1},
          {"0017,1,\r", {}, -1},
          {"0019,1,", {}, -1}}},
        {"Function Generator", [] { return std::make_shared<z5sim::FunctionGenerator>(); }, 9, u"DDS", 10,
         {{9, 1, -1, 0, 0, 0, 5}},
         {{"0017,1,\r", Short('M', 0x100), 0},
          {"0018,1,\r", Short('N', 0x100), 0},
          {"0019,1,\r", Short('O', 0x100), 0},
          {"0020,1,\r", Short('P', 0x100), 0},
          {"0021,1,\r", {}, -1},
          {"0022,1,\r", Short('Q', 0x100), 0},
          {"0023,1,\r", Short('R', 0x100), 0},
          {"0024,1,\r", Short('S', 0x100), 0},
          {"0025,1,\r", Short('T', 0x100), 0},
          {"0026,1,\r", Short('U', 0x100), 0},
          {"0027,1,\r", {}, -1},
          {"0005,1,\r", {}, -1},
          {"0017,1,", {}, -1}}},
        {"X-Ray", [] { return std::make_shared<z5sim::XRay>(); }, 10, u"DDS", 10, {{10, 1, -1, 0, 0, 0, 5}},
         {{"0017,7,\r", {0x7D, 0x04, 0x2A, 0x00, 0x00, 0x07, 0x7E}, 0}, {"0005,1,\r", {}, -1}}},
    };
}

class EachKind : public Library, public ::testing::WithParamInterface<KindCase> {};

TEST_P(EachKind, FoundWithItsSensorsAndItsCommands) {
    const KindCase& c = GetParam();
    auto model = c.make();
    auto found = PlugAndFind(model, c.sensors.size());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->kind, c.kind);
    EXPECT_EQ(FirstDeviceName(), c.deviceName);
    EXPECT_EQ(static_cast<TTemplateDevices*>(found->device)->GetTyp(), c.typ);
    EXPECT_EQ(found->sensors, c.sensors);
    for (const SensorValue& s : found->sensors) {
        void* sensor = nullptr;
        uint8_t status = 0;
        EXPECT_EQ(tovamod_OpenSensor(found->device, 921600, 0, 0, &sensor, &status), 0);
        EXPECT_EQ(sensor, s.sensor);
        EXPECT_EQ(status, s.kind);
    }
    RunCommands(*model, found->device, c.commands);
}

// The kind's own commands and a parameter read end with their reply frame: none
// costs the read time-out (100 ms) of a read until the line is quiet. At this scale
// a read time-out lasts 5 s, far beyond what a loaded machine delays a reply.
TEST_P(EachKind, RepliesEndWithTheirFrame) {
    const KindCase& c = GetParam();
    auto model = c.make();
    auto found = PlugAndFind(model, c.sensors.size());
    ASSERT_TRUE(found);
    void* device = found->device;
    struct Exchange {
        std::string name;
        std::function<bool()> succeeded;
    };
    std::vector<Exchange> exchanges{{"parameter read", [device] { return tovamod_Device_GetRTUUParam(device, 1) != -1; }}};
    for (const CommandCase& k : c.commands) {
        // The kind's own short commands (the radio base's start, stop and Z have tests of their own).
        if (k.result != 0 || k.frame.empty() || k.frame == kStart || k.frame == kStop || k.frame == kZ) continue;
        const char* text = k.text;
        exchanges.push_back({::testing::PrintToString(k),
                             [device, text] { return tovamod_Device_SendCmdAndGetResponse(device, text, 0) == 0; }});
    }
    constexpr uint32_t kReadTimeOutMs = 100;
    tovamod_DeactivateDevicesIdentification();
    const double scale = z5::TimeScale();
    z5::SetTimeScale(50);
    for (const Exchange& e : exchanges) {
        SCOPED_TRACE(e.name);
        const uint32_t start = z5::Tick();
        EXPECT_TRUE(e.succeeded());
        EXPECT_LT(z5::TicksSince(start), kReadTimeOutMs) << "a read time-out was waited out";
    }
    z5::SetTimeScale(scale);
    tovamod_ActivateDevicesIdentification();
}

INSTANTIATE_TEST_SUITE_P(Instruments, EachKind, ::testing::ValuesIn(Kinds()),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::erase_if(n, [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); });
                             return n;
                         });

}  // namespace

namespace {

// The z5sim command plugs these by kind name, with the kind table's descriptions.
TEST(SimulatorKinds, EachNameMakesItsModelWithItsDescription) {
    struct Case {
        const char* kind;
        const char* description;
        std::function<bool(z5sim::Device*)> isModel;
    };
    const Case cases[] = {
        {"deskport", "Zelto5 Desk-Port", [](z5sim::Device* d) { return dynamic_cast<z5sim::DeskPort*>(d); }},
        {"starterport", "Zelto5 Starter-Port", [](z5sim::Device* d) { return dynamic_cast<z5sim::DeskPort*>(d); }},
        {"timer62", "Timer 6-2 71304.52", [](z5sim::Device* d) { return dynamic_cast<z5sim::Timer62*>(d); }},
        {"counter", "Universal Counter 52817.30",
         [](z5sim::Device* d) { return dynamic_cast<z5sim::UniversalCounter*>(d); }},
        {"lightspeed", "Speed of Light Meter 38410.00",
         [](z5sim::Device* d) { return dynamic_cast<z5sim::LightSpeedMeter*>(d); }},
        {"dds", "Function Generator 60275.44",
         [](z5sim::Device* d) { return dynamic_cast<z5sim::FunctionGenerator*>(d); }},
        {"xray", "X-Ray 27739.15", [](z5sim::Device* d) { return dynamic_cast<z5sim::XRay*>(d); }},
        {"radiomasterunit", "Zelto5 Radio Master",
         [](z5sim::Device* d) { return dynamic_cast<z5sim::RadioMaster*>(d); }},
        {"datalogger", "Zelto5 Field-Port", [](z5sim::Device* d) { return dynamic_cast<z5sim::DataLogger*>(d); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        auto device = z5sim::MakeDevice(c.kind, "", "K1");
        ASSERT_TRUE(device);
        EXPECT_EQ(device->Description(), c.description);
        EXPECT_TRUE(c.isModel(device.get()));
    }
}

}  // namespace
