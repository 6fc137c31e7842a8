// Latest values of a unit whose 32-bit values come in two halves (mode 18).
#include "engine_support.h"

using namespace engine_test;
using z5sim::RadioUnit;

namespace {

constexpr int32_t kUntouched = -5;

class Mode18 : public RadioLine {
protected:
    void SetUp() override {
        RadioLine::SetUp();
        rm->SetUnit(RadioUnit::Remote(7, 0));
    }
    void Replies(std::vector<std::vector<uint16_t>> replies) {
        rm->EditUnit(7, [&](RadioUnit& u) { u.latest = std::move(replies); });
    }
};

TEST_F(Mode18, CombinesHighAndLowHalves) {
    struct Case {
        const char* name;
        std::vector<std::vector<uint16_t>> replies;
        int32_t result;
        std::vector<int32_t> values;
        size_t frames;
    };
    const std::vector<uint16_t> high{0x0001, 0x0002, 0xFFFF, 0x0000, 0x0001};
    const std::vector<uint16_t> low{0x0010, 0x0020, 0x0030, 0x0040, 0x0000};
    const std::vector<int32_t> combined{0x00010010, 0x00020020, static_cast<int32_t>(0xFFFF0030u), 0x40, 0};
    const std::vector<int32_t> untouched(5, kUntouched);
    const std::vector<uint16_t> lowStatus1{0x0010, 0x0020, 0x0030, 0x0040, 0x0001};
    const std::vector<uint16_t> notYet{9, 9, 9, 9, 0x00FE};  // bits 1-7 do not count: s = 0
    const std::vector<Case> cases = {
        {"two halves", {high, low}, 0, combined, 2},
        {"second status 1", {high, lowStatus1},
         -1, {0x00010010, 0x00020020, static_cast<int32_t>(0xFFFF0030u), 0x40, 1}, 2},
        {"other status: nothing written", {{1, 2, 3, 4, 0x0100}}, 0, untouched, 1},
        {"other status with bit 0", {{1, 2, 3, 4, 0x0201}}, 0, untouched, 1},
        {"not yet, then halves", {notYet, high, low}, 0, combined, 3},
        {"never ready: restarts used up", {notYet}, -1, untouched, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Replies(c.replies);
        std::vector<int32_t> values(5, kUntouched);
        EXPECT_EQ(dev->ReadLatest(7, 5, values.data(), 18), c.result);
        EXPECT_EQ(values, c.values);
        const auto sent = Sent();
        EXPECT_EQ(sent.size(), c.frames);
        for (const auto& f : sent) EXPECT_EQ(f, B({0x7D, 0x03, 0x01, 0x07, 0x00, 0x7E}));
    }
}

TEST_F(Mode18, SixValuesTakeTheSixthAsStatus) {
    Replies({{1, 2, 3, 4, 5, 0x0001}, {6, 7, 8, 9, 10, 0}});
    int32_t values[5] = {};
    EXPECT_EQ(dev->ReadLatest(7, 6, values, 18), 0);
    EXPECT_EQ(values[0], 0x00010006);
    EXPECT_EQ(values[3], 0x00040009);
    EXPECT_EQ(values[4], 10);
}

TEST_F(Mode18, NoSecondReplyFails) {
    Replies({{1, 2, 3, 4, 1}});
    for (int i = 0; i < 4; ++i) rm->PushFault(z5sim::Fault::NoAnswer().OnCommand(0x01).Skip(i == 0 ? 1 : 0));
    std::vector<int32_t> values(5, kUntouched);
    EXPECT_EQ(dev->ReadLatest(7, 5, values.data(), 18), -1);
    EXPECT_EQ(values, std::vector<int32_t>(5, kUntouched));
    EXPECT_EQ(Sent(5).size(), 5u);
}

TEST_F(Mode18, CountsThatCannotBeCombinedAreRefused) {
    Replies({{1, 2, 3, 4, 1, 0, 0}});
    int32_t values[7] = {};
    for (int32_t n : {0, 4, 7}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(dev->ReadLatest(7, n, values, 18), -1);
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Mode18, ReplyWithFewerValuesThanAskedFails) {
    Replies({{1, 2, 3, 1}});
    std::vector<int32_t> values(5, kUntouched);
    EXPECT_EQ(dev->ReadLatest(7, 5, values.data(), 18), -1);
    EXPECT_EQ(values, std::vector<int32_t>(5, kUntouched));
    EXPECT_EQ(dev->ReadLatest(7, 5, values.data(), 0), -1);
    EXPECT_EQ(values, std::vector<int32_t>(5, kUntouched));
    EXPECT_EQ(dev->ReadLatest(7, 4, values.data(), 0), 0);
    EXPECT_EQ(values[3], 1);
}

}  // namespace
