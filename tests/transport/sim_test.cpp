// The simulator's receive path and fault scripting, seen through the FTDI layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport_support.h"
#include "z5clock.h"
#include "z5test_clock.h"
#include "z5test_wait.h"
#include "z5sim_message.h"

using namespace std::chrono_literals;
using z5sim::Bytes;
using z5sim::Fault;

namespace {

TEST(SimSplitter, CutsFramesLinesAndResynchronises) {
    z5sim::Splitter frames(z5sim::Receive::Frames);
    // Junk, a frame in two pieces, a frame whose LEN is wrong (no end byte where LEN says).
    auto a = frames.Feed(Bytes{0x00, 0x7D, 0x02, 0x31});
    EXPECT_TRUE(a.empty());
    auto b = frames.Feed(Bytes{0x05, 0x7E, 0x7D, 0x01, 0x32, 0x33, 0x7D, 0x01, 0x34, 0x7E});
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].bytes, (Bytes{0x7D, 0x02, 0x31, 0x05, 0x7E}));
    EXPECT_EQ(b[0].Cmd(), 0x31);
    EXPECT_EQ(b[0].Payload(), Bytes{0x05});
    EXPECT_EQ(b[1].bytes, (Bytes{0x7D, 0x01, 0x34, 0x7E}));

    z5sim::Splitter mixed(z5sim::Receive::Mixed);
    auto m = mixed.Feed(Bytes{'0', '0', '2', '5', ',', '1', ',', '\r', 0x7D, 0x01, 0x57, 0x7E});
    ASSERT_EQ(m.size(), 2u);
    EXPECT_FALSE(m[0].IsFrame());
    EXPECT_EQ(m[0].Text(), "0025,1,");
    EXPECT_TRUE(m[1].IsFrame());
    EXPECT_EQ(z5sim::MakeFrame(0x57, Bytes{0xFE, 0xFF}), (Bytes{0x7D, 0x03, 0x57, 0xFE, 0xFF, 0x7E}));
}

class SimFaults : public ::testing::Test {
protected:
    void SetUp() override {
        bus.Export();
        ASSERT_TRUE(bus.Plug(dev));
        ASSERT_EQ(d2xx::OpenBySerialNumber("SIM1", &h), d2xx::kOk);
    }
    void TearDown() override { d2xx::Close(h); }

    void Request(const Bytes& frame) {
        uint32_t n = 0;
        ASSERT_EQ(d2xx::Write(h, frame.data(), static_cast<uint32_t>(frame.size()), &n), d2xx::kOk);
    }
    // Reads up to max bytes within a read time-out of ms.
    Bytes Read(uint32_t max, uint32_t ms) {
        d2xx::SetTimeouts(h, ms, ms);  // fails on a line that is gone, as the read will
        Bytes b(max);
        uint32_t got = 0;
        last = d2xx::Read(h, b.data(), max, &got);
        b.resize(got);
        return b;
    }
    // The reply of the given size (the read ends as soon as it is complete), or,
    // for size 0, whatever comes within 20 ms.
    Bytes Reply(size_t size) { return size ? Read(static_cast<uint32_t>(size), 100000) : Read(1, 400); }

    z5sim::Bus bus;
    std::shared_ptr<z5sim::GenericDevice> dev = transport_test::Echo("Zelto5 Sim", "SIM1");
    d2xx::Handle h = nullptr;
    d2xx::Status last = d2xx::kOk;
};

// Request 0x7D 03 31 05 00 7E (CMD 0x31, address 5); the echo device sends it back.
const Bytes kRequest{0x7D, 0x03, 0x31, 0x05, 0x00, 0x7E};

TEST_F(SimFaults, EachFaultShapesTheReply) {
    struct Case {
        const char* name;
        Fault fault;
        Bytes reply;
    };
    const Bytes unsolicited{0x7D, 0x04, 0x0A, 1, 2, 3, 0x7E};
    Bytes both = unsolicited;
    both.insert(both.end(), kRequest.begin(), kRequest.end());
    const std::vector<Case> cases = {
        {"no answer", Fault::NoAnswer(), {}},
        {"wrong command", Fault::WrongCommand(0x55), {0x7D, 0x03, 0x55, 0x05, 0x00, 0x7E}},
        {"refusal", Fault::Refuse(3), {0x7D, 0x04, 0x31, 0x05, 0x00, 0x03, 0x7E}},
        {"unsolicited first", Fault::Unsolicited(unsolicited), both},
        {"split within the read", Fault::Split(2, 100), kRequest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dev->PushFault(c.fault);
        Request(kRequest);
        EXPECT_EQ(Reply(c.reply.size()), c.reply);
        // Without an answer the read ends before the model may have taken the request.
        EXPECT_TRUE(z5test::WaitUntil([&] { return dev->PendingFaults() == 0u; }));
        EXPECT_TRUE(transport_test::WaitForQueue(h, 0));
    }
    EXPECT_EQ(dev->ReceivedFrames().size(), cases.size());
}

TEST_F(SimFaults, LateReplyAndSplitGapOutlastARead) {
    // Two reads of 400 ms before a reply 2000 ms late: 1200 ms to spare, 600 ms real
    // at half of real time, which a busy machine does not use up.
    z5test::ScopedTimeScale scale(0.5);
    dev->PushFault(Fault::Late(2000));
    Request(kRequest);
    EXPECT_EQ(Read(6, 400), Bytes{});
    EXPECT_EQ(Read(6, 400), Bytes{});
    EXPECT_EQ(Reply(6), kRequest);

    dev->PushFault(Fault::Split(4, 4000));
    Request(kRequest);
    EXPECT_TRUE(transport_test::WaitForQueue(h, 4));
    EXPECT_EQ(Read(6, 400), Bytes(kRequest.begin(), kRequest.begin() + 4));  // the rest is 4 s away
    EXPECT_EQ(Reply(2), Bytes(kRequest.begin() + 4, kRequest.end()));
}

TEST_F(SimFaults, FaultsMatchByCommandAndSkip) {
    const Bytes other{0x7D, 0x01, 0x40, 0x7E};
    dev->PushFault(Fault::NoAnswer().OnCommand(0x31).Skip(1));
    Request(other);
    EXPECT_EQ(Reply(4), other);      // other command: the fault waits
    Request(kRequest);
    EXPECT_EQ(Reply(6), kRequest);   // first match skipped
    EXPECT_EQ(dev->PendingFaults(), 1u);
    Request(kRequest);
    EXPECT_EQ(Reply(0), Bytes{});    // second match: no answer
    EXPECT_EQ(dev->PendingFaults(), 0u);
}

TEST_F(SimFaults, HookAnswersInsteadOfTheModel) {
    dev->SetHook([](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>& replies) {
        if (m.Cmd() != 0x31) return false;
        replies.push_back(z5sim::MakeFrame(0x28, Bytes{0x05, 0x00}));
        return true;
    });
    Request(kRequest);
    EXPECT_EQ(Reply(6), (Bytes{0x7D, 0x03, 0x28, 0x05, 0x00, 0x7E}));
    const Bytes other{0x7D, 0x01, 0x40, 0x7E};
    Request(other);
    EXPECT_EQ(Reply(4), other);
}

TEST_F(SimFaults, UnplugMidTransferLeavesThePartAndAHungUpLine) {
    dev->PushFault(Fault::Unplug(3));
    Request(kRequest);
    Bytes part = Reply(6);  // ends with the hang-up
    EXPECT_NE(last, d2xx::kOk);
    EXPECT_LE(part.size(), 3u);  // what came before it
    EXPECT_FALSE(dev->Plugged());
    uint32_t n = 0;
    EXPECT_NE(d2xx::GetQueueStatus(h, &n), d2xx::kOk);
    uint32_t count = 99;
    EXPECT_EQ(d2xx::DeviceCount(&count), d2xx::kOk);
    EXPECT_EQ(count, 0u);
}

TEST_F(SimFaults, LinesAreRecordedAndEchoed) {
    dev->SetReceive(z5sim::Receive::Lines);
    const std::string cmd = "0025,1,\r";
    Request(Bytes(cmd.begin(), cmd.end()));
    EXPECT_EQ(Reply(cmd.size()), Bytes(cmd.begin(), cmd.end()));
    EXPECT_EQ(dev->ReceivedLines(), std::vector<std::string>{"0025,1,"});
    EXPECT_EQ(dev->ReceivedBytes().size(), cmd.size());
}

}  // namespace
