// Requests against a device that stays silent, answers late, in pieces, with the
// wrong command or too short, or starts its destruction while a request waits.
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <future>
#include <thread>

#include "engine_support.h"
#include "z5pump.h"

using namespace engine_test;
using z5sim::Fault;
using z5sim::RadioUnit;

namespace {

class Faults : public RadioLine {
protected:
    void SetUp() override {
        RadioLine::SetUp();
        RadioUnit u = RadioUnit::Remote(5, 0x1122334455667788ull);
        u.range = {{1, 10}};
        u.latest = {{1, 2, 3, 4, 5}};
        u.eeprom[1] = {42, 1};
        rm->SetUnit(u);
        rm->SetNodeList({5});
        rm->SetParam(7, 0x0102030405060708ull, 8);
    }
    // Answers every frame of this command with the given bytes instead of the model.
    void AnswerWith(uint8_t cmd, Bytes reply) {
        rm->SetHook([cmd, reply](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>& out) {
            if (!m.IsFrame() || m.Cmd() != cmd) return false;
            out = {reply};
            return true;
        });
    }
};

// Each request: one good call leaves its reply frame in the shared receive buffer;
// then the device stays silent, and the request must fail after its attempts
// instead of taking that old frame.
struct Op {
    const char* name;
    uint8_t cmd;
    unsigned attempts;
    std::function<bool(TRTUU&)> succeeds;
};

std::vector<Op> Ops() {
    return {
        {"WriteParam", 0x11, 1, [](TRTUU& d) { return d.WriteParam(0, 6, 1, 11) == 0; }},
        {"ReadParam", 0x12, 4, [](TRTUU& d) { return d.ReadParam(0, 6) == 11; }},
        {"GetRTUUParams", 0x12, 4, [](TRTUU& d) { TRTUUParams p{}; return d.GetRTUUParams(&p) == 1; }},
        {"ReadRTCUParams", 0x12, 4,
         [](TRTUU& d) {
             TRTCUParam p{};
             const bool ok = d.ReadRTCUParams(5, &p) == 1;
             z5_wstr_free(p.Param3);
             return ok;
         }},
        {"GetMACExtAddr", 0x12, 4, [](TRTUU& d) { return d.GetMACExtAddr(0, false) == "0102030405060708"; }},
        {"ReadNodeList", 0x1F, 4,
         [](TRTUU& d) {
             d.ReadNodeList();
             return d.GetNodeAddresses()[0] == 5;
         }},
        {"WriteSensorEEPROM", 0x41, 4, [](TRTUU& d) { return d.WriteSensorEEPROM(5, 1, 1, 42) == 0; }},
        {"WriteSensorEEPROMFloat", 0x41, 4, [](TRTUU& d) { return d.WriteSensorEEPROMFloat(5, 20, 2.0f) == 0; }},
        {"ReadSensorParam", 0x42, 4, [](TRTUU& d) { return d.ReadSensorParam(5, 1) == 42; }},
        {"ReadSensorEEPROM", 0x42, 4,
         [](TRTUU& d) {
             float cal[15];
             return d.ReadSensorEEPROM(5, 1, nullptr, cal, nullptr) == 1;
         }},
        {"SetRange", 0x4C, 4, [](TRTUU& d) { return d.SetRange(5, 1, 10) == 0; }},
        {"GetRange", 0x4C, 4, [](TRTUU& d) { return d.GetRange(5, 1) == 10; }},
        {"SendSensorCommand", 0x63, 4, [](TRTUU& d) { return d.SendSensorCommand(5, 1, 2) == 0; }},
        {"SetValueToZero", 0x4B, 4, [](TRTUU& d) { return d.SetValueToZero(5, 1) == 0; }},
        {"ReadLatest", 0x01, 4,
         [](TRTUU& d) {
             int32_t v[5];
             return d.ReadLatest(5, 5, v, 0) == 0 && v[4] == 5;
         }},
    };
}

TEST_F(Faults, SilentDeviceFailsInsteadOfReusingTheLastFrame) {
    for (const auto& op : Ops()) {
        SCOPED_TRACE(op.name);
        ASSERT_TRUE(op.succeeds(*dev));
        Sent();
        for (unsigned i = 0; i < op.attempts; ++i) rm->PushFault(Fault::NoAnswer());
        EXPECT_FALSE(op.succeeds(*dev));
        EXPECT_EQ(Sent(op.attempts).size(), op.attempts);
        EXPECT_EQ(rm->PendingFaults(), 0u);
    }
    // The failure values themselves.
    for (int i = 0; i < 12; ++i) rm->PushFault(Fault::NoAnswer());
    EXPECT_EQ(dev->ReadParam(0, 6), -1);
    EXPECT_EQ(dev->GetMACExtAddr(0, false), kNoMAC);
    dev->ReadNodeList();
    EXPECT_EQ(dev->GetNodeAddresses()[0], -1);
}

// A silent device still costs the whole wait of every attempt, and window messages
// keep running all along (every 10 ms of a wait or so).
TEST_F(Faults, SilentDeviceGetsTheWholeWaitOfEveryAttempt) {
    static std::atomic<int> pumped;
    pumped = 0;
    z5::SetMessagePump([] { ++pumped; });
    for (int i = 0; i < 4; ++i) rm->PushFault(Fault::NoAnswer());
    const uint32_t start = z5::Tick();
    EXPECT_EQ(dev->ReadParam(0, 6), -1);
    EXPECT_GE(z5::TicksSince(start), 4 * kReplyWaitMs);
    z5::SetMessagePump(nullptr);
    EXPECT_EQ(Sent(4).size(), 4u);
    EXPECT_GE(pumped.load(), 40);
    EXPECT_EQ(dev->ReadParam(0, 6), 11);
}

TEST_F(Faults, WrongCommandFailsTheAttempt) {
    // These three take any reply with an empty payload, whatever its command.
    const std::set<std::string> anyCommand = {"SetRange", "SendSensorCommand", "SetValueToZero"};
    for (const auto& op : Ops()) {
        SCOPED_TRACE(op.name);
        for (unsigned i = 0; i < op.attempts; ++i) rm->PushFault(Fault::WrongCommand(0x1B));
        EXPECT_EQ(op.succeeds(*dev), anyCommand.count(op.name) == 1);
        rm->ClearFaults();
        rm->ClearReceived();
    }
    rm->PushFault(Fault::WrongCommand(0x1B));
    EXPECT_EQ(dev->ReadParam(0, 6), 11);  // the second attempt
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(Faults, ReplyInTwoPieces) {
    ScopedTimeScale scale(0.2);
    // A gap within the read time-out (the cut frame is completed by the transport),
    // and one longer than it (the pieces are joined by the exchange).
    for (uint32_t gap : {20u, 150u}) {
        SCOPED_TRACE(gap);
        for (size_t first : {1u, 4u, 8u}) {
            SCOPED_TRACE(first);
            rm->SetParam(40, 0x12345678, 4);
            rm->PushFault(Fault::Split(first, gap));
            EXPECT_EQ(dev->ReadParam(0, 40), 0x12345678);
            EXPECT_LE(Sent().size(), 2u);
        }
    }
}

TEST_F(Faults, LateReply) {
    ScopedTimeScale scale(0.5);  // room for a loaded machine between the delays and the wait
    rm->PushFault(Fault::Late(250));
    EXPECT_EQ(dev->ReadParam(0, 6), 11);
    EXPECT_EQ(Sent().size(), 1u);

    // Later than the wait: the next attempt takes it, and nothing of it stays behind.
    rm->PushFault(Fault::Late(700));
    EXPECT_EQ(dev->ReadParam(0, 6), 11);
    // The late reply may answer the repeat before the model has logged the repeat.
    EXPECT_EQ(Sent(2).size(), 2u);
    rm->SetParam(41, 0x77, 1);
    EXPECT_EQ(dev->ReadParam(0, 41), 0x77);
    EXPECT_EQ(dev->BytesWaiting(), 0);
}

TEST_F(Faults, RepliesTooShortForWhatIsDecoded) {
    struct Case {
        const char* name;
        uint8_t cmd;
        Bytes reply;
        std::function<bool(TRTUU&)> fails;
    };
    const std::vector<Case> cases = {
        {"block read of ids 0..13 with a short frame", 0x12,
         B({0x7D, 0x0A, 0x1A, 0x00, 0x00, 0x00, 0x01, 0x02, 0x01, 0x03, 0x04, 0x02, 0x7E}),
         [](TRTUU& d) {
             TRTUUParams p{};
             p.Param0 = 77;
             return d.GetRTUUParams(&p) == -1 && p.Param0 == 77;
         }},
        {"29-value block with a short frame", 0x12, B({0x7D, 0x05, 0x1A, 0x05, 0x00, 0x00, 0x01, 0x7E}),
         [](TRTUU& d) {
             TRTCUParam p{};
             p.Param0 = 77;
             return d.ReadRTCUParams(5, &p) == -1 && p.Param0 == 77 && p.Param3 == nullptr;
         }},
        {"MAC bytes 6 to 13 not all received", 0x12,
         B({0x7D, 0x08, 0x1A, 0x00, 0x00, 0x07, 0x01, 0x02, 0x03, 0x04, 0x7E}),
         [](TRTUU& d) { return d.GetMACExtAddr(0, false) == kNoMAC; }},
        {"calibration block with a short frame", 0x42,
         B({0x7D, 0x08, 0x4A, 0x05, 0x00, 0x12, 0x00, 0x00, 0x80, 0x3F, 0x7E}),
         [](TRTUU& d) {
             float cal[15] = {};
             return d.ReadSensorEEPROM(5, 1, nullptr, cal, nullptr) == -1 && cal[0] == 0.0f;
         }},
        {"frame cut before its end byte", 0x12, B({0x7D, 0x08, 0x1A, 0x00, 0x00, 0x06, 0x78, 0x56, 0x34, 0x12}),
         [](TRTUU& d) { return d.ReadParam(0, 6) == -1; }},
        {"end byte missing at LEN+2", 0x12, B({0x7D, 0x05, 0x1A, 0x00, 0x00, 0x06, 0x0B, 0x00}),
         [](TRTUU& d) { return d.ReadParam(0, 6) == -1; }},
        {"latest values fewer than asked", 0x01, B({0x7D, 0x07, 0x09, 0x05, 0x00, 0x01, 0x00, 0x02, 0x00, 0x7E}),
         [](TRTUU& d) {
             int32_t v[3] = {-1, -1, -1};
             return d.ReadLatest(5, 3, v, 0) == -1 && v[0] == -1;
         }},
        {"range pair cut by the frame end", 0x4C, B({0x7D, 0x04, 0x4C, 0x05, 0x00, 0x01, 0x7E}),
         [](TRTUU& d) { return d.GetRange(5, 1) == -1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A good reply first, so that the shared receive buffer holds a whole frame.
        rm->SetHook(nullptr);
        TRTUUParams p{};
        ASSERT_EQ(dev->GetRTUUParams(&p), 1);
        AnswerWith(c.cmd, c.reply);
        EXPECT_TRUE(c.fails(*dev));
    }
    rm->SetHook(nullptr);
}

TEST_F(Faults, DestructionDuringTheWaitAbortsParameterAndMACReads) {
    for (bool mac : {false, true}) {
        SCOPED_TRACE(mac);
        rm->SetHook([d = dev.get()](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>&) {
            if (m.IsFrame() && m.Cmd() == 0x12) d->IsDestroying = true;
            return false;  // the model still answers
        });
        if (mac)
            EXPECT_THROW(dev->GetMACExtAddr(0, false), EAbort);
        else
            EXPECT_THROW(dev->ReadParam(0, 6), EAbort);
        rm->SetHook(nullptr);
        // The locks were let go: a fresh object opens the line after this one is gone.
        dev.reset();
        dev = std::make_unique<TRTUU>();
        dev->SetSerialNo(kSerial);
        ASSERT_EQ(dev->OpenDevice(921600, 0), 0);
    }
    // Other requests just fail.
    rm->SetHook([d = dev.get()](z5sim::Device&, const z5sim::Message&, std::vector<Bytes>&) {
        d->IsDestroying = true;
        return false;
    });
    TRTUUParams p{};
    EXPECT_EQ(dev->GetRTUUParams(&p), -1);
    rm->SetHook(nullptr);
}

// A notification frame that comes with a reply is raised once the request has let
// go of every lock: the handler's own calls, also from other threads, get through.
TEST_F(Faults, NotificationIsRaisedWithNoLockOfTheRequestHeld) {
    struct Probe {
        TRTUU* dev;
        int calls = 0;
        bool othersGotThrough = false;
    } probe{dev.get()};
    SetProcessDataHandler({[](void* context, pOnChangeData* record) {
                               auto* p = static_cast<Probe*>(context);
                               ++p->calls;
                               std::free(*record);
                               auto other = std::async(std::launch::async, [d = p->dev] {
                                   return d->GetSensorCount() == 0 && d->BytesWaiting() >= 0;
                               });
                               p->othersGotThrough = other.wait_for(std::chrono::seconds(10)) ==
                                                         std::future_status::ready &&
                                                     other.get();
                           },
                           &probe});
    rm->PushFault(Fault::Unsolicited(B({0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E})).OnCommand(0x12));
    EXPECT_EQ(dev->ReadParam(0, 6), 11);  // the notification came first: the next attempt answers
    EXPECT_EQ(probe.calls, 1);
    EXPECT_TRUE(probe.othersGotThrough);
}

}  // namespace
