// The lock cycle: a measurement stream runs through the reader and parser threads
// while other threads make requests, refresh (pause the reader, remove and add
// sensors), read sensors through the getters, start and stop the measurement, and a
// notification handler calls back into the device. Every path keeps the library's
// lock order; ThreadSanitizer checks it, and a watchdog fails the test on a hang.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "pipeline_support.h"
#include "uGlobalDev.h"
#include "watchdog.h"
#include "z5clock.h"
#include "z5pump.h"

using namespace pipeline_test;
using namespace std::chrono_literals;

namespace {

constexpr int kAddresses = 6;
int32_t ChannelsOf(int32_t address) { return 1 + address % 3; }

// One exchange as the request engine makes it: device lock, D2XXLock, purge, write,
// wait for a reply (pumping), read what came. Returns the bytes read.
int Exchange(FakeOwner& owner, d2xx::Handle handle, uint8_t cmd) {
    std::lock_guard device(owner.DeviceLock);
    D2XXGuard d2xx;
    CurrentHandle = handle;
    PurgeTx();
    const Bytes frame = z5sim::MakeFrame(cmd, Bytes{0, 0, 4});
    std::memcpy(TransmitBuffer, frame.data(), frame.size());
    WriteFrame(static_cast<int>(frame.size()));
    const uint32_t start = z5::Tick();
    while (z5::TicksSince(start) < 500 && (GetFTQueueStatus() != d2xx::kOk || RxBytesWaiting < 4)) {
        z5::PumpMessages();
        std::this_thread::sleep_for(1ms);
    }
    const int n = GetFTQueueStatus() == d2xx::kOk ? static_cast<int>(RxBytesWaiting) : 0;
    int total = 0;
    // While the stream flows every read brings bytes: a few reads at most.
    for (int i = 0; i < 4; ++i) {
        const int got = ReadFrames(n);
        if (got <= 0 || LastFTStatus != d2xx::kOk || got >= static_cast<int>(kD2XXBufferSize)) break;
        total += got;
    }
    return total;
}

TEST(LockCycle, StreamRequestsRefreshAndGettersNeverDeadlock) {
    SimLine line{std::make_shared<z5sim::GenericDevice>("Zelto5 Radio Master", "RMS")};  // echoes requests
    ASSERT_NE(line.Handle, nullptr);
    MeasureMode = false;
    SensorCountSum = kAddresses;

    auto reader = std::make_unique<TFtdiDevice>();
    auto owner = std::make_unique<FakeOwner>(*reader);
    std::array<int, kAddresses> slots{};
    for (int a = 0; a < kAddresses; ++a) slots[a] = owner->Add(new TestSensor(a + 1, ChannelsOf(a + 1)));
    reader->SetFTHandle(line.Handle);
    reader->SetTimeBase(10);
    reader->StartReceiving();
    reader->SetHoldNotification(false);
    reader->ResumeThreads();

    Progress streamed{"frames streamed"}, requests{"requests"}, replies{"request bytes"}, refreshes{"refreshes"},
        getters{"getter reads"}, drained{"samples drained"}, starts{"measurement starts"},
        notified{"notifications"};
    NotificationCounter notes([&] {
        // A handler that calls exports: a getter and a request's D2XXLock.
        owner->Find(1);
        D2XXGuard d2xx;
        ++notified.count;
    });

    std::atomic<bool> stop{false};
    Watchdog watchdog(60s, {&streamed, &requests, &replies, &refreshes, &getters, &drained, &starts, &notified});
    std::vector<std::thread> threads;

    // The device's stream: measurement frames for every address and one unknown,
    // short frames and the unsolicited notification frame among them.
    threads.emplace_back([&] {
        uint32_t timeCount = 0;
        while (!stop) {
            Bytes burst;
            for (int a = 1; a <= kAddresses + 1; ++a) {
                std::vector<uint16_t> values(static_cast<size_t>(ChannelsOf(a) * 2), static_cast<uint16_t>(timeCount));
                Bytes f = MeasurementFrame(static_cast<uint16_t>(a), timeCount, values);
                burst.insert(burst.end(), f.begin(), f.end());
            }
            if (timeCount % 7 == 0) burst.insert(burst.end(), {0x7D, 0x03, 0x38, 0x01, 0x00, 0x7E});
            if (timeCount % 11 == 0) burst.insert(burst.end(), {0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E});
            line.Device->Send(burst);
            ++timeCount;
            streamed.count += kAddresses + 1;
            std::this_thread::sleep_for(500us);
        }
    });
    // Clients' requests (device lock -> D2XXLock).
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 150; ++i) {
                replies.count += Exchange(*owner, line.Handle, static_cast<uint8_t>(0x12 + t));
                ++requests.count;
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    // The refresh: pause the reader, request, remove and add sensors (device lock ->
    // BufferLock, each removal with the sensor's destruction wait).
    threads.emplace_back([&] {
        std::mt19937 rng(4);
        for (int i = 0; i < 40; ++i) {
            reader->SetReaderPaused(true);
            replies.count += Exchange(*owner, line.Handle, 0x1F);
            const int a = static_cast<int>(rng() % kAddresses);
            owner->Remove(slots[static_cast<size_t>(a)]);
            slots[static_cast<size_t>(a)] = owner->Add(new TestSensor(a + 1, ChannelsOf(a + 1)));
            reader->SetReaderPaused(false);
            ++refreshes.count;
            std::this_thread::sleep_for(2ms);
        }
    });
    // Getters and a client draining the queues (device lock -> BufferLock; device
    // lock -> queue lock).
    threads.emplace_back([&] {
        std::vector<int32_t> values(8);
        int64_t time = 0;
        while (!stop) {
            for (int a = 1; a <= kAddresses; ++a) {
                std::lock_guard device(owner->DeviceLock);
                if (TestSensor* s = owner->Find(a)) {
                    while (s->ReadRawMeasurement(&time, 8, values.data()) == 0) ++drained.count;
                }
                ++getters.count;
            }
            std::this_thread::sleep_for(200us);
        }
    });
    // Measurement start and stop as the radio base makes them, and the small setters.
    threads.emplace_back([&] {
        for (int i = 0; i < 60; ++i) {
            {
                std::lock_guard device(owner->DeviceLock);
                D2XXGuard d2xx;
                reader->ClearReceived();
                MeasureMode = i % 2 == 0;  // notifications only in the odd rounds
            }
            reader->StartReceiving();
            reader->SetHoldNotification(false);
            reader->SetTimeBase(static_cast<uint32_t>(10 + i));
            ++starts.count;
            std::this_thread::sleep_for(5ms);
            (void)reader->GetPendingCount();
            reader->SetActive(false);
            reader->SetPendingCount(0);
        }
        MeasureMode = false;
        reader->StartReceiving();
        reader->SetHoldNotification(false);
    });

    for (size_t i = 1; i < threads.size(); ++i) {
        if (i == 4) continue;  // the getters run until the end
        threads[i].join();
    }
    stop = true;
    threads[0].join();
    threads[4].join();

    // Tear down with the threads running and the stream just stopped.
    owner.reset();
    reader.reset();
    MeasureMode = false;
    SensorCountSum = 0;

    std::printf("lock cycle: %ld frames streamed, %ld requests (%ld bytes), %ld refreshes, %ld getter reads, "
                "%ld samples drained, %ld starts, %ld notifications\n",
                streamed.count.load(), requests.count.load(), replies.count.load(), refreshes.count.load(),
                getters.count.load(), drained.count.load(), starts.count.load(), notified.count.load());
    EXPECT_EQ(requests.count, 300);
    EXPECT_GT(replies.count, 0);
    EXPECT_EQ(refreshes.count, 40);
    EXPECT_GT(drained.count, 0);
    EXPECT_GT(notified.count, 0);
}

}  // namespace
