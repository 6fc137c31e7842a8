// The function generator against its model: the 'M' of its open and the 'N' of
// its destruction, the program's exit commands, its parameters at 0x0100 and the
// stream that codes 22 and 23 start and stop.
#include <array>

#include "instruments_support.h"

using namespace instruments_test;

namespace {

const Bytes kOpen{0x7D, 0x03, 'M', 0x00, 0x01, 0x7E};
const Bytes kClose{0x7D, 0x03, 'N', 0x00, 0x01, 0x7E};

class FunctionGenerator : public Library {
protected:
    void SetUp() override {
        Library::SetUp();
        auto found = PlugAndFind(model);
        ASSERT_TRUE(found);
        node = *found;
        tovamod_DeactivateDevicesIdentification();
    }
    std::shared_ptr<z5sim::FunctionGenerator> model = std::make_shared<z5sim::FunctionGenerator>();
    Found node;
};

TEST_F(FunctionGenerator, OpenSendsMAndTheEndSendsNWhileTheLineIsOpen) {
    ASSERT_FALSE(FramesOf(*model, 'M').empty());
    EXPECT_EQ(FramesOf(*model, 'M').front(), kOpen);
    EXPECT_TRUE(FramesOf(*model, 'N').empty());
    model->ClearReceived();
    ASSERT_EQ(tovamod_uninit(), 0);
    EXPECT_EQ(FramesOf(*model, 'N'), std::vector<Bytes>{kClose}) << "sent before the line closed";
    ASSERT_EQ(tovamod_init(), 0);  // for TearDown
}

TEST_F(FunctionGenerator, TheProgramsExitCommandsReachIt) {
    model->ClearCommands();
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0018,1,\r", 0), 0);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0025,1,\r", 0), 0);
    const auto commands = model->Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], (z5sim::InstrumentCommand{'N', 0x100, {}}));
    EXPECT_EQ(commands[1], (z5sim::InstrumentCommand{'T', 0x100, {}}));
}

TEST_F(FunctionGenerator, ParametersLiveAtAddress0x0100) {
    model->ClearReceived();
    EXPECT_EQ(tovamod_Device_GetRTUUParam(node.device, 1), 0x0102);
    EXPECT_EQ(tovamod_Device_SetRTUUParam(node.device, 5, 1, 7), 0);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(node.device, 5), 7);
    for (const Bytes& f : model->ReceivedFrames()) EXPECT_EQ(f[3] | f[4] << 8, 0x100);
    EXPECT_EQ(model->Unit(0x100)->params.at(5).value, 7u);
    EXPECT_NE(model->GetParam(5)->value, 7u) << "not the parameter at address 0";
}

TEST_F(FunctionGenerator, Code22StartsAndCode23StopsTheStream) {
    void* sensor = node.sensors[0].sensor;
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0022,1,\r", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= 3; }));
    std::array<int32_t, 5> values{};
    int64_t time = -1;
    ASSERT_EQ(tovamod_Sensor_ReadRawMeasurement(sensor, &time, 5, values.data()), 0);
    EXPECT_EQ(values, (std::array<int32_t, 5>{1, 2, 3, 4, 5}));
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0023,1,\r", 0), 0);
    // A stream frame may end the command's read before the model has taken the stop.
    EXPECT_TRUE(WaitUntil([&] { return !model->Measuring(); }, std::chrono::seconds(2)));
}

TEST_F(FunctionGenerator, Code22StartsTheReaderEvenWithoutAReply) {
    void* sensor = node.sensors[0].sensor;
    model->PushFault(z5sim::Fault::NoAnswer());
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0022,1,\r", 0), -1);
    model->SetMeasuring(true);  // the generator streams all the same
    EXPECT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= 1; }));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(node.device, "0023,1,\r", 0), 0);
}

}  // namespace
