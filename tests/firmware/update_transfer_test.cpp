// Whole parts to the simulated Radio Master and its radio unit, and what the
// device's refusals, silence and unplugging make of each step.
#include <atomic>
#include <thread>

#include "firmware_support.h"
#include "z5sim_fault.h"

using namespace firmware_test;
using z5sim::Fault;

namespace {

class UpdateTransfer : public FirmwareLine {
protected:
    // The firmware version the target reports (parameter 1).
    int64_t Version(int32_t address) { return address == 0 ? dev->GetRTUUParam(1) : dev->ReadParam(address, 1); }
};

TEST_F(UpdateTransfer, TwoPartsToTheBaseAndToItsRadioUnit) {
    for (int32_t address : {0, 1}) {
        SCOPED_TRACE(address);
        const int64_t before = Version(address);
        const Bytes first = Pattern(320, 1), second = Pattern(250, 2);
        ASSERT_EQ(Part(address, 0x0203, 1, 2, first), 0);
        EXPECT_EQ(Version(address), before) << "not before the last part";
        ASSERT_EQ(Part(address, 0x0203, 2, 2, second), 0);
        EXPECT_EQ(Version(address), 0x0203);

        const auto& receiver = rm->Firmware(static_cast<uint16_t>(address));
        EXPECT_EQ(receiver.PartsCompleted(), 2u);
        const auto part = receiver.LastPart();
        EXPECT_EQ(part.image, second);
        EXPECT_TRUE(part.crcMatched);
        EXPECT_EQ(part.partIndex, 2);
    }
    // The other target was not touched by either update.
    EXPECT_EQ(rm->Firmware(0).LastPart().address, 0);
    EXPECT_EQ(rm->Firmware(1).LastPart().address, 1);
}

TEST_F(UpdateTransfer, WrongCheckValueGivesTheDevicesCode) {
    const Bytes image = Pattern(180);
    ASSERT_EQ(Start(1, 0x0300, 1, 1, image.size()), 0);
    VectorStream stream(image);
    ASSERT_EQ(dev->UpdateBlocks(1, 1, &stream.holder), 0);
    EXPECT_EQ(dev->UpdateFinish(1, z5sim::FirmwareCrc32(image) ^ 1), FirmwareReceiver::kErrorCheck);
    EXPECT_NE(Version(1), 0x0300);
    // Resumed at the failed part, it goes through.
    EXPECT_EQ(Part(1, 0x0300, 1, 1, image), 0);
    EXPECT_EQ(Version(1), 0x0300);
}

TEST_F(UpdateTransfer, BlockRefusedNineTimesThenTakenBlockRefusedTenTimesFails) {
    const Bytes image = Pattern(250);
    struct Case {
        unsigned refusals;
        int32_t result;
        size_t frames;  // block frames sent
    };
    for (const Case& c : {Case{9, 0, 9 + 3}, Case{10, 4, 10}}) {
        SCOPED_TRACE(c.refusals);
        auto& receiver = rm->Firmware(0);
        ASSERT_EQ(Start(0, 0x0102, 1, 1, image.size()), 0);
        Sent();
        receiver.RefuseBlocks(c.refusals, 4);
        VectorStream stream(image);
        EXPECT_EQ(dev->UpdateBlocks(0, 1, &stream.holder), c.result);
        const auto sent = Sent();
        ASSERT_EQ(sent.size(), c.frames);
        // A refused block goes out again with the same offset.
        for (size_t i = 0; i < c.refusals; ++i) EXPECT_EQ(sent[i], sent[0]) << i;
        if (c.result == 0) {
            EXPECT_EQ(receiver.LastPart().image, image);
        }
    }
}

TEST_F(UpdateTransfer, ReceiverRefusalsCarryTheirCodes) {
    auto& receiver = rm->Firmware(0);
    receiver.RefuseNextStart(2);
    EXPECT_EQ(Start(0, 0x0102, 1, 1, 10), 2);
    EXPECT_EQ(Start(0, 0x0102, 1, 1, 10), 0) << "refused once only";

    const uint8_t other[] = {7};
    EXPECT_EQ(dev->UpdateStart(0, 0x0102, 1, 1, 10, kDeviceClass, 1, other), FirmwareReceiver::kErrorHardware);
    const uint8_t own[] = {kHardware};
    EXPECT_EQ(dev->UpdateStart(0, 0x0102, 1, 1, 10, kDeviceClass + 1, 1, own), FirmwareReceiver::kErrorDeviceClass);
    EXPECT_EQ(dev->UpdateStart(0, 0x0102, 1, 1, 100001, kDeviceClass, 1, own), FirmwareReceiver::kErrorStart);
    EXPECT_EQ(dev->UpdateFinish(0, 0), FirmwareReceiver::kErrorCheck) << "no part started";
}

// What an earlier exchange left in the receive buffer never counts: a silent or
// cut reply is a failure, never 0.
TEST_F(UpdateTransfer, NoFreshWholeReplyIsAFailure) {
    // The last request before an update reads parameter 0: its reply has 0 at byte 5.
    ASSERT_EQ(dev->GetRTUUParam(0), kHardware);
    auto& receiver = rm->Firmware(0);
    receiver.SetSilent(true);
    EXPECT_EQ(Start(0, 0x0102, 1, 1, 10), -1);
    receiver.SetSilent(false);

    // After an acknowledged start the buffer holds an acknowledgement.
    ASSERT_EQ(Start(0, 0x0102, 1, 1, 10), 0);
    receiver.SetSilent(true);
    Sent();
    VectorStream stream(Pattern(10));
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &stream.holder), -1);
    EXPECT_EQ(Sent().size(), 10u) << "ten block attempts";
    EXPECT_EQ(dev->UpdateFinish(0, 0), -1);
    receiver.SetSilent(false);

    struct Case {
        const char* name;
        Fault fault;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"refusal without a code", Fault::Refuse(0).OnCommand(0x21), -1},
        {"refusal with a code", Fault::Refuse(5).OnCommand(0x21), 5},
        {"late, within the wait", Fault::Late(1000).OnCommand(0x21), 0},
        // Last: the rest of the cut reply comes after the wait.
        {"cut after three bytes", Fault::Split(3, 3000).OnCommand(0x21), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rm->PushFault(c.fault);
        EXPECT_EQ(Start(0, 0x0102, 1, 1, 10), c.result);
    }
}

TEST_F(UpdateTransfer, UnplugMidPart) {
    const Bytes image = Pattern(1000);
    ASSERT_EQ(Start(1, 0x0102, 1, 1, image.size()), 0);
    FirmwareReceiver::UnplugAtBlock(*rm, 3);
    VectorStream stream(image);
    EXPECT_NE(dev->UpdateBlocks(1, 1, &stream.holder), 0);
    EXPECT_FALSE(rm->Plugged());
    // The fourth block came in, but its answer never went out.
    EXPECT_EQ(rm->Firmware(1).LastPart().blockOffsets.size(), 4u);
    EXPECT_NE(dev->UpdateFinish(1, z5sim::FirmwareCrc32(image)), 0);
    EXPECT_NE(Start(1, 0x0102, 1, 1, image.size()), 0);
}

TEST_F(UpdateTransfer, DestructionEndsARunningTransfer) {
    ASSERT_EQ(Start(0, 0x0102, 1, 1, 100000), 0);
    rm->Firmware(0).SetSilent(true);
    VectorStream stream(Pattern(100000));
    TRTUU* device = dev.get();
    std::atomic<int32_t> result{1};
    std::chrono::steady_clock::time_point ended;
    rm->ClearReceived();
    std::thread transfer([&] {
        result = device->UpdateBlocks(0, 1, &stream.holder);
        ended = std::chrono::steady_clock::now();
    });
    ASSERT_TRUE(rm->WaitForMessages(2));
    const auto begun = std::chrono::steady_clock::now();
    dev.reset();  // sets IsDestroying, then waits for D2XXLock to close the line
    transfer.join();
    EXPECT_EQ(result.load(), -1);
    // Well before the block's ten silent attempts (a second here) are used up.
    EXPECT_LT(ended - begun, std::chrono::milliseconds(500));
}

}  // namespace
