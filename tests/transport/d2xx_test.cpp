// The FTDI layer against simulated devices on pseudo-terminals.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "transport_support.h"
#include "z5clock.h"
#include "z5d2xx.h"

using namespace std::chrono_literals;
using transport_test::Echo;
using transport_test::Silent;
using transport_test::WaitForQueue;

namespace {

struct Listed {
    std::string description, serial;
    bool operator==(const Listed&) const = default;
};

std::vector<Listed> List() {
    uint32_t count = 0;
    EXPECT_EQ(d2xx::DeviceCount(&count), d2xx::kOk);
    std::vector<Listed> out;
    for (uint32_t i = 0; i < count; ++i) {
        char d[d2xx::kListTextSize], s[d2xx::kListTextSize];
        EXPECT_EQ(d2xx::DescriptionByIndex(i, d, sizeof d), d2xx::kOk);
        EXPECT_EQ(d2xx::SerialNumberByIndex(i, s, sizeof s), d2xx::kOk);
        out.push_back({d, s});
    }
    return out;
}

class D2xx : public ::testing::Test {
protected:
    void SetUp() override { bus.Export(); }
    void TearDown() override {
        for (auto h : open) d2xx::Close(h);
    }
    d2xx::Handle Open(const std::string& serial) {
        d2xx::Handle h = nullptr;
        EXPECT_EQ(d2xx::OpenBySerialNumber(serial.c_str(), &h), d2xx::kOk);
        if (h) open.push_back(h);
        return h;
    }
    void Forget(d2xx::Handle h) { std::erase(open, h); }
    z5sim::Bus bus;
    std::vector<d2xx::Handle> open;
};

TEST_F(D2xx, ListingFindsPluggedDevicesInTtyOrder) {
    // Eleven devices: ttyUSB10 must come after ttyUSB9, not after ttyUSB1.
    std::vector<Listed> expected;
    for (int i = 0; i <= 10; ++i) {
        std::string serial = "Z5S" + std::to_string(i);
        ASSERT_TRUE(bus.Plug(Echo("Zelto5 Unit " + std::to_string(i), serial)));
        expected.push_back({"Zelto5 Unit " + std::to_string(i), serial});
    }
    EXPECT_EQ(List(), expected);
    EXPECT_EQ(List(), expected);  // stable

    // Unplugging frees the name; the next device takes the lowest free one.
    ASSERT_TRUE(bus.Unplug("Z5S3"));
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 Late", "Z5LATE")));
    expected[3] = {"Zelto5 Late", "Z5LATE"};
    EXPECT_EQ(List(), expected);
}

TEST_F(D2xx, ListingIgnoresOtherDriversAndPlainTtys) {
    auto other = Echo("Other Chip", "PL1");
    other->SetDriver("pl2303");
    ASSERT_TRUE(bus.Plug(other));
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 Unit", "FT1")));
    std::filesystem::create_directories(bus.Root() / "class" / "tty" / "ttyS0");  // no device link
    EXPECT_EQ(List(), (std::vector<Listed>{{"Zelto5 Unit", "FT1"}}));
    d2xx::Handle h = nullptr;
    EXPECT_EQ(d2xx::OpenBySerialNumber("PL1", &h), d2xx::kDeviceNotFound);
    EXPECT_EQ(h, nullptr);
}

TEST_F(D2xx, MultiInterfaceChipListsOnceEachWithLetter) {
    ASSERT_TRUE(bus.PlugChip({Echo("Dual RS232", "FT77"), Echo("", "")}));
    EXPECT_EQ(List(), (std::vector<Listed>{{"Dual RS232 A", "FT77 A"}, {"Dual RS232 B", "FT77 B"}}));
    d2xx::Handle b = Open("FT77 B");
    ASSERT_NE(b, nullptr);
    uint32_t written = 0;
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_EQ(d2xx::Write(b, bytes, 3, &written), d2xx::kOk);
    auto second = bus.Devices().at(1);
    EXPECT_TRUE(second->WaitForBytes(3));
    EXPECT_TRUE(bus.Devices().at(0)->ReceivedBytes().empty());
}

TEST_F(D2xx, ListingTextsAreCutToTheBuffer) {
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 Unit", "FT1")));
    char small[5];
    EXPECT_EQ(d2xx::DescriptionByIndex(0, small, sizeof small), d2xx::kOk);
    EXPECT_STREQ(small, "Zelt");
    EXPECT_EQ(d2xx::DescriptionByIndex(1, small, sizeof small), d2xx::kDeviceNotFound);
    EXPECT_EQ(d2xx::SerialNumberByIndex(0, small, 0), d2xx::kInvalidParameter);
}

TEST_F(D2xx, SecondOpenOfAnOpenSerialIsRefused) {
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 Unit", "FT1")));
    d2xx::Handle h = Open("FT1");
    ASSERT_NE(h, nullptr);
    d2xx::Handle again = nullptr;
    EXPECT_EQ(d2xx::OpenBySerialNumber("FT1", &again), d2xx::kDeviceNotOpened);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(d2xx::Close(h), d2xx::kOk);
    Forget(h);
    EXPECT_EQ(d2xx::Close(h), d2xx::kInvalidHandle);
    d2xx::Handle reopened = Open("FT1");
    EXPECT_NE(reopened, nullptr);
    EXPECT_NE(reopened, h);  // handles are not reused
    EXPECT_EQ(d2xx::OpenBySerialNumber("NOPE", &again), d2xx::kDeviceNotFound);
}

TEST_F(D2xx, ReadOfZeroReturnsAtOnceAndReadStopsAtCount) {
    auto dev = Silent("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    ASSERT_EQ(d2xx::SetTimeouts(h, 100000, 100000), d2xx::kOk);  // 5 s at the test scale
    uint8_t buf[16];
    uint32_t got = 99;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(d2xx::Read(h, buf, 0, &got), d2xx::kOk);
    EXPECT_EQ(got, 0u);
    const uint8_t five[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(dev->Send(five));
    EXPECT_EQ(d2xx::Read(h, buf, 5, &got), d2xx::kOk);
    EXPECT_EQ(got, 5u);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), std::vector<uint8_t>(five, five + 5));
}

TEST_F(D2xx, ReadReturnsAfterItsTimeoutWithWhatCame) {
    auto dev = Silent("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    ASSERT_EQ(d2xx::SetTimeouts(h, 1000, 1000), d2xx::kOk);  // 50 ms at the test scale
    const uint8_t three[] = {7, 8, 9};
    ASSERT_TRUE(dev->Send(three));
    ASSERT_TRUE(WaitForQueue(h, 3));
    uint8_t buf[10];
    uint32_t got = 0;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(d2xx::Read(h, buf, 10, &got), d2xx::kOk);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(got, 3u);
    EXPECT_GE(took, z5::Scaled(1000) - 1ms);
    EXPECT_LT(took, z5::Scaled(1000) + 1s);
}

TEST_F(D2xx, QueueCountAndPurge) {
    auto dev = Silent("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    const uint8_t six[] = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(dev->Send(six));
    EXPECT_TRUE(WaitForQueue(h, 6));
    EXPECT_EQ(d2xx::Purge(h, d2xx::kPurgeTx), d2xx::kOk);
    EXPECT_TRUE(WaitForQueue(h, 6));
    EXPECT_EQ(d2xx::Purge(h, d2xx::kPurgeRx), d2xx::kOk);
    EXPECT_TRUE(WaitForQueue(h, 0));
    ASSERT_TRUE(dev->Send(six));
    EXPECT_TRUE(WaitForQueue(h, 6));
    EXPECT_EQ(d2xx::Reset(h), d2xx::kOk);
    EXPECT_TRUE(WaitForQueue(h, 0));
}

// The reply wait: it wakes when enough bytes have come, also in pieces, and leaves
// them in the queue in their order; a purge drops what it took off the descriptor.
TEST_F(D2xx, WaitForQueueWakesOnTheBytesAndKeepsThem) {
    auto dev = Silent("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    ASSERT_EQ(d2xx::SetTimeouts(h, 100, 100), d2xx::kOk);
    uint32_t waiting = 99;
    EXPECT_EQ(d2xx::WaitForQueue(h, 4, 0, &waiting), d2xx::kOk);  // only looks
    EXPECT_EQ(waiting, 0u);

    const uint8_t first[] = {1, 2}, second[] = {3, 4, 5};
    std::thread device([&] {
        dev->Send(first);
        std::this_thread::sleep_for(30ms);
        dev->Send(second);
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(d2xx::WaitForQueue(h, 4, 200000, &waiting), d2xx::kOk);  // 10 s at the test scale
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
    device.join();
    EXPECT_GE(waiting, 4u);
    ASSERT_TRUE(WaitForQueue(h, 5));
    uint8_t buf[8] = {};
    uint32_t got = 0;
    EXPECT_EQ(d2xx::Read(h, buf, 3, &got), d2xx::kOk);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + got), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(d2xx::Read(h, buf, 8, &got), d2xx::kOk);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + got), (std::vector<uint8_t>{4, 5}));

    // Too few bytes for the wait: it ends at its time with them still queued, until a purge.
    ASSERT_TRUE(dev->Send(first));
    EXPECT_EQ(d2xx::WaitForQueue(h, 4, 200, &waiting), d2xx::kOk);
    EXPECT_EQ(waiting, 2u);
    EXPECT_TRUE(WaitForQueue(h, 2));
    EXPECT_EQ(d2xx::Purge(h, d2xx::kPurgeRx), d2xx::kOk);
    EXPECT_TRUE(WaitForQueue(h, 0));
}

// The reader's wait holds no lock of the line: other calls go on meanwhile, and it
// ends with a byte, a cancel, or the close of the line.
TEST_F(D2xx, WaitForRxEndsWithAByteACancelOrTheClose) {
    auto dev = Silent("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    const uint32_t forever = 2000000;  // 100 s at the test scale
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        std::atomic<bool> ended{false};
        std::thread waiter([&] {
            d2xx::WaitForRx(h, forever);
            ended = true;
        });
        std::this_thread::sleep_for(30ms);
        EXPECT_FALSE(ended.load());
        uint32_t n = 0;
        EXPECT_EQ(d2xx::GetQueueStatus(h, &n), d2xx::kOk);  // not held off by the wait
        const uint8_t one[] = {9};
        if (how == 0) {
            ASSERT_TRUE(dev->Send(one));
        } else if (how == 1) {
            EXPECT_EQ(d2xx::CancelWait(h), d2xx::kOk);
        } else {
            EXPECT_EQ(d2xx::Close(h), d2xx::kOk);
            Forget(h);
        }
        waiter.join();
        if (how == 0) {
            // A byte waiting: the wait returns at once until it is read.
            EXPECT_EQ(d2xx::WaitForRx(h, forever), d2xx::kOk);
            EXPECT_EQ(d2xx::Purge(h, d2xx::kPurgeRx), d2xx::kOk);
        }
    }
    EXPECT_EQ(d2xx::WaitForRx(h, forever), d2xx::kInvalidHandle);
}

// The index calls use the listing of the last count; an open finds a device plugged
// since, and never opens another device that took a listed one's place.
TEST_F(D2xx, IndexCallsUseTheLastListingAndOpenChecksIt) {
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 A", "FTA")));
    EXPECT_EQ(List(), (std::vector<Listed>{{"Zelto5 A", "FTA"}}));
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 B", "FTB")));
    char text[d2xx::kListTextSize];
    EXPECT_EQ(d2xx::SerialNumberByIndex(1, text, sizeof text), d2xx::kDeviceNotFound);
    EXPECT_NE(Open("FTB"), nullptr);  // not listed yet, found all the same

    // FTA goes; FTC takes its tty while the listing still shows FTA there.
    ASSERT_TRUE(bus.Unplug("FTA"));
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 C", "FTC")));
    d2xx::Handle h = nullptr;
    EXPECT_EQ(d2xx::OpenBySerialNumber("FTA", &h), d2xx::kDeviceNotFound);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(List(), (std::vector<Listed>{{"Zelto5 C", "FTC"}, {"Zelto5 B", "FTB"}}));
}

TEST_F(D2xx, LineSettingsAndModemStatusOnAPseudoTerminal) {
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 Unit", "FT1")));
    d2xx::Handle h = Open("FT1");
    EXPECT_EQ(d2xx::SetBaudRate(h, 921600), d2xx::kOk);
    EXPECT_EQ(d2xx::SetBaudRate(h, 250000), d2xx::kOk);  // no B constant
    EXPECT_EQ(d2xx::SetBaudRate(h, 0), d2xx::kInvalidBaudRate);
    EXPECT_EQ(d2xx::SetDataCharacteristics(h, d2xx::kBits8, d2xx::kStopBits1, d2xx::kParityNone), d2xx::kOk);
    EXPECT_EQ(d2xx::SetDataCharacteristics(h, 5, d2xx::kStopBits1, d2xx::kParityNone), d2xx::kInvalidParameter);
    EXPECT_EQ(d2xx::SetFlowControl(h, d2xx::kFlowNone, 0x11, 0x13), d2xx::kOk);
    EXPECT_EQ(d2xx::SetFlowControl(h, d2xx::kFlowDtrDsr, 0x11, 0x13), d2xx::kNotSupported);
    uint32_t modem = 0xFFFF;
    EXPECT_EQ(d2xx::GetModemStatus(h, &modem), d2xx::kOk);
    EXPECT_EQ(modem, 0u);
}

TEST_F(D2xx, VanishedDeviceFailsEveryCall) {
    auto dev = Echo("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    ASSERT_EQ(d2xx::SetTimeouts(h, 100, 100), d2xx::kOk);
    ASSERT_TRUE(bus.Unplug("FT1"));

    uint8_t buf[8] = {};
    uint32_t n = 0;
    EXPECT_NE(d2xx::Read(h, buf, 8, &n), d2xx::kOk);
    EXPECT_NE(d2xx::Read(h, buf, 0, &n), d2xx::kOk);
    EXPECT_NE(d2xx::Write(h, buf, 8, &n), d2xx::kOk);
    EXPECT_NE(d2xx::GetQueueStatus(h, &n), d2xx::kOk);
    EXPECT_NE(d2xx::GetModemStatus(h, &n), d2xx::kOk);
    EXPECT_NE(d2xx::Purge(h, d2xx::kPurgeRx | d2xx::kPurgeTx), d2xx::kOk);
    EXPECT_NE(d2xx::Reset(h), d2xx::kOk);
    EXPECT_NE(d2xx::SetBaudRate(h, 921600), d2xx::kOk);
    EXPECT_NE(d2xx::SetDataCharacteristics(h, 8, 0, 0), d2xx::kOk);
    EXPECT_NE(d2xx::SetFlowControl(h, 0, 0x11, 0x13), d2xx::kOk);
    EXPECT_NE(d2xx::SetTimeouts(h, 100, 100), d2xx::kOk);
    EXPECT_NE(d2xx::Close(h), d2xx::kOk);  // released all the same
    Forget(h);
    EXPECT_EQ(d2xx::GetQueueStatus(h, &n), d2xx::kInvalidHandle);

    // Plugged again, the same serial number opens anew.
    ASSERT_TRUE(bus.Plug(dev));
    EXPECT_NE(Open("FT1"), nullptr);
}

TEST_F(D2xx, UnplugDuringAWaitingReadEndsIt) {
    auto dev = Silent("Zelto5 Unit", "FT1");
    ASSERT_TRUE(bus.Plug(dev));
    d2xx::Handle h = Open("FT1");
    ASSERT_EQ(d2xx::SetTimeouts(h, 0, 0), d2xx::kOk);  // would wait forever
    std::thread unplug([&] {
        std::this_thread::sleep_for(20ms);
        bus.Unplug("FT1");
    });
    uint8_t buf[8];
    uint32_t got = 0;
    EXPECT_NE(d2xx::Read(h, buf, 8, &got), d2xx::kOk);
    unplug.join();
}

TEST_F(D2xx, InvalidHandlesAndArguments) {
    uint32_t n = 0;
    uint8_t buf[4];
    d2xx::Handle bogus = reinterpret_cast<d2xx::Handle>(uintptr_t{12345});
    for (d2xx::Handle h : {d2xx::Handle{}, bogus}) {
        EXPECT_EQ(d2xx::Read(h, buf, 4, &n), d2xx::kInvalidHandle);
        EXPECT_EQ(d2xx::Write(h, buf, 4, &n), d2xx::kInvalidHandle);
        EXPECT_EQ(d2xx::Close(h), d2xx::kInvalidHandle);
        EXPECT_EQ(d2xx::GetModemStatus(h, &n), d2xx::kInvalidHandle);
    }
    EXPECT_EQ(d2xx::OpenBySerialNumber(nullptr, &bogus), d2xx::kInvalidParameter);
    EXPECT_EQ(d2xx::DeviceCount(nullptr), d2xx::kInvalidParameter);
}

TEST_F(D2xx, DistinctHandlesWorkOnDistinctThreads) {
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 A", "FTA")));
    ASSERT_TRUE(bus.Plug(Echo("Zelto5 B", "FTB")));
    d2xx::Handle a = Open("FTA"), b = Open("FTB");
    std::atomic<int> failures{0};
    auto loop = [&](d2xx::Handle h, uint8_t tag) {
        d2xx::SetTimeouts(h, 20000, 20000);
        for (int i = 0; i < 50; ++i) {
            const uint8_t frame[] = {0x7D, 0x02, tag, static_cast<uint8_t>(i), 0x7E};
            uint8_t back[5] = {};
            uint32_t n = 0;
            if (d2xx::Write(h, frame, 5, &n) != d2xx::kOk || n != 5) ++failures;
            if (d2xx::Read(h, back, 5, &n) != d2xx::kOk || n != 5 || back[2] != tag || back[3] != i) ++failures;
        }
    };
    std::thread ta(loop, a, 0x41), tb(loop, b, 0x42);
    ta.join();
    tb.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
