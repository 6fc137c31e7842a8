// The radio base's line while it is destroyed: closed once, and no longer read by
// its reader once closed, so another object can use the line.
#include <future>

#include "radio_support.h"

using namespace radio_test;

namespace {

class Line : public RadioBase {};

TEST_F(Line, DuringTheDestructorsWaitTheLineBelongsToTheNextOwner) {
    rm->Join(Remote({5, 5}));
    Allow({5});
    ASSERT_TRUE(Refresh());

    TRTUU next;
    next.SetSerialNo(kSerial);
    EXPECT_EQ(next.OpenDevice(921600, 0), -1);  // the line is taken
    const uint32_t start = z5::Tick();
    auto destroyed = std::async(std::launch::async, [this] { dev.reset(); });
    // The destructor closes first, before it frees its sensors and reader.
    ASSERT_TRUE(WaitUntil([&] { return next.OpenDevice(921600, 0) == 0; }));
    EXPECT_LT(z5::TicksSince(start), 1200u);
    // Requests of the new owner get their replies while the old object waits.
    int answered = 0;
    while (z5::TicksSince(start) < 1100) {
        EXPECT_EQ(next.GetRTUUParam(6), 11);
        ++answered;
    }
    destroyed.get();
    EXPECT_GT(answered, 0);
    EXPECT_EQ(next.GetRTUUParam(6), 11);  // the old object's closes never reached this line
}

}  // namespace
