#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <thread>

#include "z5clock.h"
#include "z5programdir.h"
#include "z5pump.h"
#include "z5widestring.h"

namespace fs = std::filesystem;

TEST(Clock, ScaledTickRunsFasterThanRealTime) {
    double old = z5::TimeScale();
    z5::SetTimeScale(0.01);
    uint32_t t0 = z5::Tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uint32_t elapsed = z5::TicksSince(t0);
    EXPECT_GE(elapsed, 1500u);  // 20 ms real = 2000 protocol ms
    auto start = std::chrono::steady_clock::now();
    z5::SleepMs(1000);          // 10 ms real
    auto real = std::chrono::steady_clock::now() - start;
    EXPECT_LT(real, std::chrono::milliseconds(500));
    z5::SetTimeScale(old);
    EXPECT_GE(z5::TicksSince(t0), elapsed);  // continuous across a scale change
}

TEST(Clock, TickDifferenceSurvivesWrap) {
    uint32_t start = 0xFFFFFF00u, now = 0x00000010u;
    EXPECT_EQ(now - start, 0x110u);
}

static int g_pumped = 0;
TEST(Pump, DefaultDoesNothingInstalledRuns) {
    z5::PumpMessages();
    z5::SetMessagePump([] { ++g_pumped; });
    z5::PumpMessages();
    z5::SetMessagePump(nullptr);
    z5::PumpMessages();
    EXPECT_EQ(g_pumped, 1);
}

TEST(WideString, LengthPrefixAndTerminator) {
    std::u16string s = u"Zelto5 \u00e4\u4e2d";
    z5_char16* w = z5::WideAlloc(s);
    ASSERT_NE(w, nullptr);
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(w) - 4, 4);
    EXPECT_EQ(bytes, s.size() * 2);
    EXPECT_EQ(w[s.size()], 0);
    EXPECT_EQ(z5::WideView(w), s);
    z5_wstr_free(w);
    z5_wstr_free(nullptr);
    z5_char16* empty = z5_wstr_alloc(nullptr, 0);
    EXPECT_EQ(z5_wstr_length(empty), 0u);
    z5_wstr_free(empty);
}

TEST(WideString, Utf8RoundTripAndInvalidBytes) {
    std::string text = "a\xC3\xA4\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(z5::Utf16ToUtf8(z5::Utf8ToUtf16(text)), text);
    struct { std::string in; std::u16string out; } cases[] = {
        {"\xC3", u"\uFFFD"},             // cut sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},   // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // surrogate
        {"\xFF" "a", u"\uFFFDa"},
    };
    for (auto& c : cases) EXPECT_EQ(z5::Utf8ToUtf16(c.in), c.out) << c.in;
}

TEST(ProgramDir, EnvironmentOverridesAndUnwritableFallsBack) {
    fs::path tmp = fs::temp_directory_path() / ("z5pd-" + std::to_string(::getpid()));
    fs::create_directories(tmp / "prog");
    fs::create_directories(tmp / "cfg");
    setenv("ZELTO5_PROGRAM_DIR", (tmp / "prog").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (tmp / "cfg").c_str(), 1);
    EXPECT_EQ(z5::ProgramDir(), tmp / "prog");
    EXPECT_EQ(z5::WritableDataDir(), tmp / "prog");
    setenv("ZELTO5_PROGRAM_DIR", "/proc", 1);  // never writable, even for root
    EXPECT_EQ(z5::WritableDataDir(), tmp / "cfg" / "zelto5");
    EXPECT_TRUE(fs::is_directory(tmp / "cfg" / "zelto5"));
    unsetenv("ZELTO5_PROGRAM_DIR");
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(tmp);
}
