// The device and sensor exports: their frame for every export, the choices and
// conversions they add, and one firmware part through the exports to the
// simulated Radio Master. The export table is built into the test, so that
// DevicesBusy and the handle registry can be set from here.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tovamod.h"
#include "uDLU.h"
#include "uExportFrame.h"
#include "uHandleRegistry.h"
#include "uRTUU.h"
#include "uTemplateDevices.h"
#include "uTemplateSensors.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_firmware.h"
#include "z5sim_radiomaster.h"
#include "z5widestring.h"

namespace {

namespace fs = std::filesystem;

// Records every operation that reaches it, with its arguments.
struct Calls {
    std::vector<std::string> names;
    std::vector<int64_t> args;
    void Add(const char* name, std::initializer_list<int64_t> a = {}) {
        names.push_back(name);
        args.insert(args.end(), a.begin(), a.end());
    }
};

class ProbeDevice : public TTemplateDevices {
public:
    std::string GetVersion() override { return calls.Add("GetVersion"), "1.2/3"; }
    int32_t SendCmdAndGetResponse(const char*, int32_t& Reply) override { return calls.Add("Cmd", {Reply}), 5; }
    int32_t UpdateStart(int32_t a, int32_t v, int32_t i, int32_t c, int32_t s, int32_t d, int32_t n,
                        const uint8_t*) override {
        return calls.Add("UpdateStart", {a, v, i, c, s, d, n}), 0;
    }
    int32_t UpdateFinish(int32_t a, uint32_t check) override { return calls.Add("UpdateFinish", {a, check}), 0; }
    int32_t UpdateBlocks(int32_t a, int32_t r, FirmwareStream* const*) override {
        return calls.Add("UpdateBlocks", {a, r}), 0;
    }
    int32_t SetRTUUParam(int32_t p, int32_t s, int32_t v) override { return calls.Add("SetRTUUParam", {p, s, v}), 0; }
    int64_t GetRTUUParam(int32_t p) override { return calls.Add("GetRTUUParam", {p}), value; }
    int32_t GetRTUUParams(TRTUUParams*) override { return calls.Add("GetRTUUParams"), 1; }
    int32_t GetDLUFileData(TDLUFileInfo*) override { return calls.Add("GetDLUFileData"), 2; }
    int32_t GetDLUValues(TDLUFileInfo*, int32_t i) override { return calls.Add("GetDLUValues", {i}), 0; }
    Calls calls;
    int64_t value = 0;
};

class ProbeSensor : public TTemplateSensors {
public:
    explicit ProbeSensor(uint8_t kind) { SetKind(kind); }
    ~ProbeSensor() override { BeginDestruction(); }
    std::u16string GetName() override { return calls.Add("GetName"), u"RCU"; }
    int64_t GetNumMeasureAvailable() override { return calls.Add("GetNumMeasureAvailable"), 7; }
    int32_t GetSamplePeriod1() override { return calls.Add("GetSamplePeriod1"), period1; }
    void SetSamplePeriod1(int32_t v) override { calls.Add("SetSamplePeriod1", {v}), period1 = v; }
    int32_t GetSamplePeriod2() override { return calls.Add("GetSamplePeriod2"), period2; }
    void SetSamplePeriod2(int32_t v) override { calls.Add("SetSamplePeriod2", {v}), period2 = v; }
    int32_t ReadRawMeasurement(int64_t*, int32_t n, int32_t*) override { return calls.Add("ReadRaw", {n}), 0; }
    int32_t ReadLatestMeasurement(int32_t n, int32_t*, int32_t m) override {
        return calls.Add("ReadLatest", {n, m}), 0;
    }
    int32_t SetRtcuParam(int32_t p, int32_t s, int32_t v) override { return calls.Add("SetRtcuParam", {p, s, v}), 0; }
    int64_t GetRtcuParam(int32_t p) override { return calls.Add("GetRtcuParam", {p}), value; }
    std::u16string GetMACExtAddr() override { return calls.Add("GetMACExtAddr"), mac; }
    int32_t GetRTCUParams(TRTCUParam*) override { return calls.Add("GetRTCUParams"), 1; }
    int32_t SetRcuParam(int32_t p, int32_t s, int32_t v) override { return calls.Add("SetRcuParam", {p, s, v}), 0; }
    int64_t GetRcuParam(int32_t p) override { return calls.Add("GetRcuParam", {p}), value; }
    int32_t SetEEPROMData(int32_t p, int32_t s, int64_t v) override { return calls.Add("SetEEPROMData", {p, s, v}), 0; }
    int32_t SetEEPROMDataCal(int32_t p, float v) override {
        return calls.Add("SetEEPROMDataCal", {p, static_cast<int64_t>(v * 10)}), 0;
    }
    int32_t SetEEPROMDataTrim(int32_t p, float v) override {
        return calls.Add("SetEEPROMDataTrim", {p, static_cast<int64_t>(v * 10)}), 0;
    }
    int64_t GetSUParam(int32_t p) override { return calls.Add("GetSUParam", {p}), value; }
    int32_t GetEEPROMData(int32_t kind, TSensorEEPROMData* d, float* c, float* t) override {
        return calls.Add("GetEEPROMData", {kind, d != nullptr, c != nullptr, t != nullptr}), 1;
    }
    int32_t SetRange(int32_t a, int32_t b) override { return calls.Add("SetRange", {a, b}), 0; }
    int32_t GetRange(int32_t a) override { return calls.Add("GetRange", {a}), 9; }
    int32_t SetCommand(int32_t a, int32_t b) override { return calls.Add("SetCommand", {a, b}), 0; }
    int32_t SetValueToZero(int32_t a) override { return calls.Add("SetValueToZero", {a}), 0; }
    Calls calls;
    int64_t value = 0;
    int32_t period1 = 10, period2 = 2000;
    std::u16string mac = u"0123456789ABCDEF";
};

// A shared wide string (length-prefixed) and a plain zero-terminated text.
std::string Text(const z5_char16* s) { return z5::Utf16ToUtf8(z5::WideView(s)); }
std::string Plain(const z5_char16* s) { return s ? z5::Utf16ToUtf8(s) : "(nil)"; }

class DeviceExports : public ::testing::Test {
protected:
    void SetUp() override {
        z5::SetTimeScale(0.05);
        RegisterDevice(&device);
        RegisterSensor(&remote);
        RegisterSensor(&own);
    }
    void TearDown() override {
        DevicesBusy = false;
        UnregisterDevice(&device);
        UnregisterSensor(&remote);
        UnregisterSensor(&own);
    }
    ProbeDevice device;
    ProbeSensor remote{0};  // a remote radio sensor unit
    ProbeSensor own{1};     // the base's own radio unit
};

// Every export once: called with (device, sensor) handles it returns the
// export's result as 64 bits; `failure` is its failure value.
struct ExportCase {
    const char* name;
    std::function<int64_t(void* device, void* sensor)> call;
    int64_t failure = -1;
};

std::vector<ExportCase> AllExports() {
    static int32_t values[8];
    static int64_t time;
    static TRTUUParams rtuu;
    static TRTCUParam rtcu;
    static TSensorEEPROMData eeprom;
    static float floats[15];
    static FirmwareStream* stream = nullptr;
    static const uint8_t hardware[] = {3};
    // The two MAC exports have no result: 0 when they gave "FFFFFFFFFFFFFFFF", else 1.
    auto mac = [](void (*fn)(void*, z5_char16**), void* handle) -> int64_t {
        z5_char16* text = nullptr;
        fn(handle, &text);
        const bool none = Text(text) == "FFFFFFFFFFFFFFFF";
        z5_wstr_free(text);
        return none ? 0 : 1;
    };
    return {
        {"SendCmdAndGetResponse", [](void* d, void*) { return tovamod_Device_SendCmdAndGetResponse(d, "0025,1,\r", 0); }},
        {"SetSamplePeriode", [](void*, void* s) { return tovamod_Sensor_SetSamplePeriode(s, 1, 20); }},
        {"GetNumMeasureAvailable", [](void*, void* s) { return tovamod_Sensor_GetNumMeasureAvailable(s); }},
        {"ReadRawMeasurement", [](void*, void* s) { return tovamod_Sensor_ReadRawMeasurement(s, &time, 2, values); }},
        {"SetRtcuParam", [](void*, void* s) { return tovamod_Sensor_SetRtcuParam(s, 8, 2, 20); }},
        {"GetRtcuParam", [](void*, void* s) { return tovamod_Sensor_GetRtcuParam(s, 1); }},
        {"SetRTUUParam", [](void* d, void*) { return tovamod_Device_SetRTUUParam(d, 6, 1, 11); }},
        {"GetRTUUParam", [](void* d, void*) { return tovamod_Device_GetRTUUParam(d, 1); }},
        {"SetEEPROMData", [](void*, void* s) { return tovamod_Sensor_SetEEPROMData(s, 2, 4, 1); }},
        {"GetSUParam", [](void*, void* s) { return tovamod_Sensor_GetSUParam(s, 2); }},
        {"GetName", [](void*, void* s) {
             const z5_char16* name = nullptr;
             return tovamod_Sensor_GetName(s, &name);
         }},
        {"GetEEPROMData", [](void*, void* s) { return tovamod_Sensor_GetEEPROMData(s, &eeprom); }},
        {"GetEEPROMDataCal", [](void*, void* s) { return tovamod_Sensor_GetEEPROMDataCal(s, floats); }},
        {"GetEEPROMDataTrim", [](void*, void* s) { return tovamod_Sensor_GetEEPROMDataTrim(s, floats); }},
        {"SetEEPROMDataCal", [](void*, void* s) { return tovamod_Sensor_SetEEPROMDataCal(s, 18, 1.5f); }},
        {"SetEEPROMDataTrim", [](void*, void* s) { return tovamod_Sensor_SetEEPROMDataTrim(s, 33, 1.5f); }},
        {"GetRTCUParams", [](void*, void* s) { return tovamod_Sensor_GetRTCUParams(s, &rtcu); }},
        {"GetRTUUParams", [](void* d, void*) { return tovamod_Device_GetRTUUParams(d, &rtuu); }},
        {"GetVersion", [](void* d, void*) {
             const char* version = nullptr;
             return tovamod_Device_GetVersion(d, &version);
         }},
        {"GetDLUFileData", [](void* d, void*) { return tovamod_Device_GetDLUFileData(d, nullptr); }},
        {"GetDLUValues", [](void* d, void*) { return tovamod_Device_GetDLUValues(d, nullptr, 0); }},
        {"SetRange", [](void*, void* s) { return tovamod_Sensor_SetRange(s, 1, 2); }},
        {"GetRange", [](void*, void* s) { return tovamod_Sensor_GetRange(s, 1); }},
        {"Update_Start", [](void* d, void*) { return tovamod_Device_Update_Start(d, 0, 0x105, 1, 1, 10, 4, 1, hardware); }},
        {"Update_Finish", [](void* d, void*) { return tovamod_Device_Update_Finish(d, 0, 1); }},
        {"Update", [](void* d, void*) { return tovamod_Device_Update(d, 0, 1, &stream); }},
        {"SetCommand", [](void*, void* s) { return tovamod_Sensor_SetCommand(s, 1, 2); }},
        {"GetRtcuMACExtAddr", [mac](void*, void* s) { return mac(tovamod_Sensor_GetRtcuMACExtAddr, s); }, 0},
        {"GetMACExtAddr", [mac](void* d, void*) { return mac(tovamod_Device_GetMACExtAddr, d); }, 0},
        {"SetValueToZero", [](void*, void* s) { return tovamod_Sensor_SetValueToZero(s, 0); }},
        // Last: needs the library initialised to reach the sensor.
        {"ReadLatestMeasurement", [](void*, void* s) { return tovamod_Sensor_ReadLatestMeasurement(s, 2, values, 0); }},
    };
}

TEST_F(DeviceExports, EveryExportGivesItsFailureValueWithoutTouchingAnything) {
    const auto exports = AllExports();
    ASSERT_EQ(exports.size(), 31u);
    struct Situation {
        const char* name;
        std::function<void()> enter, leave;
        void* device;
        void* sensor;
    };
    auto none = [] {};
    const std::vector<Situation> situations = {
        {"nil handles", none, none, nullptr, nullptr},
        {"each other's handle", none, none, &own, &device},
        {"devices busy", [] { DevicesBusy = true; }, [] { DevicesBusy = false; }, &device, &own},
        {"being destroyed",
         [&] {
             device.IsDestroying = true;
             own.SetIsDestroying(true);
         },
         none, &device, &own},
    };
    for (const auto& s : situations) {
        s.enter();
        for (const auto& e : exports) {
            SCOPED_TRACE(std::string(s.name) + ": " + e.name);
            EXPECT_EQ(e.call(s.device, s.sensor), e.failure);
        }
        s.leave();
    }
    EXPECT_TRUE(device.calls.names.empty());
    EXPECT_TRUE(own.calls.names.empty());
}

TEST_F(DeviceExports, LiveHandlesReachTheirOperations) {
    const auto exports = AllExports();
    // The library's files and its scan stay in the test's own folders.
    z5sim::Bus bus;
    bus.Export();
    const fs::path program = bus.Root() / "program";
    fs::create_directories(program);
    ::setenv("ZELTO5_PROGRAM_DIR", program.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", program.c_str(), 1);
    ASSERT_EQ(tovamod_init(), 0);
    for (const auto& e : exports) {
        SCOPED_TRACE(e.name);
        if (std::string(e.name) == "GetMACExtAddr") continue;  // asks radio bases only
        const size_t before = device.calls.names.size() + remote.calls.names.size();
        e.call(&device, &remote);
        EXPECT_GT(device.calls.names.size() + remote.calls.names.size(), before);
    }
    EXPECT_EQ(tovamod_uninit(), 0);
    // Without the library the latest-values read is refused.
    remote.calls = {};
    int32_t values[2];
    EXPECT_EQ(tovamod_Sensor_ReadLatestMeasurement(&remote, 2, values, 0), -1);
    EXPECT_TRUE(remote.calls.names.empty());
}

TEST_F(DeviceExports, NameAndVersionTexts) {
    const z5_char16* name = u"unchanged";
    EXPECT_EQ(tovamod_Sensor_GetName(nullptr, &name), -1);
    EXPECT_EQ(Plain(name), "") << "nil handle: an empty text";
    EXPECT_EQ(tovamod_Sensor_GetName(&own, &name), 0);
    EXPECT_EQ(Plain(name), "RCU");

    const char* version = "unchanged";
    EXPECT_EQ(tovamod_Device_GetVersion(nullptr, &version), -1);
    EXPECT_STREQ(version, "unchanged");
    EXPECT_EQ(tovamod_Device_GetVersion(&device, &version), 0);
    EXPECT_STREQ(version, "1.2/3");
}

// The choices and conversions the exports make, as one table.
TEST_F(DeviceExports, ChoicesAndConversions) {
    struct Case {
        const char* name;
        std::function<int64_t()> call;
        int64_t result;
        ProbeSensor* sensor;  // nullptr: the device
        std::vector<std::string> calls;
        std::vector<int64_t> args;
    };
    const int64_t high = 0x0000000580000001;  // bit 31 of the low half set
    own.value = remote.value = device.value = high;
    const std::vector<Case> cases = {
        {"GetRtcuParam of the base's own unit: low 32 bits, sign-widened", [&] { return tovamod_Sensor_GetRtcuParam(&own, 4); },
         int64_t{-2147483647}, &own, {"GetRcuParam"}, {4}},
        {"GetRtcuParam of a remote unit: all 64 bits", [&] { return tovamod_Sensor_GetRtcuParam(&remote, 4); }, high,
         &remote, {"GetRtcuParam"}, {4}},
        {"SetRtcuParam of the base's own unit", [&] { return tovamod_Sensor_SetRtcuParam(&own, 29, 1, 7); }, 0, &own,
         {"SetRcuParam"}, {29, 1, 7}},
        {"SetRtcuParam of a remote unit", [&] { return tovamod_Sensor_SetRtcuParam(&remote, 29, 1, 7); }, 0, &remote,
         {"SetRtcuParam"}, {29, 1, 7}},
        {"SetSamplePeriode mode 1", [&] { return tovamod_Sensor_SetSamplePeriode(&remote, 1, 25); }, 25, &remote,
         {"SetRtcuParam", "SetSamplePeriod1", "GetSamplePeriod1"}, {8, 2, 25, 25}},
        {"SetSamplePeriode mode 2", [&] { return tovamod_Sensor_SetSamplePeriode(&remote, 2, 70000); }, 70000,
         &remote, {"SetRtcuParam", "SetSamplePeriod2", "GetSamplePeriod2"}, {9, 4, 70000, 70000}},
        {"SetSamplePeriode mode 3: nothing sent", [&] { return tovamod_Sensor_SetSamplePeriode(&remote, 3, 5); }, -1,
         &remote, {}, {}},
        {"SetSamplePeriode mode 0: nothing sent", [&] { return tovamod_Sensor_SetSamplePeriode(&remote, 0, 5); }, -1,
         &remote, {}, {}},
        {"GetRTUUParam: low 32 bits", [&] { return tovamod_Device_GetRTUUParam(&device, 1); },
         int64_t{-2147483647}, nullptr, {"GetRTUUParam"}, {1}},
        {"GetSUParam: low 32 bits", [&] { return tovamod_Sensor_GetSUParam(&remote, 3); }, int64_t{-2147483647},
         &remote, {"GetSUParam"}, {3}},
        {"SetEEPROMData: value sign-widened", [&] { return tovamod_Sensor_SetEEPROMData(&remote, 2, 4, -2); }, 0,
         &remote, {"SetEEPROMData"}, {2, 4, -2}},
        {"GetEEPROMData: data record", [&] {
             TSensorEEPROMData d;
             return tovamod_Sensor_GetEEPROMData(&remote, &d);
         }, 1, &remote, {"GetEEPROMData"}, {0, 1, 0, 0}},
        {"GetEEPROMDataCal: calibration record", [&] {
             float c[15];
             return tovamod_Sensor_GetEEPROMDataCal(&remote, c);
         }, 1, &remote, {"GetEEPROMData"}, {1, 0, 1, 0}},
        {"GetEEPROMDataTrim: trim record", [&] {
             float t[10];
             return tovamod_Sensor_GetEEPROMDataTrim(&remote, t);
         }, 1, &remote, {"GetEEPROMData"}, {2, 0, 0, 1}},
        {"Update_Finish: check value unsigned",
         [&] { return tovamod_Device_Update_Finish(&device, 1, static_cast<int32_t>(0xDEADBEEF)); }, 0, nullptr,
         {"UpdateFinish"}, {1, 0xDEADBEEF}},
        {"Update_Start: arguments in order", [&] {
             const uint8_t hw[] = {1, 2};
             return tovamod_Device_Update_Start(&device, 1, 0x0105, 2, 3, 70000, 4, 2, hw);
         }, 0, nullptr, {"UpdateStart"}, {1, 0x0105, 2, 3, 70000, 4, 2}},
        {"Update: address and the reserved value", [&] {
             FirmwareStream* none = nullptr;
             return tovamod_Device_Update(&device, 1, 1, &none);
         }, 0, nullptr, {"UpdateBlocks"}, {1, 1}},
        {"SendCmdAndGetResponse: the reply passed on", [&] {
             return tovamod_Device_SendCmdAndGetResponse(&device, "0025,1,\r", 42);
         }, 5, nullptr, {"Cmd"}, {42}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        own.calls = remote.calls = {};
        device.calls = {};
        EXPECT_EQ(c.call(), c.result);
        const Calls& got = c.sensor ? c.sensor->calls : device.calls;
        EXPECT_EQ(got.names, c.calls);
        EXPECT_EQ(got.args, c.args);
    }
    EXPECT_EQ(remote.period1, 25) << "mode 2 leaves the first period alone";
}

TEST_F(DeviceExports, MacTexts) {
    auto mac = [](void (*fn)(void*, z5_char16**), void* handle) {
        z5_char16* text = z5::WideAlloc(u"previous");  // released by the export
        fn(handle, &text);
        std::string s = Text(text);
        z5_wstr_free(text);
        return s;
    };
    EXPECT_EQ(mac(tovamod_Sensor_GetRtcuMACExtAddr, &own), "0123456789ABCDEF");
    own.mac.clear();
    EXPECT_EQ(mac(tovamod_Sensor_GetRtcuMACExtAddr, &own), "FFFFFFFFFFFFFFFF") << "a sensor without MAC";
    EXPECT_EQ(mac(tovamod_Device_GetMACExtAddr, &device), "FFFFFFFFFFFFFFFF") << "no radio base";
    EXPECT_TRUE(device.calls.names.empty());

    TDLU logger;
    RegisterDevice(&logger);
    EXPECT_EQ(mac(tovamod_Device_GetMACExtAddr, &logger), "FFFFFFFFFFFFFFFF") << "a data logger";
    UnregisterDevice(&logger);
}

// A radio base on a line: its MAC and one firmware part through the exports.
class RadioMasterExports : public ::testing::Test {
protected:
    void SetUp() override {
        z5::SetTimeScale(0.2);
        rm->SetParam(0, 3);
        bus.Export();
        ASSERT_TRUE(bus.Plug(rm));
        dev.SetSerialNo("RMX1");
        ASSERT_EQ(dev.OpenDevice(921600, 0), 0);
        RegisterDevice(&dev);
    }
    void TearDown() override { UnregisterDevice(&dev); }
    z5sim::Bus bus;
    std::shared_ptr<z5sim::RadioMaster> rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RMX1");
    TRTUU dev;
};

struct Stream {
    std::vector<uint8_t> data;
    size_t pos = 0;
    static int64_t Size(void* c) { return static_cast<int64_t>(static_cast<Stream*>(c)->data.size()); }
    static int32_t Read(void* c, void* buffer, int32_t count) {
        auto* s = static_cast<Stream*>(c);
        const size_t n = std::min(static_cast<size_t>(count), s->data.size() - s->pos);
        std::copy_n(s->data.begin() + static_cast<std::ptrdiff_t>(s->pos), n, static_cast<uint8_t*>(buffer));
        s->pos += n;
        return static_cast<int32_t>(n);
    }
};

TEST_F(RadioMasterExports, MacAndOnePartToTheRadioUnit) {
    z5_char16* text = nullptr;
    tovamod_Device_GetMACExtAddr(&dev, &text);
    EXPECT_EQ(Text(text), "0011223344556677");
    z5_wstr_free(text);

    rm->EditUnit(1, [](z5sim::RadioUnit& u) { u.params[0].value = 3; });
    Stream image{std::vector<uint8_t>(260)};
    for (size_t i = 0; i < image.data.size(); ++i) image.data[i] = static_cast<uint8_t>(i ^ 0x5A);
    FirmwareStream stream{&image, Stream::Size, Stream::Read};
    FirmwareStream* holder = &stream;
    const uint8_t hardware[] = {3};
    ASSERT_EQ(tovamod_Device_Update_Start(&dev, 1, 0x0207, 1, 1, 260, 4, 1, hardware), 0);
    ASSERT_EQ(tovamod_Device_Update(&dev, 1, 1, &holder), 0);
    const auto crc = static_cast<int32_t>(z5sim::FirmwareCrc32(image.data));
    EXPECT_EQ(tovamod_Device_Update_Finish(&dev, 1, crc ^ 0x100), z5sim::FirmwareReceiver::kErrorCheck);
    ASSERT_EQ(tovamod_Device_Update_Start(&dev, 1, 0x0207, 1, 1, 260, 4, 1, hardware), 0);
    image.pos = 0;
    ASSERT_EQ(tovamod_Device_Update(&dev, 1, 1, &holder), 0);
    EXPECT_EQ(tovamod_Device_Update_Finish(&dev, 1, crc), 0);
    EXPECT_EQ(dev.ReadParam(1, 1), 0x0207);
}

}  // namespace
