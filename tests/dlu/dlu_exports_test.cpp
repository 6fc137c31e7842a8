// The data logger as a client meets it: found by the scan and reached through the
// exports, against a simulated logger: its files, its sensor (the node's handle
// and tovamod_OpenSensor index 0), the download read line by line through the
// sensor exports, and its latest values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tovamod.h"
#include "z5clock.h"
#include "z5sim_datalogger.h"
#include "z5sim_fault.h"
#include "z5test_library.h"
#include "z5test_wait.h"
#include "z5widestring.h"

namespace {

using z5sim::DataLogger;
using z5sim::Fault;

const DataLogger::Header kTwoChannels{"Lab 3", "Run A", 2, "", 0, {"T1", "U1"}, {"air", "cell"}, {"^C", "V"},
                                      {{"1,5", "-2"}, {"0,25", "100"}}};

DataLogger::File MakeFile(std::string name, int32_t size) {
    DataLogger::File f;
    f.name = std::move(name);
    f.size = size;
    f.header = DataLogger::HeaderText(kTwoChannels);
    return f;
}

// The caller's records, zero-filled, their texts freed at the end.
struct Records {
    std::vector<TDLUFileInfo> r = std::vector<TDLUFileInfo>(TOVAMOD_DLU_MAX_FILES);
    ~Records() {
        for (auto& x : r) z5_dlu_free_texts(&x);
    }
    TDLUFileInfo* data() { return r.data(); }
};

// A firmware part as the update program lends it.
struct PartStream {
    explicit PartStream(size_t n) : bytes(n) {
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    std::vector<uint8_t> bytes;
    size_t pos = 0;
    FirmwareStream stream{this, [](void* c) { return static_cast<int64_t>(static_cast<PartStream*>(c)->bytes.size()); },
                          [](void* c, void* buffer, int32_t count) {
                              auto* s = static_cast<PartStream*>(c);
                              const size_t n = std::min(static_cast<size_t>(count), s->bytes.size() - s->pos);
                              std::copy_n(s->bytes.data() + s->pos, n, static_cast<uint8_t*>(buffer));
                              s->pos += n;
                              return static_cast<int32_t>(n);
                          }};
};

struct Sample {
    int64_t time;
    std::vector<int32_t> values;
    bool operator==(const Sample&) const = default;
};

class LoggerExports : public z5test::LibraryOnBus {
protected:
    void SetUp() override {
        z5::SetTimeScale(0.5);
        LibraryOnBus::SetUp();
        if (HasFatalFailure()) return;
        sim->SetVersion("1.10/3");
        sim->SetFiles({MakeFile("08031501", 1234), MakeFile("08031502", 99)});
        ASSERT_TRUE(bus.Plug(sim));
        ASSERT_TRUE(FindLogger());
    }
    void TearDown() override {
        z5::SetTimeScale(0.05);  // the logger's destruction waits
        LibraryOnBus::TearDown();
    }

    // The logger's device handle and its node's sensor handle once a copy shows them.
    bool FindLogger() {
        return z5test::WaitUntil([&] {
            const THardwareStructure* copy = tovamod_GetHardwareStructure();
            if (!copy || !copy->First || copy->First->Kind != TOVAMOD_KIND_FIELD_PORT || !copy->First->Sensors)
                return false;
            logger = copy->First->Device;
            sensor = copy->First->Sensors->Sensor;
            return true;
        });
    }
    // Starts the download of file index and takes `lines` measurements through the exports.
    std::vector<Sample> Download(Records& records, int32_t index, size_t lines, int32_t channels) {
        std::vector<Sample> out;
        EXPECT_EQ(tovamod_Device_GetDLUValues(logger, records.data(), index), 0);
        EXPECT_TRUE(z5test::WaitUntil(
            [&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= static_cast<int64_t>(lines); }));
        for (size_t i = 0; i < lines; ++i) {
            Sample s{-1, std::vector<int32_t>(static_cast<size_t>(channels), -99)};
            EXPECT_EQ(tovamod_Sensor_ReadRawMeasurement(sensor, &s.time, channels, s.values.data()), 0);
            out.push_back(s);
        }
        return out;
    }

    std::shared_ptr<DataLogger> sim = std::make_shared<DataLogger>(DataLogger::kDescription, "FP1");
    void* logger = nullptr;
    void* sensor = nullptr;
};

TEST_F(LoggerExports, FoundByTheScanAndReachedThroughTheExports) {
    const char* version = nullptr;
    EXPECT_EQ(tovamod_Device_GetVersion(logger, &version), 0);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "1.10/3");

    z5_char16* mac = nullptr;
    tovamod_Device_GetMACExtAddr(logger, &mac);
    ASSERT_NE(mac, nullptr);
    EXPECT_EQ(z5::WideView(mac), u"FFFFFFFFFFFFFFFF");
    z5_wstr_free(mac);

    Records records;
    EXPECT_EQ(tovamod_Device_GetDLUFileData(logger, records.data()), 2);
    EXPECT_STREQ(records.r[0].Name, "08031501");
    EXPECT_EQ(records.r[0].Size, 1234);
    EXPECT_EQ(records.r[0].ChannelCount, 2);
    EXPECT_STREQ(records.r[1].Name, "08031502");
}

TEST_F(LoggerExports, ItsSensorIsOneHandleBothWaysUntilTheLoggerGoes) {
    void* opened = nullptr;
    uint8_t status = 99;
    EXPECT_EQ(tovamod_OpenSensor(logger, 921600, 0, 0, &opened, &status), 0);
    EXPECT_EQ(opened, sensor);
    EXPECT_EQ(status, 0);
    // Index 1 equals the sensor count: no sensor there.
    opened = sensor;
    EXPECT_EQ(tovamod_OpenSensor(logger, 921600, 0, 1, &opened, &status), 0);
    EXPECT_EQ(opened, nullptr);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(tovamod_OpenSensor(logger, 921600, 0, 2, &opened, &status), -1);
    EXPECT_EQ(status, 3);

    EXPECT_EQ(tovamod_Sensor_GetNumMeasureAvailable(sensor), 0);
    const z5_char16* name = nullptr;
    EXPECT_EQ(tovamod_Sensor_GetName(sensor, &name), 0);

    ASSERT_TRUE(bus.Unplug("FP1"));
    ASSERT_TRUE(z5test::WaitUntil([] { return tovamod_GetNumberOfAvailableDevice() == 0; }));
    // Unlisted first, destroyed once the scan has let go of the list.
    EXPECT_TRUE(z5test::WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) == -1; }))
        << "the handle went with its logger";
}

TEST_F(LoggerExports, FileCallsOnALoggerThatIsGoneFail) {
    Records records;
    ASSERT_EQ(tovamod_Device_GetDLUFileData(logger, records.data()), 2);
    // Kept listed: the calls meet the object whose line is gone.
    tovamod_DeactivateDevicesIdentification();
    ASSERT_TRUE(bus.Unplug("FP1"));
    EXPECT_EQ(tovamod_Device_GetDLUFileData(logger, records.data()), -1) << "no reply is no empty directory";
    EXPECT_EQ(tovamod_Device_GetDLUValues(logger, records.data(), 0), -1) << "the download request never went out";
    EXPECT_EQ(tovamod_Sensor_GetNumMeasureAvailable(sensor), 0);
    tovamod_ActivateDevicesIdentification();
    EXPECT_TRUE(z5test::WaitUntil([] { return tovamod_GetNumberOfAvailableDevice() == 0; }));
}

TEST_F(LoggerExports, DownloadReadThroughTheSensorInEachTimeMode) {
    struct Case {
        const char* name;
        int timeMode;
        std::string interval;
        std::vector<DataLogger::Line> lines;
        std::vector<int64_t> times;
    };
    const std::vector<Case> cases = {
        {"mode 0: line number times the interval", 0, "0250",
         {{"", {"1,5", "2"}}, {"", {"3", "-0,5"}}, {"", {"x", "4"}}}, {0, 250, 500}},
        {"mode 1: seconds since the start", 1, "0000",
         {{"10:00:05", {"1,5", "2"}}, {"10:01:00", {"3", "-0,5"}}, {"10:00:00", {"x", "4"}}}, {5, 60, 0}},
        {"mode 2: the time field plus 1", 2, "0000",
         {{"7", {"1,5", "2"}}, {"9", {"3", "-0,5"}}, {"20", {"x", "4"}}}, {8, 10, 21}},
        {"mode 3: the line number", 3, "0250",
         {{"", {"1,5", "2"}}, {"", {"3", "-0,5"}}, {"", {"x", "4"}}}, {0, 1, 2}},
    };
    const std::vector<std::vector<int32_t>> values = {{1500, 2000}, {3000, -500}, {0, 4000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DataLogger::File f = MakeFile("08031501", 99);
        f.startTime = "10:00:00";
        f.timeMode = c.timeMode;
        f.interval = c.interval;
        f.lines = c.lines;
        sim->SetFiles({f});
        Records records;
        ASSERT_EQ(tovamod_Device_GetDLUFileData(logger, records.data()), 1);
        const auto samples = Download(records, 0, 3, 2);
        ASSERT_EQ(samples.size(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(samples[i], (Sample{c.times[i], values[i]})) << i;
        int64_t time = -7;
        int32_t untouched[2] = {-7, -7};
        EXPECT_EQ(tovamod_Sensor_ReadRawMeasurement(sensor, &time, 2, untouched), -1) << "read empty";
        EXPECT_EQ(time, -7);
        EXPECT_EQ(tovamod_Sensor_GetNumMeasureAvailable(sensor), 0);
    }
}

TEST_F(LoggerExports, LatestValuesThroughTheSensor) {
    sim->SetLatest("12\t-3\t7\t\r");
    int32_t values[3] = {};
    sim->ClearReceived();
    EXPECT_EQ(tovamod_Sensor_ReadLatestMeasurement(sensor, 3, values, 0), 0);
    EXPECT_EQ(std::vector<int32_t>(values, values + 3), (std::vector<int32_t>{12, -3, 7}));
    const z5sim::Bytes request{0x7D, 0x03, 'X', 0xFE, 0xFF, 0x7E};
    EXPECT_EQ(sim->ReceivedFrames(), std::vector<z5sim::Bytes>{request});
}

// Directory and header replies that start later than one read time-out (100 ms)
// but within the reply wait (500 ms) are read whole.
TEST_F(LoggerExports, ALoggerSlowerThanOneReadTimeOutStillListsItsFiles) {
    tovamod_DeactivateDevicesIdentification();
    sim->PushFault(Fault::Late(300).OnCommand('T'));
    sim->PushFault(Fault::Late(300).OnCommand('U'));
    sim->PushFault(Fault::Late(300).OnCommand('U'));
    Records records;
    EXPECT_EQ(tovamod_Device_GetDLUFileData(logger, records.data()), 2);
    EXPECT_EQ(sim->PendingFaults(), 0u);
    EXPECT_STREQ(records.r[1].Name, "08031502");
    EXPECT_EQ(records.r[0].Valid, 1);
    EXPECT_EQ(records.r[1].Valid, 1);
    EXPECT_STREQ(records.r[1].Line1, "Lab 3");
    tovamod_ActivateDevicesIdentification();
}

// The frame replies end with their frame, also when the line cuts it: each exchange
// takes less protocol time than the one read time-out (100 ms) that a read until the
// line is quiet costs. At this scale a read time-out lasts 5 s, far beyond what a
// loaded machine delays a reply.
TEST_F(LoggerExports, FrameRepliesEndWithTheirFrame) {
    tovamod_DeactivateDevicesIdentification();
    sim->PushFault(Fault::Split(4, 20).OnCommand('P'));
    sim->PushFault(Fault::Split(3, 20).OnCommand(0x22).Skip(1));
    constexpr uint32_t kReadTimeOutMs = 100;
    PartStream part(450);
    FirmwareStream* holder = &part.stream;
    const uint8_t hardware[] = {2};
    const auto crc = static_cast<int32_t>(DataLogger::Crc32(part.bytes));
    const std::vector<std::pair<const char*, std::function<int32_t()>>> exchanges = {
        {"'P'", [&] { return tovamod_Device_SendCmdAndGetResponse(logger, "0017,1,\r", 0); }},
        {"'S'", [&] { return tovamod_Device_SendCmdAndGetResponse(logger, "0018,1,\r", 0); }},
        {"update start", [&] { return tovamod_Device_Update_Start(logger, 0, 0x0109, 1, 1, 450, 3, 1, hardware); }},
        {"three blocks together", [&] { return tovamod_Device_Update(logger, 0, 1, &holder); }},
        {"update finish", [&] { return tovamod_Device_Update_Finish(logger, 0, crc); }},
    };
    z5::SetTimeScale(50);
    for (const auto& [name, exchange] : exchanges) {
        SCOPED_TRACE(name);
        const uint32_t start = z5::Tick();
        EXPECT_EQ(exchange(), 0);
        EXPECT_LT(z5::TicksSince(start), kReadTimeOutMs) << "a read time-out was waited out";
    }
    z5::SetTimeScale(0.5);

    EXPECT_EQ(sim->PendingFaults(), 0u);
    const auto fw = sim->GetFirmware();
    EXPECT_EQ(fw.blockOffsets, (std::vector<uint32_t>{0, 200, 400})) << "each block once";
    EXPECT_TRUE(fw.crcMatched);
    tovamod_ActivateDevicesIdentification();
}

}  // namespace
