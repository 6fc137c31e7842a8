// The reader and parser threads against a simulated line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "pipeline_support.h"
#include "uFtdiThread.h"
#include "uGlobalDev.h"
#include "z5clock.h"

using namespace pipeline_test;
using namespace std::chrono_literals;

namespace {

class Reader : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(line.Handle, nullptr);
        MeasureMode = false;
        SensorCountSum = 2;
        reader->SetFTHandle(line.Handle);
        reader->SetTimeBase(10);
    }
    void TearDown() override {
        owner.reset();
        reader.reset();
        MeasureMode = false;
        SensorCountSum = 0;
    }
    TestSensor* AddSensor(int32_t address, int32_t channels, bool identity18 = false) {
        auto* s = new TestSensor(address, channels, identity18);
        EXPECT_GE(owner->Add(s), 0);
        return s;
    }
    void Send(const Bytes& bytes) { ASSERT_TRUE(line.Device->Send(bytes)); }
    // Waits until the reader has taken everything from the line and the parser the stream.
    bool Settled() {
        return WaitUntil([&] { return line.Queued() == 0 && reader->GetPendingCount() == 0; });
    }

    SimLine line{std::make_shared<z5sim::GenericDevice>("Zelto5 Radio Master", "RM1",
                                                        z5sim::GenericDevice::Answer::Nothing)};
    std::unique_ptr<TFtdiDevice> reader = std::make_unique<TFtdiDevice>();
    std::unique_ptr<FakeOwner> owner = std::make_unique<FakeOwner>(*reader);
};

TEST_F(Reader, StreamLandsAsTimedSamplesWhereverTheReadsCutIt) {
    TestSensor* two = AddSensor(5, 2);
    TestSensor* one = AddSensor(6, 1);
    reader->StartReceiving();
    reader->ResumeThreads();
    ASSERT_TRUE(reader->ThreadsRunning());

    // Frames for both sensors and one for an unknown address, sent in pieces of
    // odd sizes with pauses, so that reads and batches cut frames anywhere.
    Bytes stream;
    std::vector<Sample> expectTwo, expectOne;
    for (uint32_t k = 0; k < 60; ++k) {
        const uint16_t a = static_cast<uint16_t>(k * 3), b = static_cast<uint16_t>(0x7E00 + k);
        Bytes f = MeasurementFrame(5, k, {a, b});
        stream.insert(stream.end(), f.begin(), f.end());
        expectTwo.push_back({k * 10, {a, b}});
        f = MeasurementFrame(6, 1000 + k, {a, b});
        stream.insert(stream.end(), f.begin(), f.end());
        expectOne.push_back({(1000 + k) * 10, {a}});
        expectOne.push_back({(1000 + k) * 10 + 10, {b}});
        f = MeasurementFrame(9, k, {1, 2, 3});
        stream.insert(stream.end(), f.begin(), f.end());
    }
    for (size_t pos = 0, piece = 1; pos < stream.size(); pos += piece, piece = piece % 23 + 4) {
        const size_t n = std::min(piece, stream.size() - pos);
        Send(Bytes(stream.begin() + static_cast<long>(pos), stream.begin() + static_cast<long>(pos + n)));
        if (piece % 3 == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_TRUE(WaitUntil([&] { return two->GetNumMeasureAvailable() == 60 && one->GetNumMeasureAvailable() == 120; }));
    EXPECT_EQ(Drain(*two, 2), expectTwo);
    EXPECT_EQ(Drain(*one, 1), expectOne);
}

// A data-logger download: ASCII text, lines to the owner's sensor 0.
TEST_F(Reader, AsciiDownloadLandsOnSensorZero) {
    TestSensor* s = AddSensor(0xFFFE, 2);
    reader->SetAsciiMode(true);
    reader->SetAsciiChannelCount(2);
    reader->StartReceiving();
    reader->ResumeThreads();
    const std::string text = "\n10:00:00\r\n0\t0250$\r\n1,5\t2\t\r\n3\t-4\t\r\n0,0005\tx\t\r\n";
    const Bytes bytes(text.begin(), text.end());
    Send(Bytes(bytes.begin(), bytes.begin() + 25));
    std::this_thread::sleep_for(5ms);
    Send(Bytes(bytes.begin() + 25, bytes.end()));
    ASSERT_TRUE(WaitUntil([&] { return s->GetNumMeasureAvailable() == 3; }));
    EXPECT_EQ(Drain(*s, 2), (std::vector<Sample>{{0, {1500, 2000}}, {250, {3000, -4000}}, {500, {0, 0}}}));
}

TEST_F(Reader, PauseStopsReadingAndInactiveLeavesBytesAlone) {
    TestSensor* s = AddSensor(5, 1);
    reader->ResumeThreads();
    const Bytes frame = MeasurementFrame(5, 2, {7});

    // Paused: once a read in progress has ended (D2XXLock), the bytes stay in the line's queue.
    reader->SetReaderPaused(true);
    EXPECT_TRUE(reader->IsReaderPaused());
    { D2XXGuard wait; }
    Send(frame);
    ASSERT_TRUE(WaitUntil([&] { return line.Queued() == frame.size(); }));
    std::this_thread::sleep_for(50ms);  // about a hundred reader cycles
    EXPECT_EQ(line.Queued(), frame.size());
    EXPECT_EQ(reader->GetPendingCount(), 0u);

    // Running but inactive: the reader takes them, the parser leaves them.
    reader->SetReaderPaused(false);
    ASSERT_TRUE(WaitUntil([&] { return reader->GetPendingCount() == frame.size(); }));
    Send(frame);
    ASSERT_TRUE(WaitUntil([&] { return reader->GetPendingCount() == 2 * frame.size(); }));
    std::this_thread::sleep_for(20ms);
    reader->ParseReceived();
    EXPECT_EQ(reader->GetPendingCount(), 2 * frame.size());
    EXPECT_EQ(s->GetNumMeasureAvailable(), 0);

    // Activated with the stream as it is: the kept bytes are parsed.
    reader->SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return s->GetNumMeasureAvailable() == 2; }));
    EXPECT_EQ(Drain(*s, 1), (std::vector<Sample>{{20, {7}}, {20, {7}}}));
    EXPECT_EQ(reader->GetPendingCount(), 0u);
}

// A device left streaming while nothing parses: the stream keeps its newest bytes up
// to its limit and counts the ones it dropped.
TEST_F(Reader, AnInactiveStreamKeepsItsNewestBytesWithinItsLimit) {
    TestSensor* s = AddSensor(5, 1);
    reader->ResumeThreads();
    const Bytes frame = MeasurementFrame(5, 2, {7});
    const size_t limit = TFtdiDevice::kReceiveStreamLimit;
    const Bytes filler(4096, 0x00);  // bytes outside any frame
    size_t sent = 0;
    while (sent < limit + filler.size()) {
        Send(filler);
        sent += filler.size();
    }
    Send(frame);
    sent += frame.size();
    ASSERT_TRUE(WaitUntil([&] { return reader->GetPendingCount() + reader->GetDroppedCount() == sent; }));
    EXPECT_EQ(reader->GetPendingCount(), limit);
    EXPECT_EQ(reader->GetDroppedCount(), sent - limit);

    // The newest bytes are the ones kept: the frame sent last is parsed once active.
    reader->SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return s->GetNumMeasureAvailable() == 1; }));
    EXPECT_EQ(Drain(*s, 1), (std::vector<Sample>{{20, {7}}}));
}

// Stale bytes and parse state from before a start never reach the new measurement.
TEST_F(Reader, StartReceivingResetsStreamAndParseStateWhole) {
    SensorCountSum = 1;
    TestSensor* s = AddSensor(5, 1);
    TestSensor* unit18 = AddSensor(7, 5, true);
    reader->StartReceiving();
    reader->ResumeThreads();

    // Mid-frame state and high words of an identity-18 unit are left behind...
    Send(MeasurementFrame(7, 0, {1, 2, 3, 4, 1}));  // high words 1..4
    Bytes half = MeasurementFrame(5, 3, {0x1111, 0x2222});
    half.resize(8);
    Send(half);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(s->GetNumMeasureAvailable(), 0);
    // ... and bytes wait while inactive.
    reader->SetActive(false);
    Send(MeasurementFrame(5, 4, {0x3333}));
    ASSERT_TRUE(WaitUntil([&] { return reader->GetPendingCount() > 0 && line.Queued() == 0; }));

    reader->StartReceiving();
    EXPECT_EQ(reader->GetPendingCount(), 0u);
    EXPECT_TRUE(reader->IsActive());
    Send(MeasurementFrame(5, 8, {0x4444}));
    Send(MeasurementFrame(7, 1, {10, 20, 30, 40, 0}));  // low words: no high words added
    ASSERT_TRUE(WaitUntil([&] { return s->GetNumMeasureAvailable() == 1 && unit18->GetNumMeasureAvailable() == 1; }));
    EXPECT_EQ(Drain(*s, 1), (std::vector<Sample>{{80, {0x4444}}}));
    EXPECT_EQ(Drain(*unit18, 5), (std::vector<Sample>{{10 - 2000, {10, 20, 30, 40, 0}}}));
}

TEST_F(Reader, SetPendingCountKeepsCountAndStreamEqual) {
    TestSensor* s = AddSensor(5, 1);
    reader->ResumeThreads();
    const Bytes stale = MeasurementFrame(5, 1, {1});
    Send(stale);
    ASSERT_TRUE(WaitUntil([&] { return reader->GetPendingCount() == stale.size(); }));
    reader->SetPendingCount(400);  // more than there is: nothing changes
    EXPECT_EQ(reader->GetPendingCount(), stale.size());
    reader->SetPendingCount(0);
    EXPECT_EQ(reader->GetPendingCount(), 0u);
    reader->SetActive(true);
    reader->SetHoldNotification(false);
    Send(MeasurementFrame(5, 2, {2}));
    ASSERT_TRUE(WaitUntil([&] { return s->GetNumMeasureAvailable() == 1; }));
    EXPECT_EQ(Drain(*s, 1), (std::vector<Sample>{{20, {2}}}));
}

// The short frame that ends a batch notifies once, after a frame has ended since the
// start, also while a measurement is flagged; the reader's own notification frame
// is raised outside a measurement only.
TEST_F(Reader, NotificationsOnceAndTheShortFrameAlsoWhileMeasureMode) {
    NotificationCounter n;
    const Bytes shortFrame{0x7D, 0x03, 0x38, 0x05, 0x00, 0x7E};
    const Bytes unsolicited{0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E};
    AddSensor(5, 1);
    reader->StartReceiving();
    reader->ResumeThreads();

    Send(shortFrame);  // right after the start: held
    ASSERT_TRUE(Settled());
    EXPECT_EQ(n.count, 0);
    Send(shortFrame);  // a frame has ended since
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(WaitUntil([&] { return n.count == 1; }));
    Send(unsolicited);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(WaitUntil([&] { return n.count == 2; }));

    MeasureMode = true;
    Send(unsolicited);
    ASSERT_TRUE(Settled());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(n.count, 2);
    Send(shortFrame);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(WaitUntil([&] { return n.count == 3; }));

    MeasureMode = false;
    Send(MeasurementFrame(5, 1, {1}));
    Send(shortFrame);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(WaitUntil([&] { return n.count == 4; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(n.count, 4);
}

// A handler that calls back into the device from the parser's notification finds
// no lock of the reader held.
TEST_F(Reader, NotificationHandlerMayTakeTheDeviceLocks) {
    std::atomic<int> found{0};
    NotificationCounter n([&] {
        if (owner->Find(5)) ++found;
        std::lock_guard d2xx(D2XXLock);
    });
    AddSensor(5, 1);
    reader->StartReceiving();
    reader->SetHoldNotification(false);
    reader->ResumeThreads();
    Send({0x7D, 0x03, 0x37, 0x05, 0x00, 0x7E});
    ASSERT_TRUE(WaitUntil([&] { return found == 1; }));
}

TEST(ReaderLifetime, DestructionIsPromptWhetherOrNotTheThreadsRan) {
    const double scale = z5::TimeScale();
    z5::SetTimeScale(100.0);  // a 10 ms cycle now sleeps a second
    const auto start = std::chrono::steady_clock::now();
    { TFtdiDevice neverStarted; }
    {
        TFtdiDevice running;
        running.ResumeThreads();
        running.ResumeThreads();
        std::this_thread::sleep_for(20ms);  // both threads asleep in their cycle
    }
    {
        TFtdiThread thread([] {});
        thread.Resume();
        thread.Terminate();
        EXPECT_FALSE(thread.Running());
        thread.Resume();  // a terminated thread stays terminated
        EXPECT_FALSE(thread.Running());
    }
    const auto took = std::chrono::steady_clock::now() - start;
    z5::SetTimeScale(scale);
    EXPECT_LT(took, 500ms);
}

TEST(ReaderLifetime, AnExceptionOfTheEventDoesNotEndTheThread) {
    std::atomic<int> calls{0};
    TFtdiThread thread([&] {
        ++calls;
        throw std::runtime_error("cycle failed");
    });
    thread.Resume();
    EXPECT_TRUE(WaitUntil([&] { return calls >= 3; }));
    EXPECT_TRUE(thread.Running());
}

}  // namespace
