// The Desk-Port's wired unit against its model: the stream into the unit's queue,
// a new unit's identity and channel count, and refreshes whose reads fail.
#include <array>
#include <atomic>

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

}  // namespace
