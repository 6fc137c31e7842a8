#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "fake_parser_target.h"
#include "uNumberText.h"
#include "uStreamParser.h"

using Bytes = std::vector<uint8_t>;

namespace {

// 7D LEN 08 aL aH t0 t1 t2 t3 values(16-bit LE) 7E
Bytes Frame(uint16_t address, uint32_t timeCount, std::vector<uint16_t> values) {
    Bytes f{0x7D, static_cast<uint8_t>(7 + 2 * values.size()), 0x08, static_cast<uint8_t>(address),
            static_cast<uint8_t>(address >> 8)};
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<uint8_t>(timeCount >> (8 * i)));
    for (uint16_t v : values) {
        f.push_back(static_cast<uint8_t>(v));
        f.push_back(static_cast<uint8_t>(v >> 8));
    }
    f.push_back(0x7E);
    return f;
}

// A frame of another command: 7D LEN CMD payload 7E.
Bytes Reply(uint8_t command, Bytes payload) {
    Bytes f{0x7D, static_cast<uint8_t>(payload.size() + 1), command};
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(0x7E);
    return f;
}

Bytes Short(uint8_t command, uint16_t address) {
    return {0x7D, 0x03, command, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0x7E};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::vector<uint16_t> Count(int n, uint16_t first = 1) {
    std::vector<uint16_t> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint16_t>(first + i));
    return v;
}

struct Setup {
    std::vector<FakeSensor> sensors;
    uint32_t timeBase = 10;
    int32_t sensorCountSum = 2;
    bool ascii = false;
    int32_t asciiChannels = 0;
    bool hasSensor0 = true;
};

struct Rig {
    FakeParserTarget target;
    TStreamParser parser{&target};
    explicit Rig(const Setup& s) {
        target.sensors.assign(s.sensors.begin(), s.sensors.end());
        target.sensorCountSum = s.sensorCountSum;
        target.hasSensor0 = s.hasSensor0;
        parser.SetTimeBase(s.timeBase);
        parser.SetAsciiMode(s.ascii);
        parser.SetAsciiChannelCount(s.asciiChannels);
    }
    void Feed(const Bytes& b, size_t from, size_t to) { parser.Parse(std::span(b.data() + from, to - from)); }
    void Feed(const Bytes& b) { Feed(b, 0, b.size()); }
};

struct Case {
    const char* name;
    Setup setup;
    Bytes input;
    std::vector<Sample> expected;
};

std::vector<Sample> ParseWhole(const Case& c) {
    Rig rig(c.setup);
    rig.Feed(c.input);
    return rig.target.samples;
}

// The same input in two batches split at every position, in three batches split at
// every pair of positions, and byte by byte: always the samples of the whole input.
void ExpectSplitInvariant(const Case& c) {
    const size_t n = c.input.size();
    for (size_t i = 0; i <= n; ++i) {
        Rig rig(c.setup);
        rig.Feed(c.input, 0, i);
        rig.Feed(c.input, i, n);
        ASSERT_EQ(rig.target.samples, c.expected) << c.name << ", split at " << i;
    }
    if (n <= 120) {
        for (size_t i = 0; i <= n; ++i)
            for (size_t j = i; j <= n; ++j) {
                Rig rig(c.setup);
                rig.Feed(c.input, 0, i);
                rig.Feed(c.input, i, j);
                rig.Feed(c.input, j, n);
                ASSERT_EQ(rig.target.samples, c.expected) << c.name << ", split at " << i << " and " << j;
            }
    }
    Rig rig(c.setup);
    for (size_t i = 0; i < n; ++i) rig.Feed(c.input, i, i + 1);
    ASSERT_EQ(rig.target.samples, c.expected) << c.name << ", byte by byte";
}

const FakeSensor kUnit5x2{5, 2};
const FakeSensor kUnit5x1{5, 1};

std::vector<Case> FrameCases() {
    const Bytes example{0x7D, 0x0B, 0x08, 0x05, 0x00, 0x02, 0x00, 0x00, 0x00, 0x34, 0x12, 0x7E, 0x00, 0x7E};
    const FakeSensor id18{7, 5, true, 2000};
    return {
        {"address 5, time base 10, two channels", {{kUnit5x2}}, example, {{5, {0x1234, 0x7E}, 20}}},
        {"address 5, time base 10, one channel", {{kUnit5x1}}, example, {{5, {0x1234}, 20}, {5, {0x7E}, 30}}},
        {"fourth time byte", {{kUnit5x1}}, Frame(5, 0x01000002, {9}), {{5, {9}, (16777216LL + 2) * 10}}},
        {"0x7E and 0x7D as data", {{kUnit5x2}}, Frame(5, 1, {0x7E7E, 0x7D7E, 0x7E00, 0x007D}),
         {{5, {0x7E7E, 0x7D7E}, 10}, {5, {0x7E00, 0x7D}, 20}}},
        {"unknown address, then a known one", {{kUnit5x2}}, Cat({Frame(9, 1, Count(20)), Frame(5, 2, {1, 2})}),
         {{5, {1, 2}, 20}}},
        {"bytes outside frames and other commands are skipped", {{kUnit5x1}},
         Cat({Text("\x01\x7E\x55"), Reply(0x1A, {0, 0, 1, 2}), Text("xy"), Frame(5, 1, {3}), Reply(0x18, {0, 0})}),
         {{5, {3}, 10}}},
        // A '7' or '8' counts only as a command byte.
        {"'8' in the payload of another command", {{kUnit5x1}},
         Cat({Reply(0x1A, {0, 0, 0x20, 0x38, 0x01, 0x02}), Frame(5, 1, {4})}), {{5, {4}, 10}}},
        {"LEN byte 0x37 of another command", {{kUnit5x1}},
         Cat({Reply(0x1A, Bytes(54, 0x11)), Frame(5, 1, {4})}), {{5, {4}, 10}}},
        {"measurement frame of LEN 0x37 (24 values)", {{{5, 8}}}, Frame(5, 1, Count(24)),
         {{5, {1, 2, 3, 4, 5, 6, 7, 8}, 10}, {5, {9, 10, 11, 12, 13, 14, 15, 16}, 20},
          {5, {17, 18, 19, 20, 21, 22, 23, 24}, 30}}},
        {"short frames between measurement frames", {{kUnit5x1}},
         Cat({Frame(5, 1, {1}), Short(0x38, 5), Short(0x37, 5), Frame(5, 2, {2})}), {{5, {1}, 10}, {5, {2}, 20}}},
        {"six channels are held", {{{5, 6}}}, Frame(5, 1, Count(6)), {{5, {1, 2, 3, 4, 5, 6}, 10}}},
        {"ten channels: eight values per sample, boundaries by ten", {{{5, 10}}}, Frame(5, 1, Count(20)),
         {{5, {1, 2, 3, 4, 5, 6, 7, 8}, 10}, {5, {11, 12, 13, 14, 15, 16, 17, 18}, 20}}},
        {"incomplete sample at frame end is dropped", {{{5, 3}}}, Cat({Frame(5, 1, {1, 2}), Frame(5, 2, {3, 4, 5})}),
         {{5, {3, 4, 5}, 20}}},
        // Identity 18: the fifth value's bit 0 marks the frame of high words.
        {"identity 18, one unit: high words, then low words", {{id18}, 2000, 1},
         Cat({Frame(7, 3, {1, 2, 0xFFFF, 4, 1}), Frame(7, 3, {5, 6, 7, 8, 0, 9, 10, 11, 12, 2})}),
         {{7, {65536 + 5, 131072 + 6, static_cast<int32_t>(0xFFFF0007u), 262144 + 8, 0}, 6000 - 2000},
          {7, {65536 + 9, 131072 + 10, static_cast<int32_t>(0xFFFF000Bu), 262144 + 12, 2}, 6000 + 2000 - 2000}}},
        {"identity 18, one unit: time stamp equal to the period gives 0", {{id18}, 2000, 1},
         Frame(7, 1, {5, 6, 7, 8, 0}), {{7, {5, 6, 7, 8, 0}, 0}}},
        {"identity 18, several units: low words, then last values twice", {{id18}, 2000, 3},
         Cat({Frame(7, 3, {5, 6, 7, 8, 0}), Frame(7, 4, {1, 2, 3, 4, 1}), Frame(7, 5, {1, 2, 3, 4, 1})}),
         {{7, {5, 6, 7, 8, 0}, 6000}, {7, {5, 6, 7, 8, 0}, 8000}, {7, {0, 0, 0, 0, 0}, 10000}}},
    };
}

}  // namespace

TEST(FrameParser, CasesWholeAndSplitAnywhere) {
    for (const Case& c : FrameCases()) {
        EXPECT_EQ(ParseWhole(c), c.expected) << c.name;
        ExpectSplitInvariant(c);
    }
}

TEST(FrameParser, BatchesBeyond16BitsAreParsedWhole) {
    // 6000 frames of 13 bytes and a short frame: 78006 bytes in one batch.
    Rig rig({{kUnit5x1}});
    rig.parser.SetHoldNotification(false);
    Bytes batch;
    for (uint32_t i = 0; i < 6000; ++i) {
        Bytes f = Frame(5, i, {static_cast<uint16_t>(i)});
        batch.insert(batch.end(), f.begin(), f.end());
    }
    Bytes s = Short(0x38, 5);
    batch.insert(batch.end(), s.begin(), s.end());
    rig.Feed(batch);
    ASSERT_EQ(rig.target.samples.size(), 6000u);
    EXPECT_EQ(rig.target.samples.back(), (Sample{5, {5999}, 59990}));
    EXPECT_EQ(rig.target.notifications, 1);
}

TEST(FrameParser, ShortFrameNotification) {
    struct NoteCase {
        const char* name;
        bool hold;
        std::vector<Bytes> batches;
        int notifications;
    };
    const Bytes s8 = Short(0x38, 0x0102), s7 = Short(0x37, 3), f = Frame(5, 1, {1});
    const std::vector<NoteCase> cases = {
        {"'8' ending the batch", false, {s8}, 1},
        {"'7' ending the batch", false, {s7}, 1},
        {"held right after activation", true, {s8}, 0},
        {"held until a frame has ended", true, {s8, s8}, 1},
        {"held, released by a measurement frame in the same batch", true, {Cat({f, s8})}, 1},
        {"followed by more bytes in the batch", false, {Cat({s8, f})}, 0},
        {"two in one batch: only the last", false, {Cat({s8, s8})}, 1},
        {"each batch it ends", false, {s8, Cat({f, s8})}, 2},
        {"its 0x7E alone in the next batch", false, {Bytes(s8.begin(), s8.end() - 1), {0x7E}}, 1},
        {"its 0x7E in the next batch, more bytes behind it", false, {Bytes(s8.begin(), s8.end() - 1), Cat({{0x7E}, f})}, 0},
        {"held, its 0x7E in the next batch", true, {Bytes(s8.begin(), s8.end() - 1), {0x7E}}, 0},
        {"'8' as LEN byte is no short frame", false, {{0x7D, 0x38, 0x12, 0x00, 0x7E}}, 0},
        {"'8' in a payload is no short frame", false, {Reply(0x1A, {0x38, 0x01, 0x00})}, 0},
    };
    for (const auto& c : cases) {
        Rig rig({{kUnit5x1}});
        rig.parser.SetHoldNotification(c.hold);
        for (const auto& b : c.batches) rig.Feed(b);
        EXPECT_EQ(rig.target.notifications, c.notifications) << c.name;
    }
}

TEST(FrameParser, ParsesWithoutTarget) {
    TStreamParser parser;  // no target: nothing to deliver to, nothing to notify
    const Bytes input = Cat({Frame(5, 1, {1}), Short(0x38, 1)});
    parser.Parse(input);
    EXPECT_EQ(parser.GetState(), 0);
}

TEST(FrameParser, FailedDeliveryDropsOnlyThatSample) {
    Rig rig({{kUnit5x1}});
    rig.target.throwOnDelivery = 0;
    rig.Feed(Cat({Frame(5, 1, {1, 2}), Frame(5, 2, {3})}));
    // The failed sample does not advance the time within its frame.
    EXPECT_EQ(rig.target.samples, (std::vector<Sample>{{5, {2}, 10}, {5, {3}, 20}}));
}

TEST(FrameParser, ResetClearsTheWholeState) {
    const FakeSensor id18{7, 5, true, 2000};
    Rig rig({{kUnit5x1, id18}, 10, 1});
    // Stopped in the middle of a frame of LEN 11 with a value byte pending, after an
    // identity-18 high-word frame.
    rig.Feed(Frame(7, 1, {1, 2, 3, 4, 1}));
    const Bytes partial = Frame(5, 100, {0x0102, 0x0304});
    rig.Feed(partial, 0, 10);
    rig.parser.Reset();
    rig.Feed(Cat({Reply(0x1A, {0, 0, 1}), Frame(5, 2, {9}), Frame(7, 2, {5, 6, 7, 8, 0})}));
    EXPECT_EQ(rig.target.samples, (std::vector<Sample>{{5, {9}, 20}, {7, {5, 6, 7, 8, 0}, 20 - 2000}}));
    EXPECT_EQ(rig.parser.GetTimeBase(), 10u);  // settings stay
}

// ---- ASCII mode ------------------------------------------------------------------

namespace {

Setup Logger(int32_t channels) {
    Setup s;
    s.sensors = {FakeSensor{0, 0}};
    s.ascii = true;
    s.asciiChannels = channels;
    return s;
}

std::vector<Case> AsciiCases() {
    Setup noSensor = Logger(1);
    noSensor.hasSensor0 = false;
    return {
        {"time mode 0, interval 0250", Logger(2),
         Text("junk\n10:00:00\r\n0\t0250 ignored $\r\n1,5\t2\t\r\n3\t4\t\r\n5\t6\t\r\n"),
         {{0, {1500, 2000}, 0}, {0, {3000, 4000}, 250}, {0, {5000, 6000}, 500}}},
        {"time mode 1, start 10:00:00", Logger(1),
         Text("\n10:00:00\r\n1\t0000$\r\n10:00:05\t1\t\r\n10:01:00\t2\t\r\n9:59:59\t3\t\r\n"),
         {{0, {1000}, 5}, {0, {2000}, 60}, {0, {3000}, -1}}},
        {"time mode 2: the integer plus 1", Logger(1), Text("\n10:00:00\r\n2\t0000$\r\n7\t1\t\r\n8\t2\t\r\n"),
         {{0, {1000}, 8}, {0, {2000}, 9}}},
        {"time mode 3: the line number", Logger(1), Text("\n10:00:00\r\n3\t0000$\r\n1\t\r\n2\t\r\n3\t\r\n"),
         {{0, {1000}, 0}, {0, {2000}, 1}, {0, {3000}, 2}}},
        {"decimal comma and texts that are no numbers", Logger(6),
         Text("\n10:00:00\r\n0\t0001$\r\n1,5\tA\t-0,25\t1.5\t0,0015\t\t\r\n"),
         {{0, {1500, 0, -250, 0, 2, 0}, 0}}},
        {"field lengths: 11 characters read, 12 give 0", Logger(2),
         Text("\n10:00:00\r\n0\t0001$\r\n1234567,123\t12345678,123\t\r\n"), {{0, {1234567123, 0}, 0}}},
        {"text after the last TAB is not converted", Logger(2), Text("\n10:00:00\r\n0\t0001$\r\n1\t2\r\n"),
         {{0, {1000, 0}, 0}}},
        {"six channels", Logger(6), Text("\n10:00:00\r\n0\t0010$\r\n1\t2\t3\t4\t5\t6\t\r\n"),
         {{0, {1000, 2000, 3000, 4000, 5000, 6000}, 0}}},
        {"ten fields: eight values", Logger(10), Text("\n10:00:00\r\n0\t0010$\r\n1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t\r\n"),
         {{0, {1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000}, 0}}},
        {"time texts that cannot be read give 0", Logger(1),
         Text("\n10:00:00\r\n1\t0000$\r\nab\t1\t\r\n25:00:00\t2\t\r\n10:00:01\t3\t\r\n"),
         {{0, {1000}, 0}, {0, {2000}, 0}, {0, {3000}, 1}}},
        {"time field over nine characters gives 0", Logger(1),
         Text("\n10:00:00\r\n2\t0000$\r\n1234567890\t1\t\r\n123456789\t2\t\r\n"),
         {{0, {1000}, 0}, {0, {2000}, 123456790}}},
        {"start time that cannot be read counts as midnight", Logger(1),
         Text("\nnoon\r\n1\t0000$\r\n00:00:07\t1\t\r\n"), {{0, {1000}, 7}}},
        {"no sensor 0: lines dropped", noSensor, Text("\n10:00:00\r\n0\t0250$\r\n1\t\r\n"), {}},
    };
}

}  // namespace

TEST(AsciiParser, CasesWholeAndSplitAnywhere) {
    for (const Case& c : AsciiCases()) {
        EXPECT_EQ(ParseWhole(c), c.expected) << c.name;
        ExpectSplitInvariant(c);
    }
}

TEST(AsciiParser, ResetStartsTheNextDownloadClean) {
    Rig rig(Logger(2));
    // A download in time mode 1 cut off in the middle of a line; the next file's first
    // line lacks its second field, so nothing of the old line may show through.
    rig.Feed(Text("\n10:00:00\r\n1\t0000$\r\n10:00:05\t7\t8\t12,"));
    rig.parser.Reset();
    rig.Feed(Text("\n11:00:00\r\n0\t0100$\r\n1\t\r\n3\t4\t\r\n"));
    EXPECT_EQ(rig.target.samples, (std::vector<Sample>{{0, {1000, 0}, 0}, {0, {3000, 4000}, 100}}));
}

TEST(AsciiParser, FailedDeliveryDropsOnlyThatLine) {
    Rig rig(Logger(1));
    rig.target.throwOnDelivery = 0;
    rig.Feed(Text("\n10:00:00\r\n0\t0010$\r\n1\t\r\n2\t\r\n"));
    EXPECT_EQ(rig.target.samples, (std::vector<Sample>{{0, {2000}, 10}}));
}

// ---- number texts ----------------------------------------------------------------

TEST(NumberText, DecimalCommaTimesThousand) {
    struct C {
        const char* text;
        bool ok;
        int32_t value;
    };
    const C cases[] = {
        {"1,5", true, 1500},        {"2", true, 2000},           {"-0,25", true, -250},
        {"+3,", true, 3000},        {",5", true, 500},           {" 7,25 ", true, 7250},
        {"1,2345", true, 1234},     {"1,2355", true, 1236},      {"1,23451", true, 1235},      {"0,0005", true, 0},
        {"0,0015", true, 2},        {"0,0025", true, 2},         {"0,00250001", true, 3},
        {"-0,0015", true, -2},      {"1,5E2", true, 150000},     {"15e-1", true, 1500},
        {"0,0000000001", true, 0},  {"2147483,647", true, 2147483647},
        {"-2147483,648", true, -2147483648}, {"2147483,648", false, 0},
        {"1.5", false, 0},          {"A", false, 0},             {"", false, 0},
        {",", false, 0},            {"1,5,0", false, 0},         {"1e", false, 0},
        {"inf", false, 0},          {"nan", false, 0},           {"0x10", false, 0},
        {"1 5", false, 0},          {"5E99999999", false, 0},    {"5E-99999999", true, 0},
    };
    for (const C& c : cases) {
        int32_t v = 0;
        EXPECT_EQ(DecimalTextToMilli(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(NumberText, TimeOfDayAndInteger) {
    int32_t s = -1;
    EXPECT_TRUE(TimeTextToSeconds("10:00:05", s));
    EXPECT_EQ(s, 36005);
    EXPECT_TRUE(TimeTextToSeconds("7:5", s));
    EXPECT_EQ(s, 7 * 3600 + 5 * 60);
    for (const char* bad : {"", "10", "24:00:00", "10:60:00", "10:00:60", "10:00:", "1:2:3:4", "10-00-00", "100:00"})
        EXPECT_FALSE(TimeTextToSeconds(bad, s)) << bad;

    int64_t v = 0;
    EXPECT_TRUE(IntegerTextToInt64(" -42 ", v));
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(IntegerTextToInt64("+7", v));
    EXPECT_EQ(v, 7);
    for (const char* bad : {"", "-", "+-1", "1,5", "12a", "99999999999999999999"})
        EXPECT_FALSE(IntegerTextToInt64(bad, v)) << bad;
}
