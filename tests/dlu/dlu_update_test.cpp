// The logger's firmware update against a simulated logger.
#include <gtest/gtest.h>

#include "dlu_support.h"
#include "z5sim_fault.h"

using dlu_test::Bytes;
using dlu_test::Logger;
using dlu_test::VectorStream;
using z5sim::DataLogger;
using z5sim::Fault;

namespace {

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

class LoggerUpdate : public Logger {
protected:
    int32_t Start(uint32_t size) {
        const uint8_t hardware[] = {2};
        return dlu->UpdateStart(0, 0x0109, 1, 1, static_cast<int32_t>(size), 3, 1, hardware);
    }
};

}  // namespace

TEST_F(LoggerUpdate, WholePartEndToEnd) {
    const Bytes image = Pattern(450);
    const uint8_t hardware[] = {3};
    ASSERT_EQ(dlu->UpdateStart(1, 0x0105, 2, 3, 450, 4, 1, hardware), 0);
    VectorStream stream(image);
    ASSERT_EQ(dlu->UpdateBlocks(1, 1, &stream.holder), 0);
    ASSERT_EQ(dlu->UpdateFinish(1, DataLogger::Crc32(image)), 0);

    const auto fw = sim->GetFirmware();
    EXPECT_EQ(fw.startFrame, (Bytes{0x7D, 0x10, 0x21, 0x01, 0x00, 0x05, 0x01, 0x02, 0x03, 0xC2, 0x01, 0x00, 0x00,
                                    0x04, 0x00, 0x01, 0x03, 0x00, 0x7E}));
    EXPECT_EQ(fw.blockOffsets, (std::vector<uint32_t>{0, 200, 400}));
    EXPECT_EQ(fw.blockLengths, (std::vector<size_t>{200, 200, 50}));
    EXPECT_EQ(fw.image, image);
    EXPECT_TRUE(fw.crcMatched);

    const auto frames = sim->ReceivedFrames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[1].size(), 210u);
    EXPECT_EQ(frames[1][1], 207);
    EXPECT_EQ(frames[3].size(), 60u);
    EXPECT_EQ(frames[3][1], 57);
    EXPECT_EQ(frames[4], (Bytes{0x7D, 0x07, 0x23, 0x01, 0x00, static_cast<uint8_t>(DataLogger::Crc32(image)),
                                static_cast<uint8_t>(DataLogger::Crc32(image) >> 8),
                                static_cast<uint8_t>(DataLogger::Crc32(image) >> 16),
                                static_cast<uint8_t>(DataLogger::Crc32(image) >> 24), 0x7E}));
}

TEST_F(LoggerUpdate, StartAndFinishFailures) {
    struct Case {
        const char* name;
        Fault fault;
        int32_t result;
    };
    const std::vector<Case> starts = {
        {"no byte after the start frame", Fault::NoAnswer().OnCommand(0x21), -1},
        {"refused with its code", Fault::Refuse(3).OnCommand(0x21), 3},
        {"refused without a code", Fault::Refuse(0).OnCommand(0x21), -1},
        {"late but within the wait", Fault::Late(100).OnCommand(0x21), 0},
    };
    for (const auto& c : starts) {
        SCOPED_TRACE(c.name);
        sim->PushFault(c.fault);
        EXPECT_EQ(Start(10), c.result);
    }
    // The part is 10 bytes; a wrong check value is refused, a silent finish fails.
    const Bytes image = Pattern(10);
    ASSERT_EQ(Start(10), 0);
    VectorStream stream(image);
    ASSERT_EQ(dlu->UpdateBlocks(0, 1, &stream.holder), 0);
    EXPECT_EQ(dlu->UpdateFinish(0, DataLogger::Crc32(image) ^ 1), DataLogger::kErrorCrc);
    sim->PushFault(Fault::NoAnswer().OnCommand(0x23));
    EXPECT_EQ(dlu->UpdateFinish(0, DataLogger::Crc32(image)), -1);
    EXPECT_EQ(dlu->UpdateFinish(0, DataLogger::Crc32(image)), 0);
}

TEST_F(LoggerUpdate, BlockAttempts) {
    struct Case {
        const char* name;
        int refusals;
        bool silent;
        int32_t result;
        size_t frames;
    };
    const std::vector<Case> cases = {
        {"acknowledged on the tenth attempt", 9, false, 0, 11},
        {"refused ten times", 10, false, -1, 10},
        {"silent ten times", 10, true, -1, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes image = Pattern(250);
        ASSERT_EQ(Start(250), 0);
        for (int i = 0; i < c.refusals; ++i)
            sim->PushFault((c.silent ? Fault::NoAnswer() : Fault::Refuse(1)).OnCommand(0x22));
        sim->ClearReceived();
        VectorStream stream(image);
        EXPECT_EQ(dlu->UpdateBlocks(0, 1, &stream.holder), c.result);
        // Every attempt repeats the first block; after the tenth failure nothing follows.
        const auto frames = sim->ReceivedFrames();
        ASSERT_EQ(frames.size(), c.frames);
        for (size_t i = 0; i < 10; ++i) EXPECT_EQ(frames[i], frames[0]) << i;
        if (c.result == 0) {
            EXPECT_EQ(sim->GetFirmware().image, image);
        }
        sim->ClearFaults();
    }
}

TEST_F(LoggerUpdate, PartsThatCannotGo) {
    const uint8_t hardware[121] = {};
    EXPECT_EQ(dlu->UpdateStart(0, 0x0109, 1, 1, 10, 3, 121, hardware), -1);
    EXPECT_EQ(dlu->UpdateStart(0, 0x0109, 1, 1, 10, 3, 1, nullptr), -1);

    ASSERT_EQ(Start(10), 0);
    sim->ClearReceived();
    VectorStream tooLarge(Bytes(10), int64_t{DataLogger::kImageSize} + 1);
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &tooLarge.holder), -1);
    VectorStream unreadable(Pattern(300));
    unreadable.failAt = 0;
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &unreadable.holder), -1);
    VectorStream shorter(Pattern(10), 300);  // says 300, holds 10
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &shorter.holder), -1);
    FirmwareStream* none = nullptr;
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &none), -1);
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, nullptr), -1);
    EXPECT_TRUE(sim->ReceivedFrames().empty());

    VectorStream empty(Bytes{});
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &empty.holder), 0);
    EXPECT_TRUE(sim->ReceivedFrames().empty());
}
