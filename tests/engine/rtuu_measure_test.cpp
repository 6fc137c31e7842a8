// Measurement start and stop through the simulated Radio Master, and requests,
// getters and the stream side by side.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "engine_support.h"
#include "z5test_wait.h"

using namespace engine_test;
using z5sim::Fault;
using z5sim::RadioUnit;

namespace {

class Measure : public RadioLine {
protected:
    void SetUp() override {
        RadioLine::SetUp();
        RadioUnit u = RadioUnit::Remote(5, 0);
        u.streams = true;
        u.streamValues = {0x0102, 0x0304};
        rm->SetUnit(u);
        rm->SetStreamPeriod(20);
    }
    // Waits (real time, bounded) until the model has streamed more than n frames.
    bool StreamedMoreThan(uint64_t n) {
        for (int i = 0; i < 2000; ++i) {
            if (rm->StreamedFrames() > n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
};

TEST_F(Measure, StartAndStopTheStream) {
    int32_t reply = 0;
    EXPECT_EQ(dev->SendCmdAndGetResponse("0005,0,\r", reply), 0);
    EXPECT_EQ(Sent(), std::vector<Bytes>{B({0x7D, 0x03, 0x31, 0x00, 0x00, 0x7E})});
    EXPECT_TRUE(MeasureMode.load());
    EXPECT_TRUE(dev->GetReader().IsActive());
    EXPECT_TRUE(StreamedMoreThan(3));  // the model streams once it has answered
    EXPECT_TRUE(rm->Measuring());

    // Requests with the reader test fail every attempt while the reader is active.
    EXPECT_EQ(dev->ReadParam(0, 6), -1);
    EXPECT_EQ(dev->StartMeasure(), -1);  // running already
    // A stream frame may end that start's wait before the model has taken the start.
    EXPECT_TRUE(z5test::WaitUntil([&] {
        for (const Bytes& f : rm->ReceivedFrames())
            if (f.size() > 2 && f[2] == 0x31) return true;
        return false;
    }));
    Sent();

    EXPECT_EQ(dev->SendCmdAndGetResponse("0006,0,\r", reply), 0);
    EXPECT_EQ(Sent(1)[0], B({0x7D, 0x03, 0x32, 0x00, 0x00, 0x7E}));
    EXPECT_FALSE(MeasureMode.load());
    EXPECT_FALSE(dev->GetReader().IsActive());
    // A stream frame may end the stop's wait before the model has taken the stop.
    for (int i = 0; i < 2000 && rm->Measuring(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(rm->Measuring());
    const uint64_t after = rm->StreamedFrames();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(rm->StreamedFrames(), after + 1);  // at most one that was on its way
    EXPECT_EQ(dev->ReadParam(0, 6), 11);
}

TEST_F(Measure, StartAgainstASilentDevice) {
    rm->PushFault(Fault::NoAnswer());
    const uint32_t start = z5::Tick();
    EXPECT_EQ(dev->StartMeasure(), -1);
    EXPECT_GE(z5::TicksSince(start), 500u);
    EXPECT_TRUE(MeasureMode.load());  // set whether or not the device answered
    EXPECT_FALSE(dev->GetReader().IsActive());
    EXPECT_EQ(Sent(1).size(), 1u);  // one attempt
}

TEST_F(Measure, StartWithTheWrongReply) {
    rm->PushFault(Fault::WrongCommand(0x37));
    EXPECT_EQ(dev->StartMeasure(), -1);
    EXPECT_TRUE(MeasureMode.load());
    EXPECT_FALSE(dev->GetReader().IsActive());
}

// The stream runs while other threads send requests and read the tables; a
// watchdog fails the test on a hang instead of letting it sit.
TEST_F(Measure, RequestsGettersAndStreamSideBySide) {
    rm->SetStreamPeriod(2);
    ASSERT_EQ(dev->StartMeasure(), 0);
    std::atomic<bool> stop{false};
    std::vector<std::future<void>> workers;
    workers.push_back(std::async(std::launch::async, [&] {
        TRTUUParams p{};
        while (!stop) dev->GetRTUUParams(&p);  // no reader test: a real exchange
    }));
    workers.push_back(std::async(std::launch::async, [&] {
        while (!stop) dev->ReadParam(0, 6);  // device lock, then D2XXLock
    }));
    workers.push_back(std::async(std::launch::async, [&] {
        while (!stop) {
            dev->GetSensorCount();  // device lock, then BufferLock
            dev->FindSensorByAddress(5);
            dev->GetReaderPending();
        }
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (auto& w : workers) {
        if (w.wait_until(deadline) != std::future_status::ready) {
            ADD_FAILURE() << "requests, getters and stream hang";
            std::abort();
        }
    }
    EXPECT_EQ(dev->StopMeasure(), 0);
}

}  // namespace
