// The X-ray unit through the scan and the exports against its model: its node,
// name and sensor, its three commands, the parameters of the options dialog, and
// its sensor's latest values.
#include <array>
#include <cstdint>

#include "instruments_support.h"
#include "uXray.h"
#include "z5sim_fault.h"

using namespace instruments_test;

namespace {

class XRayUnit : public Library {
protected:
    void SetUp() override {
        Library::SetUp();
        auto found = PlugAndFind(model);
        ASSERT_TRUE(found);
        node = *found;
    }
    std::shared_ptr<z5sim::XRay> model = std::make_shared<z5sim::XRay>(z5sim::XRay::kDescription, "XR1");
    Found node;
};

TEST_F(XRayUnit, FoundWithItsNameTypeAndOneSensor) {
    EXPECT_EQ(node.kind, TOVAMOD_KIND_XRAY);
    EXPECT_EQ(FirstDeviceName(), u"DDS");
    EXPECT_EQ(static_cast<TTemplateDevices*>(node.device)->GetTyp(), 10);
    ASSERT_EQ(node.sensors.size(), 1u);
    EXPECT_EQ(node.sensors[0], (SensorValue{10, 1, -1, 0, 0, 0, 5}));

    void* sensor = nullptr;
    uint8_t status = 0;
    EXPECT_EQ(tovamod_OpenSensor(node.device, 921600, 0, 0, &sensor, &status), 0);
    EXPECT_EQ(sensor, node.sensors[0].sensor);
    EXPECT_EQ(status, 10) << "the sensor's kind byte";
}

TEST_F(XRayUnit, EachCommandSendsItsFrameWithTheValueByte) {
    RunCommands(*model, node.device,
                {
                    {"0017,5,\r", {0x7D, 0x04, 0x2A, 0x00, 0x00, 0x05, 0x7E}, 0},
                    {"0018,300,\r", {0x7D, 0x04, 0x2B, 0x00, 0x00, 0x2C, 0x7E}, 0},  // the low byte
                    {"0019,0,\r", {0x7D, 0x04, 0x2C, 0x00, 0x00, 0x00, 0x7E}, 0},
                    {"0019,\r", {0x7D, 0x04, 0x2C, 0x00, 0x00, 0x00, 0x7E}, 0},  // a missing value is 0
                    {"0020,1,\r", {}, -1},
                    {"0005,1,\r", {}, -1},
                    {"0017,5,", {}, -1},  // no carriage return
                    {"00x7,5,\r", {}, -1},
                });
    EXPECT_EQ(model->Commands().size(), 4u);
}

TEST_F(XRayUnit, OnlyAFreshReplyWithTheExpectedCodeCounts) {
    tovamod_DeactivateDevicesIdentification();
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0017,1,\r", 0), 0);
    // The valid reply of the first exchange is still in the shared buffer: no reply is no success.
    model->PushFault(z5sim::Fault::NoAnswer());
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0018,1,\r", 0), -1);
    model->PushFault(z5sim::Fault::WrongCommand(0x1C));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0018,1,\r", 0), -1);
    model->PushFault(z5sim::Fault::Split(3, 100));  // cut after 3 bytes, the rest 100 ms later
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0019,1,\r", 0), 0) << "the whole reply in two reads";
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0019,1,\r", 0), 0);
}

TEST_F(XRayUnit, LimitsReadAndWriteAsTwoByteParameters) {
    tovamod_DeactivateDevicesIdentification();
    EXPECT_EQ(tovamod_Device_GetRTUUParam(node.device, 32), 350);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(node.device, 33), 100);
    model->ClearReceived();
    EXPECT_EQ(tovamod_Device_SetRTUUParam(node.device, 32, 2, 0x0412), 0);
    EXPECT_EQ(FramesOf(*model, 0x11), (std::vector<Bytes>{{0x7D, 0x06, 0x11, 0x00, 0x00, 32, 0x12, 0x04, 0x7E}}));
    EXPECT_EQ(tovamod_Device_SetRTUUParam(node.device, 33, 2, 80), 0);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(node.device, 32), 0x0412);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(node.device, 33), 80);
    EXPECT_EQ(model->GetParam(32)->value, 0x0412u);
}

TEST_F(XRayUnit, TheSensorReadsTheLatestValuesAtItsAddress) {
    tovamod_DeactivateDevicesIdentification();
    model->EditUnit(1, [](z5sim::RadioUnit& u) { u.latest = {{11, 12, 13, 14, 15}}; });
    model->ClearReceived();
    std::array<int32_t, 5> values{};
    ASSERT_EQ(tovamod_Sensor_ReadLatestMeasurement(node.sensors[0].sensor, 5, values.data(), 0), 0);
    EXPECT_EQ(values, (std::array<int32_t, 5>{11, 12, 13, 14, 15}));
    const auto frames = FramesOf(*model, 0x01);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][3], 1) << "address 1";
}

// A reply that does not carry every value asked fails, however large the count.
TEST_F(XRayUnit, ACountBeyondTheReplyFailsAndWritesNothing) {
    tovamod_DeactivateDevicesIdentification();
    model->EditUnit(1, [](z5sim::RadioUnit& u) { u.latest = {{11, 12, 13, 14, 15}}; });
    for (int32_t count : {6, 0x40000000, 0x7FFFFFFE, INT32_MAX}) {
        SCOPED_TRACE(count);
        std::array<int32_t, 8> values;
        values.fill(-5);
        EXPECT_EQ(tovamod_Sensor_ReadLatestMeasurement(node.sensors[0].sensor, count, values.data(), 0), -1);
        EXPECT_EQ(values, (std::array<int32_t, 8>{-5, -5, -5, -5, -5, -5, -5, -5}));
    }
}

TEST_F(XRayUnit, TheSensorNodeIsMadeOnce) {
    // Further scans keep the node and its sensor.
    const uint64_t before = model->ReceivedFrames().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto again = WaitForNode(1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->sensors[0].sensor, node.sensors[0].sensor);
    EXPECT_EQ(model->ReceivedFrames().size(), before) << "its refresh asks nothing";
}

}  // namespace
