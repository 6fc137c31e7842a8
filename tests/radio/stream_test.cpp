// The measurement stream of the radio units found by the refresh: each unit's
// samples in its own queue with their times, the identity-18 units whose 32-bit
// values come in two halves, and the end of delivery when the stream stops.
#include "radio_support.h"
#include "z5sim_message.h"

using namespace radio_test;

namespace {

Bytes Payload(uint16_t address, uint32_t timeCount, const std::vector<uint16_t>& values) {
    Bytes p{static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
    for (int i = 0; i < 4; ++i) p.push_back(static_cast<uint8_t>(timeCount >> (8 * i)));
    for (uint16_t v : values) {
        p.push_back(static_cast<uint8_t>(v));
        p.push_back(static_cast<uint8_t>(v >> 8));
    }
    return p;
}

class Stream : public RadioBase {
protected:
    void TearDown() override {
        SensorCountSum = 0;
        RadioBase::TearDown();
    }
    // Admits the units of the node list and sets the reader's time base through the
    // first one's sample period 2 (parameter 9).
    void Admit(std::vector<uint64_t> macs, int32_t timeBase) {
        Allow(std::move(macs));
        ASSERT_TRUE(Refresh());
        ASSERT_NE(node->Sensors, nullptr);
        ASSERT_EQ(SensorOf(node->Sensors)->SetRtcuParam(9, 4, timeBase), 0);
    }
    static TTemplateSensors* SensorOf(TSensorStructure* q) { return static_cast<TTemplateSensors*>(q->Sensor); }
};

TEST_F(Stream, EachUnitsSamplesLandInItsOwnQueueWithTheirTimes) {
    RadioUnit five = Remote({5, 5, 7, 0x03});  // two channels, two samples per frame
    five.streams = true;
    five.streamValues = {10, 11, 12, 13};
    five.timeStep = 2;
    five.streamPeriod = 20;
    RadioUnit six = Remote({6, 6, 7, 0x01});  // one channel, one sample per frame
    six.streams = true;
    six.streamValues = {60};
    six.streamPeriod = 200;
    rm->Join(five);
    rm->Join(six);
    Admit({5, 6}, 40);
    TTemplateSensors* s5 = dev->FindSensorByAddress(5);
    TTemplateSensors* s6 = dev->FindSensorByAddress(6);

    ASSERT_EQ(dev->StartMeasure(), 0);
    ASSERT_TRUE(WaitUntil([&] { return s6->GetNumMeasureAvailable() >= 4; }));
    EXPECT_EQ(dev->StopMeasure(), 0);

    const auto got5 = Drain(*s5, 2);
    const auto got6 = Drain(*s6, 1);
    // Time count x time base for the first sample of a frame, + the period for each next one.
    for (size_t k = 0; k < got5.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(got5[k], (Sample{40 * static_cast<int64_t>(k), k % 2 ? std::vector<int32_t>{12, 13} : std::vector<int32_t>{10, 11}}));
    }
    for (size_t k = 0; k < got6.size(); ++k) EXPECT_EQ(got6[k], (Sample{40 * static_cast<int64_t>(k), {60}}));
    // Each unit at its own sample period.
    EXPECT_GE(got5.size(), 2 * 2 * got6.size()) << got5.size() << " vs " << got6.size();

    // Stopped: nothing more arrives.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(s5->GetNumMeasureAvailable(), 2);  // at most a frame that was on its way
    EXPECT_LE(s6->GetNumMeasureAvailable(), 1);
}

TEST_F(Stream, AFailedSamplePeriodWriteKeepsTheTimeBase) {
    RadioUnit five = Remote({5, 5, 7, 0x01});
    five.streams = true;
    five.streamValues = {1};
    rm->Join(five);
    Admit({5}, 25);
    TTemplateSensors* s5 = dev->FindSensorByAddress(5);
    rm->PushFault(z5sim::Fault::NoAnswer());
    EXPECT_EQ(s5->SetRtcuParam(9, 4, 1000), -1);
    EXPECT_EQ(s5->GetSamplePeriod2(), 25);

    ASSERT_EQ(dev->StartMeasure(), 0);
    ASSERT_TRUE(WaitUntil([&] { return s5->GetNumMeasureAvailable() >= 3; }));
    EXPECT_EQ(dev->StopMeasure(), 0);
    const auto got = Drain(*s5, 1);
    for (size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k].time, 25 * static_cast<int64_t>(k));
}

// Frames of an identity-18 unit (five channels, bit 0 of the fifth value marks the
// frame of high words), time base 10 = the unit's sample period 2.
TEST_F(Stream, IdentityEighteenUnitsCombineOrRepeatTheirHalves) {
    rm->Join(Remote({5, 5, 18, 0x1F}));
    rm->Join(Remote({6, 6, 7, 0x1F}));
    Admit({5, 6}, 10);
    const int32_t h = 1 << 16;
    struct Frame {
        uint16_t address;
        uint32_t count;
        std::vector<uint16_t> values;
    };
    struct Case {
        const char* name;
        int32_t sensorCountSum;
        std::vector<Frame> frames;
        uint16_t address;  // whose queue is read
        std::vector<Sample> expected;
    };
    const std::vector<Case> cases = {
        {"one unit: high words kept, added to the low words", 1,
         {{5, 3, {1, 2, 3, 4, 1}}, {5, 4, {10, 20, 30, 40, 0}}}, 5,
         {{40 - 10, {10 + h, 20 + 2 * h, 30 + 3 * h, 40 + 4 * h, 0}}}},
        {"one unit: a time of one sample period counts as 0", 1, {{5, 1, {10, 20, 30, 40, 0}}}, 5,
         {{0, {10, 20, 30, 40, 0}}}},
        {"more units: low words, then repeated with the high-word frame", 2,
         {{5, 2, {10, 20, 30, 40, 0}}, {5, 3, {1, 2, 3, 4, 1}}}, 5,
         {{20, {10, 20, 30, 40, 0}}, {30, {10, 20, 30, 40, 0}}}},
        {"more units: a high-word frame first repeats nothing but zeros", 2, {{5, 3, {1, 2, 3, 4, 1}}}, 5,
         {{30, {0, 0, 0, 0, 0}}}},
        {"another identity: delivered as it comes", 1, {{6, 3, {1, 2, 3, 4, 1}}}, 6, {{30, {1, 2, 3, 4, 1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SensorCountSum = c.sensorCountSum;
        TTemplateSensors* sensor = dev->FindSensorByAddress(c.address);
        ASSERT_EQ(dev->StartMeasure(), 0);  // a fresh parse state
        for (const Frame& f : c.frames) ASSERT_TRUE(rm->SendFrame(0x08, Payload(f.address, f.count, f.values)));
        EXPECT_TRUE(WaitUntil([&] { return sensor->GetNumMeasureAvailable() >= static_cast<int64_t>(c.expected.size()); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(dev->StopMeasure(), 0);
        EXPECT_EQ(Drain(*sensor, 5), c.expected);
    }
}

}  // namespace
