// The speed of light meter against its model: parameter 9 as sample period and
// time base of its stream, latest values and zeroing at address 0, and its
// firmware update with the second confirmation and the closing frame.
#include <algorithm>
#include <array>

#include "../firmware/firmware_support.h"
#include "instruments_support.h"
#include "uSpeedofLight.h"

using namespace instruments_test;

namespace {

const Bytes kClosing{0x7D, 0x03, 0x28, 0x00, 0x00, 0x7E};

class LightSpeedMeter : public Library {
protected:
    void SetUp() override {
        Library::SetUp();
        auto found = PlugAndFind(model);
        ASSERT_TRUE(found);
        device = found->device;
        sensor = found->sensors[0].sensor;
        tovamod_DeactivateDevicesIdentification();
    }
    int32_t SamplePeriod2() { return static_cast<TTemplateSensors*>(sensor)->GetSamplePeriod2(); }

    // One part through the three exports, as the program sends it.
    struct Result {
        int32_t start, blocks, finish;
    };
    Result Update(const Bytes& image) {
        const uint8_t hardware[] = {1};
        Result r{};
        r.start = tovamod_Device_Update_Start(device, 0, 0x0105, 1, 1, static_cast<int32_t>(image.size()),
                                              z5sim::LightSpeedMeter::kDeviceClass, 1, hardware);
        if (r.start != 0) return r;
        firmware_test::VectorStream stream(image);
        r.blocks = tovamod_Device_Update(device, 0, 1, &stream.holder);
        if (r.blocks != 0) return r;
        r.finish = tovamod_Device_Update_Finish(device, 0, static_cast<int32_t>(z5sim::FirmwareCrc32(image)));
        return r;
    }

    std::shared_ptr<z5sim::LightSpeedMeter> model = std::make_shared<z5sim::LightSpeedMeter>();
    void* device = nullptr;
    void* sensor = nullptr;
};

TEST_F(LightSpeedMeter, MeasurementsLandInItsSensorWithTheWrittenSamplePeriod) {
    EXPECT_EQ(SamplePeriod2(), 0);
    ASSERT_EQ(tovamod_Device_SetRTUUParam(device, 9, 4, 5), 0);
    EXPECT_EQ(SamplePeriod2(), 5);
    EXPECT_EQ(model->GetParam(9)->value, 5u);

    // A failed write changes neither the period nor the time base.
    model->PushFault(z5sim::Fault::NoAnswer());
    EXPECT_EQ(tovamod_Device_SetRTUUParam(device, 9, 4, 7), -1);
    EXPECT_EQ(SamplePeriod2(), 5);

    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= 3; }));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), 0);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
    std::vector<int64_t> times;
    std::array<int32_t, 2> values{};
    int64_t time = 0;
    while (tovamod_Sensor_ReadRawMeasurement(sensor, &time, 2, values.data()) == 0) {
        EXPECT_EQ(values, (std::array<int32_t, 2>{300, 400}));
        times.push_back(time);
    }
    ASSERT_GE(times.size(), 3u);
    for (size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], 5 * static_cast<int64_t>(i)) << "time count x 5";
}

// A command while the meter streams: its reply is found behind the stream's frames,
// and the stream goes on into the sensor.
TEST_F(LightSpeedMeter, ACommandWhileItStreamsFindsItsReplyAmongTheFrames) {
    // Replies come at once; the 500 ms reply wait runs in real time so that a busy
    // machine does not outlast it. The stream's 20 ms period is real time then too.
    firmware_test::ScopedTimeScale scale(1.0);
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= 2; }));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0020,1,\r", 0), 0);
    const int64_t before = tovamod_Sensor_GetNumMeasureAvailable(sensor);
    EXPECT_TRUE(WaitUntil([&] { return tovamod_Sensor_GetNumMeasureAvailable(sensor) >= before + 3; }));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), 0);
}

TEST_F(LightSpeedMeter, LatestValuesAndZeroingGoToTheMeterItself) {
    model->SetLatest({1234, 5678});
    model->ClearReceived();
    std::array<int32_t, 2> values{};
    ASSERT_EQ(tovamod_Sensor_ReadLatestMeasurement(sensor, 2, values.data(), 0), 0);
    EXPECT_EQ(values, (std::array<int32_t, 2>{1234, 5678}));
    EXPECT_EQ(FramesOf(*model, 0x01).at(0)[3], 0) << "address 0, although the sensor's is 1";

    EXPECT_EQ(tovamod_Sensor_SetValueToZero(sensor, 77), 0);
    EXPECT_EQ(FramesOf(*model, 0x4B), (std::vector<Bytes>{{0x7D, 0x03, 0x4B, 0x00, 0x00, 0x7E}}));
    model->PushFault(z5sim::Fault::NoAnswer());
    EXPECT_EQ(tovamod_Sensor_SetValueToZero(sensor, 0), -1);
    EXPECT_EQ(model->ZeroRequests(), 2u);
}

TEST_F(LightSpeedMeter, UpdateEndToEnd) {
    const Bytes image = firmware_test::Pattern(1050);
    model->ClearReceived();
    const Result r = Update(image);
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.blocks, 0);
    EXPECT_EQ(r.finish, 0);
    const auto part = model->Firmware().LastPart();
    EXPECT_TRUE(part.crcMatched);
    EXPECT_EQ(part.blockOffsets, (std::vector<uint32_t>{0, 200, 400, 600, 800, 1000}));
    EXPECT_EQ(part.blockLengths, (std::vector<size_t>{200, 200, 200, 200, 200, 50}));
    ASSERT_TRUE(WaitUntil([&] { return model->ClosingFrames() == 1; }));
    EXPECT_EQ(model->ReceivedFrames().back(), kClosing);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(device, 1), 0x0105);
}

TEST_F(LightSpeedMeter, TheSecondConfirmationDecidesTheClosingFrame) {
    struct Case {
        const char* name;
        uint32_t delayMs;  // protocol ms after the first acknowledgement
        std::optional<uint8_t> refusal;
        bool silent;
        int32_t result;
        unsigned closing;
        double scale;
    };
    // "Right behind" is 20 ms against the 500 ms reply waits: run in real time, so
    // that the waits hold on a busy machine. "Later" is 4 s against the 15 s wait
    // for the second confirmation: a fifth of real time keeps 2.2 s of margin.
    const Case cases[] = {
        {"right behind the first", 20, std::nullopt, false, 0, 1, 1.0},
        {"seconds later", 4000, std::nullopt, false, 0, 1, 0.2},
        {"none within 15 s", 0, std::nullopt, true, 0, 1, 0.2},
        {"refused right behind", 20, uint8_t{5}, false, 5, 0, 1.0},
        {"refused later", 4000, uint8_t{3}, false, 3, 0, 0.2},
    };
    unsigned closing = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        firmware_test::ScopedTimeScale scale(c.scale);
        model->SetSecondConfirmation(c.delayMs, c.refusal, c.silent);
        EXPECT_EQ(Update(firmware_test::Pattern(300)).finish, c.result);
        closing += c.closing;
        // The model reads the closing frame on its own thread; the next part's start
        // frame comes behind it on the line, so a frame too many shows in the count
        // once the next part has been answered.
        ASSERT_TRUE(z5test::WaitUntil([&] { return model->ClosingFrames() >= closing; }));
        EXPECT_EQ(model->ClosingFrames(), closing);
    }
    // A last start frame, answered behind any closing frame still on its way.
    const uint8_t hardware[] = {1};
    EXPECT_EQ(tovamod_Device_Update_Start(device, 0, 0x0105, 1, 1, 10, z5sim::LightSpeedMeter::kDeviceClass, 1, hardware), 0);
    EXPECT_EQ(model->ClosingFrames(), closing);
}

TEST_F(LightSpeedMeter, ARefusedBlockEndsAtItsFirstFailureWithTheErrorByte) {
    model->Firmware().RefuseBlocks(1, 4);
    const Result r = Update(firmware_test::Pattern(1000));
    EXPECT_EQ(r.start, 0);
    EXPECT_EQ(r.blocks, 4);
    EXPECT_EQ(model->Firmware().BlockFrames(), 1u) << "one attempt per block";
}

TEST_F(LightSpeedMeter, AStopThatCannotGoOutFailsAndStillEndsTheStream) {
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), 0);
    ASSERT_EQ(tovamod_DevicesInMeasureMode(), 1);
    ASSERT_TRUE(bus.Unplug(model->Serial()));
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), -1);
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
}

TEST_F(LightSpeedMeter, AStartWithoutAnyAnswerFails) {
    model->Firmware().SetSilent(true);
    EXPECT_EQ(Update(firmware_test::Pattern(10)).start, -1);
}

}  // namespace
