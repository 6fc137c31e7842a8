// The Desk-Port's wired unit against its model: the stream into the unit's queue,
// a new unit's identity and channel count, refreshes whose reads fail, and the
// measurement's flag, notification and sample period through the exports.
#include <array>
#include <atomic>
#include <cstdlib>
#include <memory>

#include "instruments_support.h"
#include "z5sim_deskport.h"

using namespace instruments_test;

namespace {

constexpr uint8_t kReadParam = 0x12, kReadEEPROM = 0x42;

// Drops the answers to reads of (cmd, address, id) while `on`.
void DropReads(z5sim::Device& model, uint8_t cmd, uint16_t address, uint8_t id, std::atomic<bool>& on) {
    model.SetHook([cmd, address, id, &on](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>&) {
        const Bytes p = m.Payload();
        return on.load() && m.Cmd() == cmd && m.Address() == address && p.size() == 3 && p[2] == id;
    });
}

class DeskPort : public Library {
protected:
    std::shared_ptr<z5sim::DeskPort> model = std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", "DP1");
    std::atomic<bool> dropping{true};
};

TEST_F(DeskPort, StreamsTheWiredUnitsMeasurementsIntoItsQueue) {
    auto found = PlugAndFind(model);
    ASSERT_TRUE(found);
    void* sensor = found->sensors[0].sensor;
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(found->device, "0005,1,\r", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= 3; }));
    std::array<int32_t, 2> values{};
    int64_t time = -1;
    ASSERT_EQ(tovamod_Sensor_ReadRawMeasurement(sensor, &time, 2, values.data()), 0);
    EXPECT_EQ(values, (std::array<int32_t, 2>{100, 200}));
    // Scans meanwhile ask nothing that would read stream bytes away.
    const size_t reads = FramesOf(*model, kReadParam).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(FramesOf(*model, kReadParam).size(), reads);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(found->device, "0006,1,\r", 0), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
}

TEST_F(DeskPort, NoNodeWhileTheHardwareKindDoesNotAnswer) {
    DropReads(*model, kReadParam, 0, 11, dropping);
    ASSERT_TRUE(bus.Plug(model));
    ASSERT_TRUE(WaitUntil([&] { return FramesOf(*model, kReadParam).size() >= 12; })) << "three refreshes";
    auto found = WaitForNode(0);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->sensors.empty());
    dropping = false;
    EXPECT_TRUE(WaitForNode(1));
}

TEST_F(DeskPort, AFailedChannelMaskReadMakesNoUnit) {
    // A failed read (-1) would otherwise give 8 channels, past the parser's arrays.
    DropReads(*model, kReadParam, 1, 28, dropping);
    ASSERT_TRUE(bus.Plug(model));
    ASSERT_TRUE(WaitUntil([&] { return FramesOf(*model, kReadParam).size() >= 20; }));
    auto found = WaitForNode(0);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->sensors.empty());
    dropping = false;
    found = WaitForNode(1);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->sensors[0], (SensorValue{0, 1, 7, 0, 0, 0, 2}));
}

TEST_F(DeskPort, ANewUnitGetsItsIdentityAndChannelsAFailedReadKeepsThem) {
    auto found = PlugAndFind(model);
    ASSERT_TRUE(found);
    void* sensor = found->sensors[0].sensor;

    DropReads(*model, kReadEEPROM, 1, 1, dropping);
    model->ClearReceived();
    ASSERT_TRUE(WaitUntil([&] { return FramesOf(*model, kReadEEPROM).size() >= 8; }));
    found = WaitForNode(1);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->sensors[0].identity, 7) << "a failed identity read changes nothing";

    model->SetSensorValue(1, 1, 1, 9);
    model->SetParam(1, 28, 1, 0x0F);
    model->SetParam(1, 22, 2, 1234);
    dropping = false;
    ASSERT_TRUE(WaitUntil([&] {
        auto f = WaitForNode(1);
        return f && f->sensors[0].identity == 9 && f->sensors[0].value3 == 1234;
    }));
    found = WaitForNode(1);
    EXPECT_EQ(found->sensors[0], (SensorValue{0, 1, 9, 0, 0, 1234, 4}));
    EXPECT_EQ(found->sensors[0].sensor, sensor) << "the same sensor object";
}

// The unit's reads at creation, in order: its identity (sensor EEPROM 1), then
// parameter 22, then the channel mask (parameter 28).
TEST_F(DeskPort, ANewUnitIsReadIdentityFirstThenParameter22ThenTheChannelMask) {
    ASSERT_TRUE(PlugAndFind(model));
    std::vector<std::pair<uint8_t, uint8_t>> unitReads;  // (cmd, id) at address 1
    for (const Bytes& f : model->ReceivedFrames())
        if (f.size() == 7 && (f[2] == kReadParam || f[2] == kReadEEPROM) && f[3] == 1 && f[4] == 0)
            unitReads.emplace_back(f[2], f[5]);
    ASSERT_GE(unitReads.size(), 3u);
    EXPECT_EQ(std::vector(unitReads.begin(), unitReads.begin() + 3),
              (std::vector<std::pair<uint8_t, uint8_t>>{{kReadEEPROM, 1}, {kReadParam, 22}, {kReadParam, 28}}));
}

// A start on a closed line sets nothing; a stop that cannot go out still clears
// what the start set, so the library is not left in measure mode.
TEST_F(DeskPort, MeasureModeFollowsStartAndStopAlsoOnAClosedLine) {
    auto found = PlugAndFind(model);
    ASSERT_TRUE(found);
    tovamod_DeactivateDevicesIdentification();
    void* device = found->device;
    void* sensor = nullptr;
    uint8_t status = 3;

    tovamod_CloseDevice(device);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), -1);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0) << "a start that failed sets nothing";

    ASSERT_EQ(tovamod_OpenSensor(device, 921600, 0, 0, &sensor, &status), 0);  // opens the line again
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 1);
    tovamod_CloseDevice(device);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), -1) << "nothing went out";
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);

    // The unit never heard the stop and still streams: on the reopened line the
    // stop goes out, and a new start works.
    ASSERT_EQ(tovamod_OpenSensor(device, 921600, 0, 0, &sensor, &status), 0);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), 0);
    EXPECT_TRUE(WaitUntil([&] { return !model->Measuring(); }));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 1);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
    tovamod_ActivateDevicesIdentification();
}

struct Notifications {
    std::atomic<int> count{0};
    static void Handler(void* context, pOnChangeData* record) {
        std::free(*record);
        ++static_cast<Notifications*>(context)->count;
    }
};

// A short frame '8' that ends a batch notifies the client while a measurement runs.
TEST_F(DeskPort, AShortFrameNotifiesDuringAMeasurement) {
    auto found = PlugAndFind(model);
    ASSERT_TRUE(found);
    tovamod_DeactivateDevicesIdentification();
    model->SetStreamPeriod(5000);  // the stream keeps out of the short frames' batches
    Notifications n;
    const TonProcessData handler{Notifications::Handler, &n};
    tovamod_getProcessData(&handler);
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(found->device, "0005,1,\r", 0), 0);
    ASSERT_EQ(tovamod_DevicesInMeasureMode(), 1);
    const Bytes shortFrame{0x7D, 0x03, 0x38, 0x01, 0x00, 0x7E};
    // The first frame after the start ends the reader's hold; each one after it notifies.
    EXPECT_TRUE(WaitUntil(
        [&] {
            model->Send(shortFrame);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            return n.count.load() > 0;
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(found->device, "0006,1,\r", 0), 0);
    const TonProcessData none{nullptr, nullptr};
    tovamod_getProcessData(&none);
    tovamod_ActivateDevicesIdentification();
}

// The sample period is kept, and counts in the samples' times, only once the unit
// has taken it.
TEST_F(DeskPort, ASamplePeriodTheUnitRefusedIsNotReported) {
    auto found = PlugAndFind(model);
    ASSERT_TRUE(found);
    tovamod_DeactivateDevicesIdentification();
    void* sensor = found->sensors[0].sensor;
    // The simulator's thread may still call the hook after the test body (at the
    // library's close), so the hook owns its flag.
    auto refusing = std::make_shared<std::atomic<bool>>(true);
    model->SetHook([refusing](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>&) {
        return refusing->load() && m.Cmd() == 0x11 && m.Address() == 1;  // parameter writes go unanswered
    });
    EXPECT_EQ(tovamod_Sensor_SetSamplePeriode(sensor, 2, 40), -1);
    EXPECT_EQ(tovamod_Sensor_SetSamplePeriode(sensor, 1, 40), -1);
    *refusing = false;
    EXPECT_EQ(tovamod_Sensor_SetSamplePeriode(sensor, 2, 30), 30);

    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(found->device, "0005,1,\r", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= 2; }));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(found->device, "0006,1,\r", 0), 0);
    int64_t first = -1, second = -1;
    std::array<int32_t, 2> values{};
    ASSERT_EQ(tovamod_Sensor_ReadRawMeasurement(sensor, &first, 2, values.data()), 0);
    ASSERT_EQ(tovamod_Sensor_ReadRawMeasurement(sensor, &second, 2, values.data()), 0);
    EXPECT_EQ(second - first, 30) << "the period the unit took";
    tovamod_ActivateDevicesIdentification();
}

}  // namespace
