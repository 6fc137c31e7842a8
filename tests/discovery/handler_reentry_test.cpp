// Notification handlers that call back into the library while the scan drops
// their device, call tovamod_uninit, or wait for a stream that was unplugged:
// real Radio Master objects made by the scan from simulated devices, driven
// through the exports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "discovery_support.h"
#include "tovamod.h"
#include "uExportFrame.h"
#include "uHandleRegistry.h"
#include "z5sim_radiomaster.h"

using namespace discovery_test;

namespace {

// The unsolicited frame that raises a notification outside a measurement.
const z5sim::Bytes kNotification{0x7D, 0x04, 0x0A, 0x01, 0x02, 0x03, 0x7E};
constexpr uint8_t kReadParam = 0x12;
constexpr int32_t kOwnAddressParam = 4;

// Where the notification is raised: on the device's reader thread, or on the
// client's thread inside a parameter read that finds it ahead of its reply.
enum class RaisedOn { ReaderThread, InsideARequest };

void PrintTo(RaisedOn r, std::ostream* os) { *os << (r == RaisedOn::ReaderThread ? "ReaderThread" : "InsideARequest"); }

class Handler : public ::testing::Test {
protected:
    void SetUp() override {
        TonProcessData handler{&Handler::OnData, this};
        tovamod_getProcessData(&handler);
        ASSERT_EQ(tovamod_init(), 0);
    }
    void TearDown() override {
        tovamod_uninit();
        TonProcessData none{nullptr, nullptr};
        tovamod_getProcessData(&none);
    }

    // Plugs a Radio Master and returns its device handle once a copy lists it.
    void* Plug(const std::string& serial) {
        auto rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, serial);
        masters.push_back(rm);
        EXPECT_TRUE(scene.bus.Plug(rm));
        void* device = nullptr;
        EXPECT_TRUE(WaitUntil([&] {
            for (const NodeValue& n : Nodes(tovamod_GetHardwareStructure()))
                if (n.serial == serial) device = n.device;
            return device != nullptr;
        }));
        return device;
    }

    // Makes the device raise one notification as the case says; returns once the
    // handler has run (the request's own result is not judged).
    void Raise(RaisedOn where, z5sim::RadioMaster& rm, void* device) {
        if (where == RaisedOn::ReaderThread) {
            ASSERT_TRUE(rm.Send(kNotification));
        } else {
            rm.PushFault(z5sim::Fault::Unsolicited(kNotification).OnCommand(kReadParam));
            tovamod_Device_GetRTUUParam(device, kOwnAddressParam);
        }
        ASSERT_TRUE(WaitUntil([&] { return Calls() >= 1; })) << "the handler was not called";
    }

    // Counts afresh from the next notification.
    void ResetCalls() {
        std::lock_guard g(lock);
        calls = 0;
        inFirstCall = false;
    }
    int Calls() {
        std::lock_guard g(lock);
        return calls;
    }
    std::thread::id HandlerThread() {
        std::lock_guard g(lock);
        return handlerThread;
    }

    // The moderator, for the moment at which a scan begins to drop a device.
    static uint32_t DropsBegun() {
        TModeratorUse moderator;
        return moderator ? moderator->GetDropsBegun() : 0;
    }

    Scene scene;
    std::vector<std::shared_ptr<z5sim::RadioMaster>> masters;
    // What the handler does on its first call (run before the call is counted);
    // set under the handler's lock, since the reader thread may already run it.
    void OnFirstCall(std::function<void()> action) {
        std::lock_guard g(lock);
        onFirstCall = std::move(action);
    }

private:
    static void OnData(void* context, pOnChangeData* record) {
        auto* self = static_cast<Handler*>(context);
        std::free(*record);
        bool first;
        std::function<void()> action;
        {
            std::lock_guard g(self->lock);
            first = self->calls == 0 && !self->inFirstCall;
            if (first) {
                self->inFirstCall = true;
                action = self->onFirstCall;
            }
        }
        if (action) action();
        std::lock_guard g(self->lock);
        if (first) self->handlerThread = std::this_thread::get_id();
        ++self->calls;
    }

    std::mutex lock;
    std::function<void()> onFirstCall;
    int calls = 0;
    bool inFirstCall = false;
    std::thread::id handlerThread;
};

class HandlerWhileDropped : public Handler, public ::testing::WithParamInterface<RaisedOn> {};

TEST_P(HandlerWhileDropped, ListingExportsInTheHandlerDoNotHang) {
    void* device = Plug("RM1");
    ASSERT_NE(device, nullptr);
    int32_t count = -2;
    THardwareStructure* copy = nullptr;
    OnFirstCall([&] {
        scene.bus.Unplug("RM1");
        // The scan has taken the device out and will destroy it.
        EXPECT_TRUE(WaitUntil([] { return DropsBegun() >= 1; }));
        // Refused (-1, nil) while the scan frees the sensor objects or rebuilds the
        // structure; answered once it has, the handler still running.
        EXPECT_TRUE(WaitUntil([&] { return (count = tovamod_GetNumberOfAvailableDevice()) != -1; }));
        EXPECT_TRUE(WaitUntil([&] { return (copy = tovamod_GetHardwareStructure()) != nullptr; }));
    });
    Raise(GetParam(), *masters[0], device);
    EXPECT_EQ(HandlerThread() == std::this_thread::get_id(), GetParam() == RaisedOn::InsideARequest);
    EXPECT_EQ(count, 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->First, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return !LeaseDevice(device); })) << "the device object goes";
    EXPECT_EQ(tovamod_uninit(), 0);
}

INSTANTIATE_TEST_SUITE_P(Raised, HandlerWhileDropped,
                         ::testing::Values(RaisedOn::ReaderThread, RaisedOn::InsideARequest),
                         [](const auto& info) {
                             return info.param == RaisedOn::ReaderThread ? "OnTheReaderThread" : "InsideARequest";
                         });

TEST_F(Handler, UninitInTheHandlerIsRefused) {
    void* device = Plug("RM1");
    ASSERT_NE(device, nullptr);
    for (RaisedOn where : {RaisedOn::ReaderThread, RaisedOn::InsideARequest}) {
        SCOPED_TRACE(::testing::PrintToString(where));
        int32_t result = -2;
        OnFirstCall([&] { result = tovamod_uninit(); });
        Raise(where, *masters[0], device);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), 1) << "still initialised";
        ResetCalls();
    }
    EXPECT_EQ(tovamod_uninit(), 0);
}

TEST_F(Handler, AStreamUnpluggedEndsItsMeasurement) {
    void* streaming = Plug("RM1");
    void* other = Plug("RM2");
    ASSERT_TRUE(streaming && other);
    ASSERT_EQ(tovamod_Device_SendCmdAndGetResponse(streaming, "0005,1,\r", 0), 0);
    ASSERT_EQ(tovamod_DevicesInMeasureMode(), 1);
    ASSERT_TRUE(scene.bus.Unplug("RM1"));
    ASSERT_TRUE(WaitUntil([] {
        const auto nodes = Nodes(tovamod_GetHardwareStructure());
        return nodes.size() == 1 && nodes[0].serial == "RM2";
    })) << "the scan drops the streaming device";
    EXPECT_EQ(tovamod_DevicesInMeasureMode(), 0);
    ASSERT_TRUE(masters[1]->Send(kNotification));
    EXPECT_TRUE(WaitUntil([&] { return Calls() == 1; })) << "the other device's notification is raised";
}

}  // namespace
