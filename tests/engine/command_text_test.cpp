// Command texts and bit counts.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "uRTUU.h"

namespace {

TEST(CommandText, ParsesCodeAndValues) {
    struct Case {
        std::string text;
        bool ok;
        int32_t code, v1, v2, v3;
    };
    const std::vector<Case> cases = {
        {"0017,1,\r", true, 17, 1, 0, 0},
        {"0025,1,\r", true, 25, 1, 0, 0},
        {"0009,0,\r", true, 9, 0, 0, 0},
        {"0020,3,-4,500,\r", true, 20, 3, -4, 500},
        {"0020,1,2,3,4,\r", true, 20, 1, 2, 3},  // a fourth value is not read
        {"18,0,\r", true, 18, 0, 0, 0},           // five characters go whatever the code's length
        {"0005,\r", true, 5, 0, 0, 0},
        {"0017,1,", false, -7, 0, 0, 0},          // no carriage return: code untouched
        {"", false, -7, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t code = -7, v1 = 9, v2 = 9, v3 = 9;
        EXPECT_EQ(ParseCommandText(c.text, code, v1, v2, v3), c.ok);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(v1, c.v1);
        EXPECT_EQ(v2, c.v2);
        EXPECT_EQ(v3, c.v3);
    }
}

TEST(CommandText, NonIntegersRaiseAConversionError) {
    for (const char* text : {",1,\r", "00x5,1,\r", "0005,a,\r", "0005,1 ,\r", "\r", "99999999999,\r"}) {
        SCOPED_TRACE(text);
        int32_t code = 0, v1, v2, v3;
        EXPECT_THROW(ParseCommandText(text, code, v1, v2, v3), std::invalid_argument);
    }
}

TEST(BitCount, CountsSetBits) {
    EXPECT_EQ(CountBits32(11), 3u);
    EXPECT_EQ(CountBits32(0xFFFFFFFFu), 32u);
    EXPECT_EQ(CountBits32(0), 0u);
    EXPECT_EQ(CountBits32(0x1FF & 0xFF), 8u);
    EXPECT_EQ(CountBits(nullptr, 0), 0u);
    const uint8_t bytes[] = {0x80, 0x01, 0xF0, 0x0F, 0x55};
    EXPECT_EQ(CountBits(bytes, 5), 14u);
    EXPECT_EQ(CountBits(bytes, 2), 2u);
}

}  // namespace
