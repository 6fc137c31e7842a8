// Radio Masters found by the scan, through the exports, on a line as a real one
// behaves: frames cut anywhere by the reads, notifications between a request and its
// reply, replies that come late or stray, and a device that goes away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tovamod.h"
#include "z5clock.h"
#include "z5pump.h"
#include "z5sim_message.h"
#include "z5sim_radiomaster.h"
#include "z5test_library.h"
#include "z5test_wait.h"
#include "z5widestring.h"

namespace {

using z5sim::Bytes;
using z5sim::Fault;
using z5test::WaitUntil;

const Bytes kNotification{0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E};
const Bytes kShortFrame{0x7D, 0x03, 0x38, 0x05, 0x00, 0x7E};
// A measurement frame for an address without a sensor.
const Bytes kOtherFrame{0x7D, 0x09, 0x08, 0x09, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x7E};
constexpr uint8_t kReadParam = 0x12, kReadParamReply = 0x1A;
constexpr int32_t kValue10 = 1010, kValue12 = 1212;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A parameter reply as the device sends it: address, id, 16-bit value.
Bytes ParamReply(uint16_t address, uint8_t id, uint16_t value) {
    const uint8_t payload[] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), id,
                               static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return z5sim::MakeFrame(kReadParamReply, payload);
}

std::atomic<int> gNotifications{0};

void CountNotification(void*, pOnChangeData* record) {
    if (record && *record && (*record)->Flag == 1) ++gNotifications;
    std::free(*record);
}

class Line : public z5test::LibraryOnBus {
protected:
    void SetUp() override {
        z5::SetTimeScale(0.2);  // a reply wait of 100 ms
        gNotifications = 0;
        const TonProcessData handler{&CountNotification, nullptr};
        tovamod_getProcessData(&handler);
        LibraryOnBus::SetUp();
    }
    void TearDown() override {
        z5::SetTimeScale(0.05);  // the devices' destruction waits
        LibraryOnBus::TearDown();
        const TonProcessData none{nullptr, nullptr};
        tovamod_getProcessData(&none);
    }

    std::shared_ptr<z5sim::RadioMaster> Plug(const std::string& serial) {
        auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, serial);
        rm->SetParam(10, kValue10, 2);
        rm->SetParam(12, kValue12, 2);
        EXPECT_TRUE(bus.Plug(rm));
        return rm;
    }
    // The device handle of the scan's node for the serial.
    void* Device(const std::string& serial) {
        void* device = nullptr;
        EXPECT_TRUE(WaitUntil([&] {
            const THardwareStructure* copy = tovamod_GetHardwareStructure();
            for (const TDeviceStructure* n = copy ? copy->First : nullptr; n; n = n->Next)
                if (z5::Utf16ToUtf8(z5::WideView(n->SerialNo)) == serial) device = n->Device;
            return device != nullptr;
        })) << serial;
        return device;
    }
    // Waits until the handler has been called `count` times in all.
    static bool Notified(int count) {
        return WaitUntil([&] { return gNotifications.load() >= count; });
    }
};

// Pauses between the two pieces in protocol ms: at the fixture's scale 0.2 a real
// 0, 3, 20 and 120 ms; with a pause, the first piece has been read off the line.
const uint32_t kGaps[] = {0, 15, 100, 600};

// Outside a measurement the unsolicited LEN-4 frame raises the notification once,
// wherever the line cut it and however long the pause between the pieces.
TEST_F(Line, NotificationFrameRaisesOnceWhereverTheReadsCutIt) {
    auto rm = Plug("RM1");
    ASSERT_NE(Device("RM1"), nullptr);
    // No scan request: the model would answer it between the two pieces of one frame,
    // which a device never does.
    tovamod_DeactivateDevicesIdentification();
    int expected = 0;
    for (const auto gap : kGaps) {
        for (size_t cut = 1; cut < kNotification.size(); ++cut) {
            SCOPED_TRACE("gap " + std::to_string(gap) + " protocol ms, cut after " + std::to_string(cut));
            EXPECT_EQ(gNotifications.load(), expected) << "no further call for an earlier frame";
            ASSERT_TRUE(rm->SendCut(kNotification, cut, gap));
            ASSERT_TRUE(Notified(++expected));
        }
    }
    // Two in one transfer raise twice; one followed at once by other bytes still raises.
    ASSERT_TRUE(rm->Send(Cat({kNotification, kNotification})));
    expected += 2;
    ASSERT_TRUE(Notified(expected));
    ASSERT_TRUE(rm->Send(Cat({kNotification, kOtherFrame})));
    ASSERT_TRUE(Notified(++expected));
    ASSERT_TRUE(rm->Send(kNotification));
    ASSERT_TRUE(Notified(++expected));
    EXPECT_EQ(gNotifications.load(), expected);
}

// During a measurement the short frame that ends what the reader received raises
// the notification once, also when its 0x7E came in a transfer of its own.
TEST_F(Line, ShortFrameRaisesOnceWhereverTheReadsCutIt) {
    auto rm = Plug("RM1");
    void* device = Device("RM1");
    ASSERT_NE(device, nullptr);
    tovamod_DeactivateDevicesIdentification();  // see above
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0005,1,\r", 0), 0);
    // The first frame after the start is held; the next one raises.
    ASSERT_TRUE(rm->Send(kShortFrame));
    ASSERT_TRUE(rm->Send(kShortFrame));
    ASSERT_TRUE(Notified(1));
    int expected = 1;
    for (const auto gap : kGaps) {
        for (size_t cut = 1; cut < kShortFrame.size(); ++cut) {
            SCOPED_TRACE("gap " + std::to_string(gap) + " protocol ms, cut after " + std::to_string(cut));
            EXPECT_EQ(gNotifications.load(), expected) << "no further call for an earlier frame";
            ASSERT_TRUE(rm->SendCut(kShortFrame, cut, gap));
            ASSERT_TRUE(Notified(++expected));
        }
    }
    // Followed at once by more bytes: no notification; the frame behind them raises.
    ASSERT_TRUE(rm->Send(Cat({kShortFrame, kOtherFrame})));
    ASSERT_TRUE(rm->Send(kShortFrame));
    ASSERT_TRUE(Notified(++expected));
    ASSERT_TRUE(rm->Send(kShortFrame));
    ASSERT_TRUE(Notified(++expected));
    EXPECT_EQ(gNotifications.load(), expected);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(device, "0006,1,\r", 0), 0);
}

// A device that answers every request some time late and sends a notification ahead
// of the first reply: each request gets its own value (or fails), never the reply
// to the one before it, and the notification is raised once.
TEST_F(Line, LateRepliesBehindANotificationAnswerTheirOwnRequest) {
    auto rm = Plug("RM1");
    void* device = Device("RM1");
    ASSERT_NE(device, nullptr);
    tovamod_DeactivateDevicesIdentification();  // the requests below are the only ones
    int notified = 0;
    for (uint32_t delay : {2u, 10u, 30u, 80u, 150u, 450u}) {
        SCOPED_TRACE("replies " + std::to_string(delay) + " ms late");
        rm->ClearFaults();
        rm->PushFault(Fault::Unsolicited(kNotification, delay).OnCommand(kReadParam));
        for (int i = 0; i < 8; ++i) rm->PushFault(Fault::Late(delay).OnCommand(kReadParam));
        for (int round = 0; round < 2; ++round) {
            const int32_t ten = tovamod_Device_GetRTUUParam(device, 10);
            const int32_t twelve = tovamod_Device_GetRTUUParam(device, 12);
            EXPECT_TRUE(ten == kValue10 || ten == -1) << ten;
            EXPECT_TRUE(twelve == kValue12 || twelve == -1) << twelve;
        }
        ASSERT_TRUE(Notified(++notified));
    }
    rm->ClearFaults();
    EXPECT_EQ(tovamod_Device_GetRTUUParam(device, 12), kValue12);
    EXPECT_EQ(gNotifications.load(), notified);
}

// A reply that does not answer the request (another id, another address, a late one
// to an earlier request) is never taken for its reply.
TEST_F(Line, StrayRepliesAreNeverTaken) {
    auto rm = Plug("RM1");
    void* device = Device("RM1");
    ASSERT_NE(device, nullptr);
    tovamod_DeactivateDevicesIdentification();
    struct Case {
        const char* name;
        Bytes stray;
    };
    const std::vector<Case> cases = {
        {"the reply to another parameter", ParamReply(0, 10, kValue10)},
        {"the same parameter of another address", ParamReply(5, 12, 4321)},
        {"a notification and another parameter's reply", Cat({kNotification, ParamReply(0, 10, kValue10)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t gap : {0u, 20u}) {
            rm->PushFault(Fault::Unsolicited(c.stray, gap).OnCommand(kReadParam));
            EXPECT_EQ(tovamod_Device_GetRTUUParam(device, 12), kValue12);
        }
    }
    // The replies to a request that gave up come while the next one waits.
    rm->PushFault(Fault::Late(4 * 500 + 250).OnCommand(kReadParam));
    EXPECT_EQ(tovamod_Device_GetRTUUParam(device, 10), -1);
    const int32_t twelve = tovamod_Device_GetRTUUParam(device, 12);
    EXPECT_TRUE(twelve == kValue12 || twelve == -1) << twelve;
    EXPECT_EQ(tovamod_Device_GetRTUUParam(device, 12), kValue12);
}

// Window messages run only while a request waits for its reply: counted on this
// thread, they show whether a request on a gone line waited at all.
std::atomic<int> gPumped{0};
std::thread::id gPumpThread;
void CountPump() {
    if (std::this_thread::get_id() == gPumpThread) ++gPumped;
}

// On a device unplugged a moment ago (the scan, switched off, has not dropped it) a
// request, the stop and the Z request fail at once, without a single reply wait,
// and the other device's requests go on.
TEST_F(Line, RequestsOnAnUnpluggedDeviceFailAtOnce) {
    Plug("RM1");
    Plug("RM2");
    void* gone = Device("RM1");
    void* healthy = Device("RM2");
    ASSERT_NE(gone, nullptr);
    ASSERT_NE(healthy, nullptr);
    tovamod_DeactivateDevicesIdentification();
    ASSERT_TRUE(bus.Unplug("RM1"));
    gPumpThread = std::this_thread::get_id();
    gPumped = 0;
    z5::SetMessagePump(&CountPump);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(gone, 10), -1);
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(gone, "0006,1,\r", 0), -1) << "the stop could not go out";
    EXPECT_EQ(tovamod_Device_SendCmdAndGetResponse(gone, "0010,1,\r", 0), -1) << "the Z request could not go out";
    EXPECT_EQ(gPumped.load(), 0) << "no reply wait on the gone line";
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
    EXPECT_EQ(tovamod_Device_GetRTUUParam(healthy, 10), kValue10);
    z5::SetMessagePump(nullptr);
}

}  // namespace
