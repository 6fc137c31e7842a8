// The transport unit through a simulated device on a pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "transport_support.h"
#include "uD2XX.h"
#include "z5sim_fault.h"

using z5sim::Bytes;
using transport_test::WaitForQueue;

namespace {

const Bytes kFrame10{0x7D, 0x07, 0x01, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0x7E};
const Bytes kNotification{0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E};

Bytes Received(int n) { return Bytes(ReceiveBuffer, ReceiveBuffer + n); }

class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        bus.Export();
        ASSERT_TRUE(bus.Plug(dev));
        D2XXGuard g;
        ASSERT_EQ(OpenBySerialNo("UD1"), d2xx::kOk);
        handle = CurrentHandle;
        ASSERT_EQ(SetFTTimeouts(100, 100), d2xx::kOk);  // the devices' 100 ms, 5 ms here
        MeasureMode = false;
    }
    void TearDown() override {
        SetProcessDataHandler({nullptr, nullptr});
        MeasureMode = false;
        D2XXGuard g;
        CurrentHandle = handle;
        CloseFTDevice();
    }
    // Puts bytes into the library's receive queue and waits until they are there.
    void Queue(const Bytes& bytes) {
        ASSERT_TRUE(dev->Send(bytes));
        ASSERT_TRUE(WaitForQueue(handle, static_cast<uint32_t>(bytes.size())));
    }
    uint32_t Waiting() {
        D2XXGuard g;
        EXPECT_EQ(GetFTQueueStatus(), d2xx::kOk);
        return RxBytesWaiting;
    }
    void Write(const Bytes& bytes) {
        D2XXGuard g;
        std::memcpy(TransmitBuffer, bytes.data(), bytes.size());
        ASSERT_EQ(WriteFrame(static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
    }

    z5sim::Bus bus;
    std::shared_ptr<z5sim::GenericDevice> dev = transport_test::Silent("Zelto5 Unit", "UD1");
    d2xx::Handle handle = nullptr;
};

// The first read ends at Count, so what a continuation read takes is seen in the
// queue left behind, without waiting for any time-out.
TEST_F(Transport, ContinuationReadOnlyCompletesACutFrame) {
    struct Case {
        const char* name;
        Bytes queued;
        int count;
        int result;
        uint32_t left;
    };
    Bytes noEnd = kFrame10;
    noEnd.back() = 0x00;
    Bytes endEarly = kFrame10;
    endEarly[3] = 0x7E;
    Bytes notStart = kFrame10;
    notStart[0] = 0x55;
    const std::vector<Case> cases = {
        {"cut frame completed", kFrame10, 4, 10, 0},
        {"first read holds LEN+3 already", {0x7D, 0x02, 0x01, 0xAA, 0x7E, 0xBB, 0xCC, 0xDD}, 6, 6, 2},
        {"byte 0 is not 0x7D", notStart, 4, 4, 6},
        {"first read ends on 0x7E", endEarly, 4, 4, 6},
        {"a single byte carries no LEN", kFrame10, 1, 1, 9},
        {"continuation without its end byte is dropped", noEnd, 4, 4, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReceiveBuffer[1] = 0x10;  // a LEN left by an earlier read
        Queue(c.queued);
        D2XXGuard g;
        EXPECT_EQ(ReadFrames(c.count), c.result);
        EXPECT_EQ(LastFTStatus, d2xx::kOk);
        EXPECT_EQ(Received(c.result), Bytes(c.queued.begin(), c.queued.begin() + c.result));
        EXPECT_EQ(Waiting(), c.left);
        EXPECT_EQ(PurgeRx(), d2xx::kOk);
        EXPECT_TRUE(WaitForQueue(handle, 0));
    }
}

// A reply that the device sends in two pieces with a gap longer than a read time-out:
// a request read completes it, the reader's full-size read does not.
TEST_F(Transport, ReplyInTwoPiecesWithAGap) {
    auto echo = transport_test::Echo("Zelto5 Echo", "UD2");
    ASSERT_TRUE(bus.Plug(echo));
    struct Case {
        int count;
        int result;
        uint32_t left;
    };
    for (const Case c : {Case{0x100, 10, 0}, Case{0x8000, 4, 6}}) {
        SCOPED_TRACE(c.count);
        echo->PushFault(z5sim::Fault::Split(4, 3000));
        D2XXGuard g;
        CurrentHandle = nullptr;
        ASSERT_EQ(OpenBySerialNo("UD2"), d2xx::kOk);
        ASSERT_EQ(SetFTTimeouts(2000, 2000), d2xx::kOk);
        std::memcpy(TransmitBuffer, kFrame10.data(), kFrame10.size());
        ASSERT_EQ(WriteFrame(10), 10);
        // Reads of 100 ms; the second piece comes 150 ms after the first.
        ASSERT_TRUE(WaitForQueue(CurrentHandle, 4));
        EXPECT_EQ(ReadFrames(c.count), c.result);
        EXPECT_EQ(Received(c.result), Bytes(kFrame10.begin(), kFrame10.begin() + c.result));
        EXPECT_TRUE(WaitForQueue(CurrentHandle, c.left));
        EXPECT_EQ(CloseFTDevice(), d2xx::kOk);
    }
}

TEST_F(Transport, CountsAreClampedToTheBuffers) {
    D2XXGuard g;
    ASSERT_EQ(SetFTTimeouts(100, 100000), d2xx::kOk);
    EXPECT_EQ(WriteFrame(-3), 0);
    EXPECT_EQ(ReadFrames(-1), 0);
    EXPECT_EQ(LastFTStatus, d2xx::kOk);
    std::memset(TransmitBuffer, 0x33, sizeof TransmitBuffer);
    EXPECT_EQ(WriteFrame(0x9000), 0x8000);
    EXPECT_TRUE(dev->WaitForBytes(0x8000));
    EXPECT_EQ(dev->ReceivedBytes().size(), 0x8000u);
    // An oversized read is a full-size read: no continuation of the cut frame.
    dev->ClearReceived();
    Queue(Bytes(kFrame10.begin(), kFrame10.begin() + 4));
    EXPECT_EQ(ReadFrames(0x9000), 4);
}

TEST(FindNotification, WalksTheFramesWithinCount) {
    auto load = [](std::initializer_list<Bytes> frames) {
        std::memset(ReceiveBuffer, 0, sizeof ReceiveBuffer);
        int n = 0;
        for (const auto& f : frames) {
            std::memcpy(ReceiveBuffer + n, f.data(), f.size());
            n += static_cast<int>(f.size());
        }
        return n;
    };
    const Bytes plain{0x7D, 0x02, 0x31, 0x00, 0x7E};

    int n = load({kNotification});
    EXPECT_TRUE(FindNotification(n));
    EXPECT_EQ(ReceiveBuffer[2], 0x63);
    EXPECT_FALSE(FindNotification(n));  // marked: reported once

    n = load({plain, kNotification});
    EXPECT_TRUE(FindNotification(n));
    EXPECT_EQ(ReceiveBuffer[2], 0x31);
    EXPECT_EQ(ReceiveBuffer[7], 0x63);

    Bytes broken = plain;
    broken.back() = 0x00;
    n = load({broken, kNotification});
    EXPECT_FALSE(FindNotification(n));
    EXPECT_EQ(ReceiveBuffer[7], 0x0A);

    const Bytes longer{0x7D, 0x05, 0x0A, 1, 2, 3, 4, 0x7E};  // command 0x0A, LEN 5
    EXPECT_FALSE(FindNotification(load({longer})));

    // Nothing beyond Count is read: not the frame that lies past it, not a LEN byte
    // just behind it.
    load({plain, kNotification});
    EXPECT_FALSE(FindNotification(11));
    EXPECT_FALSE(FindNotification(6));
    EXPECT_FALSE(FindNotification(0));
    EXPECT_FALSE(FindNotification(-5));
    EXPECT_EQ(ReceiveBuffer[7], 0x0A);
}

TEST(FindNotification, StaysInsideAFullBuffer) {
    // Frames filling all 0x8000 bytes, and a start byte in the very last byte: the
    // walk must end without touching the byte behind the buffer.
    auto fill = [](uint32_t total) {
        uint32_t pos = 0;
        while (total - pos >= 256) {
            ReceiveBuffer[pos] = 0x7D;
            ReceiveBuffer[pos + 1] = 0xFD;
            std::memset(ReceiveBuffer + pos + 2, 0x20, 0xFD);
            ReceiveBuffer[pos + 255] = 0x7E;
            pos += 256;
        }
        return pos;
    };
    EXPECT_EQ(fill(0x8000), 0x8000u);
    EXPECT_FALSE(FindNotification(0x8000));
    uint32_t pos = fill(0x7F00);
    ReceiveBuffer[pos] = 0x7D;
    ReceiveBuffer[pos + 1] = 0xFC;
    std::memset(ReceiveBuffer + pos + 2, 0x20, 0xFC);
    ReceiveBuffer[pos + 254] = 0x7E;
    ReceiveBuffer[0x7FFF] = 0x7D;
    EXPECT_FALSE(FindNotification(0x8000));
}

struct Seen {
    std::atomic<int> calls{0};
    std::atomic<int> flag{0};
    std::vector<uint8_t> bufferDuringExchange;
    bool callBack = false;
    bool raise = false;
};

void Record(void* context, pOnChangeData* record) {
    auto* seen = static_cast<Seen*>(context);
    seen->flag = (*record)->Flag;
    std::free(*record);
    ++seen->calls;
    if (seen->callBack) {
        // As an export would: its own exchange overwrites the shared buffers.
        D2XXGuard g;
        std::memset(ReceiveBuffer, 0xEE, 16);
        ReadFrames(4);
    }
    if (seen->raise) throw std::runtime_error("handler failed");
}

TEST_F(Transport, NotificationIsRaisedWhenTheExchangeEnds) {
    Seen seen;
    seen.callBack = true;
    SetProcessDataHandler({&Record, &seen});
    Queue(kNotification);
    {
        D2XXGuard outer;
        {
            D2XXGuard inner;  // the lock is re-entrant; only the outermost release raises
            EXPECT_EQ(ReadFrames(16), 7);
        }
        EXPECT_EQ(seen.calls.load(), 0);
        // The caller still parses its reply from the buffer: untouched by the handler.
        EXPECT_EQ(ReceiveBuffer[2], 0x63);
        EXPECT_EQ(Received(7), (Bytes{0x7D, 0x04, 0x63, 0x01, 0x02, 0x03, 0x7E}));
    }
    EXPECT_EQ(seen.calls.load(), 1);
    EXPECT_EQ(seen.flag.load(), 1);
}

TEST_F(Transport, NoNotificationInMeasureModeOrWithoutHandler) {
    Seen seen;
    SetProcessDataHandler({&Record, &seen});
    MeasureMode = true;
    Queue(kNotification);
    {
        D2XXGuard g;
        EXPECT_EQ(ReadFrames(16), 7);
        EXPECT_EQ(ReceiveBuffer[2], 0x0A);
    }
    EXPECT_EQ(seen.calls.load(), 0);

    MeasureMode = false;
    SetProcessDataHandler({nullptr, &seen});
    Queue(kNotification);
    {
        D2XXGuard g;
        EXPECT_EQ(ReadFrames(16), 7);
        EXPECT_EQ(ReceiveBuffer[2], 0x63);  // marked all the same; nothing allocated
    }
    EXPECT_EQ(seen.calls.load(), 0);
}

TEST_F(Transport, HandlerExceptionDoesNotEscape) {
    Seen seen;
    seen.raise = true;
    SetProcessDataHandler({&Record, &seen});
    Queue(kNotification);
    EXPECT_NO_THROW({
        D2XXGuard g;
        ReadFrames(16);
    });
    EXPECT_EQ(seen.calls.load(), 1);
    EXPECT_NO_THROW(RaiseNotification());
    EXPECT_EQ(seen.calls.load(), 2);
}

struct Tagged {
    int tag;
    std::atomic<int>* mismatches;
    std::atomic<int>* calls;
};

template <int Tag>
void CheckTag(void* context, pOnChangeData* record) {
    std::free(*record);
    auto* t = static_cast<Tagged*>(context);
    if (t->tag != Tag) ++*t->mismatches;
    ++*t->calls;
}

TEST(ProcessDataHandler, CodeAndContextAlwaysComeFromOneInstall) {
    std::atomic<int> mismatches{0}, calls{0};
    Tagged a{1, &mismatches, &calls}, b{2, &mismatches, &calls};
    SetProcessDataHandler({&CheckTag<1>, &a});
    std::atomic<bool> done{false};
    std::thread installer([&] {
        for (int i = 0; !done; ++i)
            SetProcessDataHandler(i % 2 ? TonProcessData{&CheckTag<1>, &a} : TonProcessData{&CheckTag<2>, &b});
    });
    std::thread raiser([&] {
        while (calls < 2000) RaiseNotification();
        done = true;
    });
    installer.join();
    raiser.join();
    SetProcessDataHandler({nullptr, nullptr});
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(Transport, ListingWrappersAndTheTextCut) {
    const std::string desc60(60, 'd');
    const std::string serial49 = "S" + std::string(48, '9');
    ASSERT_TRUE(bus.Plug(transport_test::Silent(desc60, serial49)));
    D2XXGuard g;
    ASSERT_EQ(GetFTDeviceCount(), d2xx::kOk);
    EXPECT_EQ(FTDeviceCount, 2u);

    ASSERT_EQ(GetFTDeviceSerialNo(0), d2xx::kOk);
    EXPECT_EQ(FTListText, "UD1");
    ASSERT_EQ(GetFTDeviceDescription(1), d2xx::kOk);
    EXPECT_EQ(FTListText, desc60.substr(0, 49));
    EXPECT_NE(GetFTDeviceSerialNo(2), d2xx::kOk);
    EXPECT_EQ(FTListText, desc60.substr(0, 49));  // unchanged
    EXPECT_NE(GetFTDeviceDescription(7), d2xx::kOk);
    EXPECT_EQ(FTListText, desc60.substr(0, 49));

    // A 60-character serial opens the device whose serial is its first 49 characters.
    CurrentHandle = nullptr;
    ASSERT_EQ(OpenBySerialNo(serial49 + "XXXXXXXXXXX"), d2xx::kOk);
    EXPECT_NE(CurrentHandle, nullptr);
    EXPECT_EQ(std::string(ListBuffer), serial49);
    EXPECT_EQ(CloseFTDevice(), d2xx::kOk);
    EXPECT_NE(OpenBySerialNo(""), d2xx::kOk);
    EXPECT_EQ(ListBuffer[0], '\0');
    CurrentHandle = handle;
}

TEST_F(Transport, LineWrappersAndTheVanishedDevice) {
    D2XXGuard g;
    BaudRate = 921600;
    WordLength = 8;
    StopBits = 0;
    Parity = 0;
    FlowControl = 0;
    EXPECT_EQ(SetFTBaudRate(), d2xx::kOk);
    EXPECT_EQ(SetFTDataCharacteristics(), d2xx::kOk);
    EXPECT_EQ(SetFTFlowControl(), d2xx::kOk);
    EXPECT_EQ(ResetFTDevice(), d2xx::kOk);
    EXPECT_EQ(PurgeTx(), d2xx::kOk);
    EXPECT_EQ(GetFTModemStatus(), d2xx::kOk);
    Queue({1, 2, 3});
    EXPECT_EQ(GetFTQueueStatus(), d2xx::kOk);
    EXPECT_EQ(RxBytesWaiting, 3u);

    ASSERT_TRUE(bus.Unplug("UD1"));
    EXPECT_NE(GetFTModemStatus(), d2xx::kOk);
    EXPECT_NE(GetFTQueueStatus(), d2xx::kOk);
    EXPECT_EQ(WriteFrame(4), 0);
    EXPECT_NE(LastFTStatus, d2xx::kOk);
    ReadFrames(4);
    EXPECT_NE(LastFTStatus, d2xx::kOk);
}

}  // namespace
