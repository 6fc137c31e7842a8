// Abstract device and sensor classes: failure values of the base operations,
// the measurement queue and the destruction protocol.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "uTemplateDevices.h"
#include "uTemplateSensors.h"

TEST(TemplateDevices, BaseOperationsAnswerFailureValues) {
    TTemplateDevices d;
    EXPECT_FALSE(d.IsDestroying);
    int32_t values[4] = {7, 7, 7, 7};
    int32_t reply = 5;
    uint8_t hardware[1] = {3};
    TDeviceStructure node{};
    EXPECT_EQ(d.GetReaderPending(), -1);
    EXPECT_EQ(d.GetTyp(), -1);
    std::u16string name = u"kept";
    d.GetName(name);
    EXPECT_EQ(name, u"kept");
    EXPECT_EQ(d.GetVersion(), "");
    EXPECT_EQ(d.GetMaxSensors(), -1);
    d.SetSerialNo("FT1");
    EXPECT_EQ(d.GetSerialNo(), "");
    EXPECT_EQ(d.GetHandle(), nullptr);
    EXPECT_EQ(d.GetSensor(0), nullptr);
    EXPECT_EQ(d.FindSensorByAddress(1), nullptr);
    EXPECT_EQ(d.SendCmdAndGetResponse("0025,1,\r", reply), -1);
    EXPECT_EQ(reply, 5);
    EXPECT_EQ(d.ReadLatest(1, 4, values, 0), -1);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(d.OpenDevice(921600, 0), -1);
    EXPECT_EQ(d.CloseDevice(), -1);
    EXPECT_EQ(d.GetSensorCount(), -1);
    EXPECT_EQ(d.UpdateStart(0, 0x0102, 1, 1, 100, 4, 1, hardware), -1);
    EXPECT_EQ(d.UpdateFinish(0, 0xDEADBEEFu), -1);
    EXPECT_EQ(d.UpdateBlocks(0, 1, nullptr), -1);
    EXPECT_EQ(d.SetRTUUParam(6, 1, 3), -1);
    EXPECT_EQ(d.GetRTUUParam(6), -1);
    EXPECT_EQ(d.GetRTUUParams(nullptr), -1);
    EXPECT_EQ(d.GetDLUFileData(nullptr), -1);
    EXPECT_FALSE(d.RefreshSensors(&node));
    EXPECT_EQ(node.Sensors, nullptr);
    EXPECT_EQ(d.GetDLUValues(nullptr, 0), -1);
}

TEST(TemplateSensors, BaseOperationsAnswerFailureValues) {
    TTemplateSensors s;
    int32_t values[2] = {7, 7};
    float cal[TTemplateSensors::kCalibrationValues] = {};
    EXPECT_EQ(s.GetName(), u"");
    EXPECT_EQ(s.GetNumMeasureAvailable(), 0);
    EXPECT_EQ(s.GetChannelCount(), -1);
    s.SetSamplePeriod1(10);
    EXPECT_EQ(s.GetSamplePeriod1(), -1);
    s.SetSamplePeriod2(2000);
    EXPECT_EQ(s.GetSamplePeriod2(), -1);
    s.SetParam20(3);
    EXPECT_EQ(s.GetParam20(), -1);
    EXPECT_EQ(s.GetDeviceParam4(), -1);
    s.SetChannelCount(2);
    EXPECT_EQ(s.GetChannelCount(), -1);
    EXPECT_EQ(s.ReadLatestMeasurement(2, values, 0), -1);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(s.SetRtcuParam(8, 2, 10), -1);
    EXPECT_EQ(s.GetRtcuParam(8), -1);
    EXPECT_EQ(s.GetMACExtAddr(), u"");
    EXPECT_EQ(s.GetRTCUParams(nullptr), -1);
    EXPECT_EQ(s.SetRcuParam(6, 1, 99), -1);
    EXPECT_EQ(s.GetRcuParam(4), -1);
    EXPECT_EQ(s.SetEEPROMData(1, 4, 5), -1);
    EXPECT_EQ(s.SetEEPROMDataCal(18, 1.5f), -1);
    EXPECT_EQ(s.SetEEPROMDataTrim(33, 1.5f), -1);
    EXPECT_EQ(s.GetSUParam(1), -1);
    EXPECT_EQ(s.GetEEPROMData(1, nullptr, cal, nullptr), -1);
    EXPECT_EQ(s.SetRange(1, 2), -1);
    EXPECT_EQ(s.GetRange(1), -1);
    EXPECT_EQ(s.SetCommand(1, 2), -1);
    EXPECT_EQ(s.SetValueToZero(1), -1);
}

TEST(TemplateSensors, AccessorsStartAtDefaults) {
    TTemplateSensors s;
    EXPECT_EQ(s.GetAddress(), 0);
    EXPECT_EQ(s.GetKind(), 0);
    EXPECT_EQ(s.GetMACText(), u"");
    EXPECT_FALSE(s.GetIsDestroying());
    s.SetAddress(98);
    s.SetKind(10);
    s.SetMACText(u"0123456789ABCDEF");
    EXPECT_EQ(s.GetAddress(), 98);
    EXPECT_EQ(s.GetKind(), 10);
    EXPECT_EQ(s.GetMACText(), u"0123456789ABCDEF");
}

namespace {

struct Queue : ::testing::Test {
    TTemplateSensors s;
    int64_t time = -5;
    std::array<int32_t, 6> out{};
    void SetUp() override { out.fill(-7); }
    int32_t Read(int32_t count) { return s.ReadRawMeasurement(&time, count, out.data()); }
};

}  // namespace

TEST_F(Queue, ReadsInAppendOrderThenEmpty) {
    s.AddMeasurement(2, IntArray{1, 2}, 100);
    s.AddMeasurement(2, IntArray{3, 4}, 200);
    s.AddMeasurement(2, IntArray{5, 6}, 300);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.GetNumMeasureAvailable(), 3 - i);
        ASSERT_EQ(Read(2), 0);
        EXPECT_EQ(time, 100 * (i + 1));
        EXPECT_EQ(out[0], 2 * i + 1);
        EXPECT_EQ(out[1], 2 * i + 2);
    }
    EXPECT_EQ(s.GetNumMeasureAvailable(), 0);
    out.fill(-7);
    time = -5;
    EXPECT_EQ(Read(2), -1);
    EXPECT_EQ(time, -5);
    EXPECT_EQ(out[0], -7);
    // An append after the queue ran empty is found.
    s.AddMeasurement(1, IntArray{9}, 400);
    EXPECT_EQ(s.GetNumMeasureAvailable(), 1);
    ASSERT_EQ(Read(1), 0);
    EXPECT_EQ(time, 400);
    EXPECT_EQ(out[0], 9);
}

TEST_F(Queue, ReadCopiesAtMostTheStoredValues) {
    const struct { int32_t stored; int32_t count; int32_t written; } cases[] = {
        {5, 2, 2}, {5, 5, 5}, {2, 6, 2}, {3, 0, 0}, {3, -1, 0}, {0, 4, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " stored, count " << c.count);
        IntArray values;
        for (int32_t i = 0; i < c.stored; ++i) values.push_back(10 + i);
        s.AddMeasurement(c.stored, values, 1);
        out.fill(-7);
        ASSERT_EQ(Read(c.count), 0);
        for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(out[i], i < c.written ? 10 + i : -7) << i;
        EXPECT_EQ(s.GetNumMeasureAvailable(), 0);
    }
}

TEST_F(Queue, AppendNeverReadsPastTheCallersArray) {
    // A heap array of exactly two entries: ASan reports any read beyond it.
    std::vector<int32_t> two{41, 42};
    s.AddMeasurement(5, two, 7);
    s.AddMeasurement(-3, two, 8);
    ASSERT_EQ(Read(6), 0);
    EXPECT_EQ(out[0], 41);
    EXPECT_EQ(out[1], 42);
    EXPECT_EQ(out[2], -7);
    out.fill(-7);
    ASSERT_EQ(Read(6), 0);
    EXPECT_EQ(time, 8);
    EXPECT_EQ(out[0], -7);
}

TEST_F(Queue, NullArgumentsTakeNothing) {
    s.AddMeasurement(1, IntArray{3}, 1);
    EXPECT_EQ(s.ReadRawMeasurement(nullptr, 1, out.data()), -1);
    EXPECT_EQ(s.ReadRawMeasurement(&time, 1, nullptr), -1);
    EXPECT_EQ(s.GetNumMeasureAvailable(), 1);
    EXPECT_EQ(s.ReadRawMeasurement(&time, 0, nullptr), 0);  // no values asked
    EXPECT_EQ(s.GetNumMeasureAvailable(), 0);
}

TEST(TemplateSensors, AfterDestructionBeganAppendsAreIgnoredAndReadsFail) {
    auto* s = new TTemplateSensors;
    s->AddMeasurement(1, IntArray{1}, 1);
    s->AddMeasurement(1, IntArray{2}, 2);
    s->SetIsDestroying(true);
    s->SetIsDestroying(false);  // one way
    EXPECT_TRUE(s->GetIsDestroying());
    s->AddMeasurement(1, IntArray{3}, 3);
    EXPECT_EQ(s->GetNumMeasureAvailable(), 2);
    int64_t time = -5;
    int32_t value = -7;
    EXPECT_EQ(s->ReadRawMeasurement(&time, 1, &value), -1);
    EXPECT_EQ(time, -5);
    EXPECT_EQ(value, -7);
    // Destruction frees the queued measurements (ASan reports a leak otherwise).
    delete s;
}

namespace {

// Records what the sensor looks like once its destruction has begun.
struct ProbeSensor : TTemplateSensors {
    bool* flagSeen;
    explicit ProbeSensor(bool* f) : flagSeen(f) {}
    ~ProbeSensor() override {
        BeginDestruction();
        *flagSeen = GetIsDestroying();
        AddMeasurement(1, IntArray{1}, 1);
    }
};

}  // namespace

TEST(TemplateSensors, DestructionFlagsFirst) {
    bool flagSeen = false;
    auto* s = new ProbeSensor(&flagSeen);
    s->AddMeasurement(2, IntArray{1, 2}, 1);
    delete s;  // the appended measurement is freed (ASan reports a leak otherwise)
    EXPECT_TRUE(flagSeen);
}
