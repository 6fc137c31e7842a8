// The radio base family's update frames on the wire, and the arguments that are
// refused before anything goes out.
#include "firmware_support.h"

using namespace firmware_test;

namespace {

class UpdateFrames : public FirmwareLine {};

TEST_F(UpdateFrames, StartFrameWithOneHardwareVersion) {
    const uint8_t hardware[] = {3};
    // Part 2 of 3 without part 1 before it: the device refuses, with its code.
    EXPECT_EQ(dev->UpdateStart(1, 0x0105, 2, 3, 70000, 4, 1, hardware), FirmwareReceiver::kErrorStart);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (Bytes{0x7D, 0x10, 0x21, 0x01, 0x00, 0x05, 0x01, 0x02, 0x03, 0x70, 0x11, 0x01, 0x00, 0x04,
                              0x00, 0x01, 0x03, 0x00, 0x7E}));
}

TEST_F(UpdateFrames, StartFrameWithoutHardwareVersions) {
    // Nil list with count 0 is fine; the device misses its own version in the list.
    EXPECT_EQ(dev->UpdateStart(0, 0x0105, 1, 1, 250, 4, 0, nullptr), FirmwareReceiver::kErrorHardware);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 17u);
    EXPECT_EQ(sent[0][1], 14);
    EXPECT_EQ(sent[0][15], 0);
    EXPECT_EQ(sent[0][16], 0x7E);
}

TEST_F(UpdateFrames, FinishFrame) {
    // No target at 0x0100 behind this base: nobody answers.
    EXPECT_EQ(dev->UpdateFinish(0x0100, 0x12345678), -1);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (Bytes{0x7D, 0x07, 0x23, 0x00, 0x01, 0x78, 0x56, 0x34, 0x12, 0x7E}));
}

TEST_F(UpdateFrames, ImageOf250BytesGoesOutAsThreeBlocks) {
    const Bytes image = Pattern(250);
    ASSERT_EQ(Start(0, 0x0102, 1, 1, image.size()), 0);
    Sent();
    VectorStream stream(image);
    ASSERT_EQ(dev->UpdateBlocks(0, 1, &stream.holder), 0);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    const uint32_t offsets[] = {0, 100, 200};
    const size_t lengths[] = {100, 100, 50};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Bytes& f = sent[i];
        ASSERT_EQ(f.size(), lengths[i] + 10);
        EXPECT_EQ(f[0], 0x7D);
        EXPECT_EQ(f[1], lengths[i] + 7);
        EXPECT_EQ(f[2], 0x22);
        EXPECT_EQ(f[3], 0x00);
        EXPECT_EQ(f[4], 0x00);
        EXPECT_EQ(f[5] | f[6] << 8 | f[7] << 16 | f[8] << 24, static_cast<int>(offsets[i]));
        EXPECT_TRUE(std::equal(f.begin() + 9, f.end() - 1, image.begin() + offsets[i]));
        EXPECT_EQ(f.back(), 0x7E);
    }
    const auto part = rm->Firmware(0).LastPart();
    EXPECT_EQ(part.image, image);
    EXPECT_EQ(dev->UpdateFinish(0, z5sim::FirmwareCrc32(image)), 0);
}

// Arguments that do not fit: -1 and not a byte on the line (the stream not read).
TEST_F(UpdateFrames, RefusedBeforeAnythingIsSent) {
    std::vector<uint8_t> many(130, kHardware);
    struct StartCase {
        const char* name;
        int32_t count;
        const uint8_t* list;
    };
    for (const StartCase& c : {StartCase{"count above 120", 121, many.data()}, StartCase{"negative count", -1, many.data()},
                               StartCase{"nil list with a count", 2, nullptr}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dev->UpdateStart(0, 0x0102, 1, 1, 10, kDeviceClass, c.count, c.list), -1);
    }

    struct BlockCase {
        const char* name;
        size_t bytes;
        std::optional<int64_t> claimed;
    };
    for (const BlockCase& c : {BlockCase{"one byte beyond the image", 100001, {}},
                               BlockCase{"negative size", 10, -5},
                               BlockCase{"low 32 bits negative", 10, int64_t{0x1FFFFFFF0}}}) {
        SCOPED_TRACE(c.name);
        VectorStream stream(Pattern(c.bytes), c.claimed);
        EXPECT_EQ(dev->UpdateBlocks(0, 1, &stream.holder), -1);
        EXPECT_EQ(stream.reads, 0);
    }
    // A stream that cannot be read whole: shorter than its size, or failing.
    VectorStream shorter(Pattern(300), 400);
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &shorter.holder), -1);
    VectorStream failing(Pattern(300));
    failing.failAt = 0;
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &failing.holder), -1);
    // The largest part is read.
    VectorStream largest(Pattern(100000));
    largest.failAt = 0;
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &largest.holder), -1);
    EXPECT_EQ(largest.reads, 1);
    FirmwareStream* none = nullptr;
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &none), -1);
    EXPECT_EQ(dev->UpdateBlocks(0, 1, nullptr), -1);

    VectorStream empty(Bytes{});
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &empty.holder), 0) << "a part of 0 bytes";
    EXPECT_TRUE(rm->ReceivedBytes().empty());
}

TEST_F(UpdateFrames, LargestHardwareList) {
    std::vector<uint8_t> list(120, 9);
    list.back() = kHardware;
    EXPECT_EQ(dev->UpdateStart(0, 0x0103, 1, 1, 100000, kDeviceClass, 120, list.data()), 0);
    const auto start = Sent();
    ASSERT_EQ(start.size(), 1u);
    ASSERT_EQ(start[0].size(), 257u);
    EXPECT_EQ(start[0][1], 254);
    EXPECT_EQ(start[0][15], 120);
    EXPECT_EQ(start[0][16 + 2 * 119], kHardware);
    EXPECT_EQ(rm->Firmware(0).LastPart().hardware, list);
}

TEST_F(UpdateFrames, DestroyingOrClosedDeviceSendsNothing) {
    const Bytes image = Pattern(10);
    VectorStream stream(image);
    dev->CloseDevice();
    EXPECT_EQ(Start(0, 0x0102, 1, 1, 10), -1);
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &stream.holder), -1);
    EXPECT_EQ(dev->UpdateFinish(0, 0), -1);
    ASSERT_EQ(dev->OpenDevice(921600, 0), 0);
    dev->IsDestroying = true;
    EXPECT_EQ(Start(0, 0x0102, 1, 1, 10), -1);
    EXPECT_EQ(dev->UpdateBlocks(0, 1, &stream.holder), -1);
    EXPECT_EQ(dev->UpdateFinish(0, 0), -1);
    EXPECT_EQ(stream.reads, 0);
    EXPECT_TRUE(rm->ReceivedBytes().empty());
}

}  // namespace
