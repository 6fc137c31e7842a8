// Every device kind that the scan makes, against its simulated model, through the
// exports only: each sensor node's handle is taken by every sensor export, which
// succeeds exactly where the sensor's kind supports the call; and a measurement
// started and stopped with the class's command texts (or, for the data logger, a
// download per time mode) brings the sent values at their times into the
// sensor's queue and nowhere else.
#define TOVAMOD_INTERNAL  // z5_nets_free for the test's own tree
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tovamod.h"
#include "z5clock.h"
#include "z5sim_datalogger.h"
#include "z5sim_deskport.h"
#include "z5sim_instruments.h"
#include "z5sim_radiomaster.h"
#include "z5test_library.h"
#include "z5test_networks.h"
#include "z5test_wait.h"
#include "z5widestring.h"

namespace {

constexpr uint64_t kOwnMAC = 0x1000000000000001ull;
constexpr uint64_t kRemoteMAC = 0xA0A0A0A0A0A0A0A1ull;
constexpr const char* kBaseMAC = "0011223344556677";  // the model's parameter 7

std::string MacText(uint64_t mac) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(mac));
    return text;
}

// One sensor export called with a handle: true when it gave a success value.
struct SensorExport {
    const char* name;
    std::function<bool(void* sensor)> call;
};

std::vector<SensorExport> SensorExports() {
    static int32_t values[8];
    static TSensorEEPROMData eeprom;
    static TRTCUParam rtcu;
    static float floats[15];
    return {
        {"SetSamplePeriode", [](void* s) { return tovamod_Sensor_SetSamplePeriode(s, 1, 20) != -1; }},
        {"GetNumMeasureAvailable", [](void* s) { return tovamod_Sensor_GetNumMeasureAvailable(s) != -1; }},
        {"ReadLatestMeasurement", [](void* s) { return tovamod_Sensor_ReadLatestMeasurement(s, 2, values, 0) != -1; }},
        {"SetRtcuParam", [](void* s) { return tovamod_Sensor_SetRtcuParam(s, 20, 1, 3) != -1; }},
        {"GetRtcuParam", [](void* s) { return tovamod_Sensor_GetRtcuParam(s, 1) != -1; }},
        {"SetEEPROMData", [](void* s) { return tovamod_Sensor_SetEEPROMData(s, 2, 4, 1) != -1; }},
        {"GetSUParam", [](void* s) { return tovamod_Sensor_GetSUParam(s, 2) != -1; }},
        {"GetName", [](void* s) {
             const z5_char16* name = nullptr;
             return tovamod_Sensor_GetName(s, &name) != -1;
         }},
        {"GetEEPROMData", [](void* s) { return tovamod_Sensor_GetEEPROMData(s, &eeprom) != -1; }},
        {"GetEEPROMDataCal", [](void* s) { return tovamod_Sensor_GetEEPROMDataCal(s, floats) != -1; }},
        {"GetEEPROMDataTrim", [](void* s) { return tovamod_Sensor_GetEEPROMDataTrim(s, floats) != -1; }},
        {"SetEEPROMDataCal", [](void* s) { return tovamod_Sensor_SetEEPROMDataCal(s, 18, 1.5f) != -1; }},
        {"SetEEPROMDataTrim", [](void* s) { return tovamod_Sensor_SetEEPROMDataTrim(s, 33, 1.5f) != -1; }},
        {"GetRTCUParams", [](void* s) {
             const bool ok = tovamod_Sensor_GetRTCUParams(s, &rtcu) != -1;
             z5_wstr_free(rtcu.Param3);
             rtcu.Param3 = nullptr;
             return ok;
         }},
        {"SetRange", [](void* s) { return tovamod_Sensor_SetRange(s, 1, 2) != -1; }},
        {"GetRange", [](void* s) { return tovamod_Sensor_GetRange(s, 1) != -1; }},
        {"SetCommand", [](void* s) { return tovamod_Sensor_SetCommand(s, 1, 2) != -1; }},
        {"GetRtcuMACExtAddr", [](void* s) {
             z5_char16* mac = nullptr;
             tovamod_Sensor_GetRtcuMACExtAddr(s, &mac);
             const bool known = z5::WideView(mac) != u"FFFFFFFFFFFFFFFF";
             z5_wstr_free(mac);
             return known;
         }},
        {"SetValueToZero", [](void* s) { return tovamod_Sensor_SetValueToZero(s, 0) != -1; }},
    };
}

using Names = std::set<std::string>;

// What each sensor kind supports (ReadRawMeasurement is the measurement test's).
Names RemoteUnit() {
    Names all;
    for (const auto& e : SensorExports()) all.insert(e.name);
    return all;
}
const Names kOwnUnit{"GetNumMeasureAvailable", "GetName", "SetRtcuParam", "GetRtcuParam", "GetRtcuMACExtAddr"};
const Names kLoggerSensor{"GetNumMeasureAvailable", "GetName", "ReadLatestMeasurement"};
const Names kLightSpeedSensor{"GetNumMeasureAvailable", "GetName", "ReadLatestMeasurement", "SetValueToZero"};
const Names kGeneratorSensor{"GetNumMeasureAvailable", "GetName"};
const Names kXRaySensor{"GetNumMeasureAvailable", "GetName", "ReadLatestMeasurement"};

// How a client measures on the kind: the command texts that start and stop it
// (a download for the data logger), the node that streams and its channels, the
// model's unit that sends the stream and how the kind's sample period is set.
enum class Period { None, Sensor, DeviceParam9 };

struct Measurement {
    const char* start = nullptr;  // nullptr: the kind does not measure
    const char* stop = nullptr;
    size_t node = 0;
    int32_t channels = 0;
    uint16_t unit = 0;
    Period period = Period::None;
};

struct KindCase {
    const char* name;
    std::function<std::shared_ptr<z5sim::Device>()> make;
    uint8_t kind;
    std::vector<Names> sensors;  // per sensor node, in node order
    Measurement measure;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

constexpr uint16_t kRemoteAddress = 5;

std::shared_ptr<z5sim::Device> RadioMasterWithTwoUnits() {
    auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RM1");
    z5sim::RadioUnit own = z5sim::RadioUnit::Own(1, kOwnMAC);
    own.streams = true;  // frames at its address carry no channel of a sample
    rm->Join(own);
    z5sim::RadioUnit remote = z5sim::RadioUnit::Remote(kRemoteAddress, kRemoteMAC);
    remote.eeprom[1].value = 7;
    remote.params[28].value = 0x03;
    remote.streams = true;
    remote.streamValues = {11, 22, 33, 44};  // two samples of two channels per frame
    rm->Join(remote);
    return rm;
}

// A logger file and what the client gets of it: each line's time and values.
struct Sample {
    int64_t time;
    std::vector<int32_t> values;
    bool operator==(const Sample&) const = default;
};
void PrintTo(const Sample& s, std::ostream* os) {
    *os << "time " << s.time << ", values";
    for (int32_t v : s.values) *os << ' ' << v;
}
struct LoggedFile {
    z5sim::DataLogger::File file;
    std::vector<Sample> samples;
};

LoggedFile Logged(const char* name, int timeMode, std::vector<z5sim::DataLogger::Line> lines,
                  std::vector<Sample> samples) {
    z5sim::DataLogger::File f;
    f.name = name;
    f.size = 10;
    f.header = z5sim::DataLogger::HeaderText({"Lab", "Run", 2, "", 0, {"a", "b"}, {"c", "d"}, {"V", "V"},
                                               {{"1", "2"}, {"3", "4"}}});
    f.startTime = "10:00:00";
    f.timeMode = timeMode;
    f.interval = "0250";
    f.lines = std::move(lines);
    return {f, std::move(samples)};
}

// One file per time mode; values arrive times 1000.
std::vector<LoggedFile> LoggerFiles() {
    return {
        Logged("08031501", 0, {{"", {"1,5", "2"}}, {"", {"-3", "4,25"}}, {"", {"x", "7"}}},
               {{0, {1500, 2000}}, {250, {-3000, 4250}}, {500, {0, 7000}}}),
        Logged("08031502", 1, {{"10:00:05", {"1", "2"}}, {"10:01:10", {"3", "4"}}},
               {{5, {1000, 2000}}, {70, {3000, 4000}}}),
        Logged("08031503", 2, {{"7", {"1", "2"}}, {"20", {"3", "4"}}}, {{8, {1000, 2000}}, {21, {3000, 4000}}}),
        Logged("08031504", 3, {{"", {"5", "6"}}, {"", {"7", "8"}}, {"", {"9", "0,001"}}},
               {{0, {5000, 6000}}, {1, {7000, 8000}}, {2, {9000, 1}}}),
    };
}

std::shared_ptr<z5sim::Device> Logger() {
    auto dl = std::make_shared<z5sim::DataLogger>(z5sim::DataLogger::kDescription, "FP1");
    dl->SetLatest("5\t6\t\r");
    std::vector<z5sim::DataLogger::File> files;
    for (const auto& logged : LoggerFiles()) files.push_back(logged.file);
    dl->SetFiles(files);
    return dl;
}

std::vector<KindCase> Kinds() {
    return {
        {"RadioMaster", RadioMasterWithTwoUnits, TOVAMOD_KIND_RADIO_MASTER, {kOwnUnit, RemoteUnit()},
         {"0005,1,\r", "0006,1,\r", 1, 2, kRemoteAddress, Period::Sensor}},
        {"DeskPort", [] { return std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", "DP1"); },
         TOVAMOD_KIND_DESK_PORT, {RemoteUnit()},
         {"0005,1,\r", "0006,1,\r", 0, 2, z5sim::DeskPort::kUnitAddress, Period::Sensor}},
        {"StarterPort", [] { return std::make_shared<z5sim::DeskPort>("Zelto5 Starter-Port", "SP1"); },
         TOVAMOD_KIND_STARTER_PORT, {RemoteUnit()},
         {"0005,1,\r", "0006,1,\r", 0, 2, z5sim::DeskPort::kUnitAddress, Period::Sensor}},
        {"FieldPort", Logger, TOVAMOD_KIND_FIELD_PORT, {kLoggerSensor}, {"download", nullptr, 0, 2}},
        {"Timer62", [] { return std::make_shared<z5sim::Timer62>(); }, TOVAMOD_KIND_TIMER62, {}, {}},
        {"UniversalCounter", [] { return std::make_shared<z5sim::UniversalCounter>(); },
         TOVAMOD_KIND_UNIVERSAL_COUNTER, {}, {}},
        {"SpeedOfLight", [] { return std::make_shared<z5sim::LightSpeedMeter>(); }, TOVAMOD_KIND_SPEED_OF_LIGHT,
         {kLightSpeedSensor}, {"0005,1,\r", "0006,1,\r", 0, 2, 0, Period::DeviceParam9}},
        {"FunctionGenerator", [] { return std::make_shared<z5sim::FunctionGenerator>(); },
         TOVAMOD_KIND_FUNCTION_GENERATOR, {kGeneratorSensor},
         {"0022,1,\r", "0023,1,\r", 0, 5, z5sim::FunctionGenerator::kChannelUnit, Period::None}},
        {"XRay", [] { return std::make_shared<z5sim::XRay>(); }, TOVAMOD_KIND_XRAY, {kXRaySensor}, {}},
    };
}

class EachKind : public z5test::LibraryOnBus, public ::testing::WithParamInterface<KindCase> {
protected:
    void SetUp() override {
        z5::SetTimeScale(0.2);
        LibraryOnBus::SetUp();
        if (HasFatalFailure()) return;
        // The networks file admits the Radio Master's two units.
        z5test::NetBase base{kBaseMAC, 11, {{"RCU", MacText(kOwnMAC)}, {"RTCU", MacText(kRemoteMAC)}}};
        TZ5_HardLock_Networks* tree = z5test::ActiveNetwork({base});
        tovamod_SetZ5NetsFileStructure(tree);
        z5_nets_free(tree);
        model = GetParam().make();
        ASSERT_TRUE(bus.Plug(model));
        ASSERT_TRUE(z5test::WaitUntil([&] {
            const THardwareStructure* copy = tovamod_GetHardwareStructure();
            if (!copy || !copy->First || copy->First->Kind != GetParam().kind) return false;
            std::vector<void*> handles;
            for (const TSensorStructure* q = copy->First->Sensors; q; q = q->Next) handles.push_back(q->Sensor);
            if (handles.size() != GetParam().sensors.size()) return false;
            device = copy->First->Device;
            sensors = handles;
            return true;
        })) << "the node with its sensor nodes";
        tovamod_DeactivateDevicesIdentification();  // no scan between the calls
        // The calls at protocol time: their reply waits hold on a loaded machine.
        z5::SetTimeScale(1.0);
    }
    void TearDown() override {
        z5::SetTimeScale(0.05);  // the devices' destruction waits
        LibraryOnBus::TearDown();
    }

    // Takes n samples of the sensor, waiting for them to be queued.
    std::vector<Sample> Take(void* sensor, size_t n, int32_t channels) {
        std::vector<Sample> taken;
        EXPECT_TRUE(z5test::WaitUntil(
            [&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= static_cast<int64_t>(n); }))
            << n << " samples";
        for (size_t i = 0; i < n; ++i) {
            Sample s{-1, std::vector<int32_t>(static_cast<size_t>(channels), -1)};
            if (tovamod_Sensor_ReadRawMeasurement(sensor, &s.time, channels, s.values.data()) != 0) break;
            taken.push_back(s);
        }
        return taken;
    }

    std::shared_ptr<z5sim::Device> model;
    void* device = nullptr;
    std::vector<void*> sensors;
};

TEST_P(EachKind, EverySensorExportTakesTheNodesHandle) {
    const auto exports = SensorExports();
    for (size_t i = 0; i < sensors.size(); ++i) {
        for (const auto& e : exports) {
            SCOPED_TRACE("sensor node " + std::to_string(i) + ": " + e.name);
            EXPECT_EQ(e.call(sensors[i]), GetParam().sensors[i].count(e.name) == 1);
        }
    }
}

// Each sample carries what the device sent, at its time, in its sensor's queue
// and nowhere else: a stream's values as the unit sent them, timed by the
// frame's time count and the set sample period; a download's lines, timed by
// the file's time mode.
TEST_P(EachKind, AMeasurementCarriesWhatTheDeviceSent) {
    const Measurement& m = GetParam().measure;
    if (!m.start) {
        for (void* s : sensors) EXPECT_EQ(tovamod_Sensor_GetNumMeasureAvailable(s), 0);
        return;
    }
    void* sensor = sensors[m.node];
    if (std::string(m.start) == "download") {
        const std::vector<LoggedFile> files = LoggerFiles();
        std::vector<TDLUFileInfo> records(TOVAMOD_DLU_MAX_FILES);
        ASSERT_EQ(tovamod_Device_GetDLUFileData(device, records.data()), static_cast<int32_t>(files.size()));
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE("time mode " + std::to_string(files[i].file.timeMode));
            ASSERT_EQ(tovamod_Device_GetDLUValues(device, records.data(), static_cast<int32_t>(i)), 0);
            EXPECT_EQ(Take(sensor, files[i].samples.size(), m.channels), files[i].samples);
            EXPECT_EQ(tovamod_Sensor_GetNumMeasureAvailable(sensor), 0) << "no line more";
        }
        for (auto& r : records) z5_dlu_free_texts(&r);
    } else {
        auto* base = dynamic_cast<z5sim::RadioMaster*>(model.get());
        ASSERT_NE(base, nullptr);
        // Frames count 7, 10, 13: a sample's time comes from its frame, not from its place in the queue.
        constexpr uint32_t kFirstCount = 7, kCountStep = 3;
        ASSERT_TRUE(base->EditUnit(m.unit, [](z5sim::RadioUnit& u) {
            u.timeCount = kFirstCount;
            u.timeStep = kCountStep;
        }));
        const std::vector<uint16_t> sent = base->Unit(m.unit)->streamValues;
        constexpr int32_t kPeriod = 50;
        int64_t period = 0;  // the function generator's samples keep time 0
        if (m.period == Period::Sensor) {
            ASSERT_EQ(tovamod_Sensor_SetSamplePeriode(sensor, 2, kPeriod), kPeriod);
            period = kPeriod;
        } else if (m.period == Period::DeviceParam9) {
            ASSERT_EQ(tovamod_Device_SetRTUUParam(device, 9, 4, kPeriod), 0);
            period = kPeriod;
        }
        const size_t channels = static_cast<size_t>(m.channels);
        const size_t perFrame = sent.size() / channels;
        constexpr size_t kFrames = 3;
        std::vector<Sample> expected;
        for (size_t f = 0; f < kFrames; ++f) {
            for (size_t k = 0; k < perFrame; ++k) {
                const int64_t count = kFirstCount + kCountStep * f;
                const auto first = sent.begin() + static_cast<std::ptrdiff_t>(k * channels);
                expected.push_back({count * period + static_cast<int64_t>(k) * period,
                                    std::vector<int32_t>(first, first + static_cast<std::ptrdiff_t>(channels))});
            }
        }
        ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(device, m.start, 0), 0);
        const std::vector<Sample> taken = Take(sensor, expected.size(), m.channels);
        EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, m.stop, 0), 0);
        EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
        EXPECT_EQ(taken, expected);
    }
    for (size_t i = 0; i < sensors.size(); ++i) {
        if (i == m.node) continue;
        EXPECT_EQ(tovamod_Sensor_GetNumMeasureAvailable(sensors[i]), 0) << "sensor node " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Scan, EachKind, ::testing::ValuesIn(Kinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
