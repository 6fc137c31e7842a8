// Directory and header replies read into file records, without a device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tovamod.h"
#include "uDLUFileData.h"
#include "uNumberText.h"

namespace {

std::span<const uint8_t> Span(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

std::string Str(const char* s) { return s ? std::string(s) : std::string("<null>"); }

struct Record {
    TDLUFileInfo r{};
    ~Record() { z5_dlu_free_texts(&r); }
};

}  // namespace

TEST(DLUDirectory, Entries) {
    struct Case {
        const char* name;
        std::string reply;
        bool ok;
        std::vector<std::pair<std::string, int32_t>> entries;
    };
    const std::vector<Case> cases = {
        {"two files", "08031501(1234)\r\n08031502( 567)\r\n", true, {{"08031501", 1234}, {"08031502", 567}}},
        {"letters vanish", "A0803b1501(1Z2)\r\n", true, {{"08031501", 12}}},
        {"ends at the first zero", std::string("08031501(1)\r\n\0" "08031502(2)\r\n", 27), true, {{"08031501", 1}}},
        {"nothing", "", true, {}},
        {"a zero first", std::string("\0(1)", 4), true, {}},
        {"names are cut at 12", "0123456789012345(5)\r\n", true, {{"012345678901", 5}}},
        {"size is no number", "08031501(12)\r\n08031502(1-2)\r\n", false, {{"08031501", 12}}},
        {"size missing at the end", "08031501", false, {}},
        {"size beyond 32 bits", "08031501(2147483648)\r\n", false, {}},
        {"size text beyond 20 characters", "1(000000000000000000001)\r\n", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TDLUDirectoryEntry> entries;
        EXPECT_EQ(ParseDLUDirectory(Span(c.reply), entries), c.ok);
        std::vector<std::pair<std::string, int32_t>> got;
        for (const auto& e : entries) got.emplace_back(e.Name, e.Size);
        EXPECT_EQ(got, c.entries);
    }
}

TEST(DLUDirectory, AtMost201Entries) {
    std::string reply;
    for (int i = 0; i < 250; ++i) reply += "0801" + std::to_string(1000 + i) + "(" + std::to_string(i) + ")\r\n";
    std::vector<TDLUDirectoryEntry> entries;
    EXPECT_TRUE(ParseDLUDirectory(Span(reply), entries));
    ASSERT_EQ(entries.size(), 201u);
    EXPECT_EQ(entries.back().Name, "08011200");
}

TEST(DLUDirectory, RefusalAndNames) {
    const std::string refusal("\x7D\x04\x52\xFE\xFF\x02\x7E", 7);
    EXPECT_TRUE(IsDLUDirectoryRefusal(Span(refusal)));
    std::string other = refusal;
    other[5] = 1;
    EXPECT_FALSE(IsDLUDirectoryRefusal(Span(other)));
    EXPECT_FALSE(IsDLUDirectoryRefusal(Span(refusal.substr(0, 5))));

    EXPECT_EQ(DLUDateFromName("08031501"), "15.03.08");
    EXPECT_EQ(DLUDateFromName("0803"), ".03.08");
    EXPECT_EQ(DLUNameBytes("08031501"), (std::array<uint8_t, 8>{'0', '8', '0', '3', '1', '5', '0', '1'}));
    EXPECT_EQ(DLUNameBytes("0803150199"), (std::array<uint8_t, 8>{'0', '8', '0', '3', '1', '5', '0', '1'}));
    EXPECT_EQ(DLUNameBytes("08"), (std::array<uint8_t, 8>{'0', '8', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(DLUNameBytes(nullptr), (std::array<uint8_t, 8>{}));
}

TEST(DLUHeader, TypesAndRows) {
    // Type 2: the channel-count digit follows the type digit after one character.
    Record a;
    const std::string type2 = "Lab\r\nRun\r\n2\t2\r\nT1\tT2\t\r\nx\ty\t\r\n^C\tV\t\r\n1,5\t-2\t0,25\t1E2\t\r\n";
    ASSERT_TRUE(ParseDLUHeader(Span(type2), a.r));
    EXPECT_EQ(a.r.Valid, 1);
    EXPECT_EQ(Str(a.r.Line1), "Lab");
    EXPECT_EQ(Str(a.r.Line2), "Run");
    EXPECT_EQ(a.r.FileType, 2);
    EXPECT_EQ(a.r.TypeNumber, 0);
    EXPECT_EQ(a.r.ChannelCount, 2);
    EXPECT_EQ(Str(a.r.ChannelText1[1]), "T2");
    EXPECT_EQ(Str(a.r.ChannelText2[0]), "x");
    EXPECT_EQ(Str(a.r.ChannelUnit[0]), "\xB0" "C");
    EXPECT_FLOAT_EQ(a.r.ChannelValue1[0], 1.5f);
    EXPECT_FLOAT_EQ(a.r.ChannelValue2[0], -2.0f);
    EXPECT_FLOAT_EQ(a.r.ChannelValue1[1], 0.25f);
    EXPECT_FLOAT_EQ(a.r.ChannelValue2[1], 100.0f);

    Record b;
    const std::string type0 = "Lab\r\n\r\n0\t0250\t7\t1\r\nA\t\r\nB\t\r\nmV\t\r\n3\t4\t";
    ASSERT_TRUE(ParseDLUHeader(Span(type0), b.r));
    EXPECT_EQ(b.r.TypeNumber, 250);
    EXPECT_EQ(b.r.TypeDigit, 7);
    EXPECT_EQ(b.r.ChannelCount, 1);
    EXPECT_FLOAT_EQ(b.r.ChannelValue2[0], 4.0f);
}

TEST(DLUHeader, RejectedAndBroken) {
    struct Case {
        const char* name;
        std::string reply;
        bool ok;
        uint8_t valid;
        uint8_t channels;
    };
    const std::vector<Case> cases = {
        {"empty", "", true, 0, 0},
        {"begins with a space", " Lab\r\nRun\r\n2\t1\r\n", true, 0, 0},
        {"begins above z", "{Lab\r\n", true, 0, 0},
        {"type number no number", "Lab\r\n\r\n0\t02x0\t7\t1\r\n", false, 1, 0},
        {"number missing at the end", "Lab\r\n\r\n2\t1\r\nA\t\r\nB\t\r\nC\t\r\n1\t", false, 1, 1},
        {"number with a point", "Lab\r\n\r\n2\t1\r\nA\t\r\nB\t\r\nC\t\r\n1.5\t2\t", false, 1, 1},
        {"nine channels held to six", "Lab\r\n\r\n2\t9\r\n1\t2\t3\t4\t5\t6\t7\t8\t9\t", false, 1, 6},
        {"a count below 0", "Lab\r\n\r\n2\t \r\n\r\n\r\n\r\n", true, 1, 0},
        {"cut after the first line", "Lab", true, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record r;
        EXPECT_EQ(ParseDLUHeader(Span(c.reply), r.r), c.ok);
        EXPECT_EQ(r.r.Valid, c.valid);
        EXPECT_EQ(r.r.ChannelCount, c.channels);
        if (!c.valid) {
            EXPECT_EQ(Str(r.r.Line1), "");
            EXPECT_EQ(r.r.Line2, nullptr);
        }
    }
}

TEST(NumberText, DecimalCommaDouble) {
    struct C {
        const char* text;
        bool ok;
        double value;
    };
    const C cases[] = {
        {"1,5", true, 1.5},   {"-0,25", true, -0.25}, {" 2 ", true, 2.0},   {"1,5E2", true, 150.0},
        {",5", true, 0.5},    {"3,", true, 3.0},      {"+1", true, 1.0},    {"1.5", false, 0},
        {"", false, 0},       {",", false, 0},        {"1,5,0", false, 0},  {"1e", false, 0},
        {"inf", false, 0},    {"1e999", false, 0},    {"0x1", false, 0},    {"1 5", false, 0},
    };
    for (const C& c : cases) {
        double v = 0;
        EXPECT_EQ(DecimalTextToDouble(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
}
