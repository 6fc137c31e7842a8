// The data logger as a client meets it: found by the scan and reached through the
// exports, against a simulated logger.
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tovamod.h"
#include "z5clock.h"
#include "z5sim_datalogger.h"
#include "z5test_library.h"
#include "z5test_wait.h"
#include "z5widestring.h"

namespace {

using z5sim::DataLogger;

class LoggerExports : public z5test::LibraryOnBus {
protected:
    void SetUp() override {
        // Directory and header replies must start within one read time-out.
        z5::SetTimeScale(1.5);
        LibraryOnBus::SetUp();
        if (HasFatalFailure()) return;
        sim->SetVersion("1.10/3");
        DataLogger::File file;
        file.name = "08031501";
        file.size = 1234;
        file.header = DataLogger::HeaderText({"Lab 3", "Run A", 2, "", 0, {"T1", "U1"}, {"air", "cell"}, {"^C", "V"},
                                               {{"1,5", "-2"}, {"0,25", "100"}}});
        DataLogger::File second = file;
        second.name = "08031502";
        second.size = 99;
        sim->SetFiles({file, second});
        ASSERT_TRUE(bus.Plug(sim));
    }
    void TearDown() override {
        LibraryOnBus::TearDown();
        z5::SetTimeScale(0.05);
    }

    // The logger's device handle once a copy shows it.
    void* FindLogger() {
        void* device = nullptr;
        z5test::WaitUntil([&] {
            const THardwareStructure* copy = tovamod_GetHardwareStructure();
            if (copy && copy->First && copy->First->Kind == TOVAMOD_KIND_FIELD_PORT) device = copy->First->Device;
            return device != nullptr;
        });
        return device;
    }

    std::shared_ptr<DataLogger> sim = std::make_shared<DataLogger>(DataLogger::kDescription, "FP1");
};

TEST_F(LoggerExports, FoundByTheScanAndReachedThroughTheExports) {
    void* logger = FindLogger();
    ASSERT_NE(logger, nullptr);

    const char* version = nullptr;
    EXPECT_EQ(tovamod_Device_GetVersion(logger, &version), 0);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "1.10/3");

    z5_char16* mac = nullptr;
    tovamod_Device_GetMACExtAddr(logger, &mac);
    ASSERT_NE(mac, nullptr);
    EXPECT_EQ(z5::WideView(mac), u"FFFFFFFFFFFFFFFF");
    z5_wstr_free(mac);

    std::vector<TDLUFileInfo> records(TOVAMOD_DLU_MAX_FILES);
    EXPECT_EQ(tovamod_Device_GetDLUFileData(logger, records.data()), 2);
    EXPECT_STREQ(records[0].Name, "08031501");
    EXPECT_EQ(records[0].Size, 1234);
    EXPECT_EQ(records[0].ChannelCount, 2);
    EXPECT_STREQ(records[1].Name, "08031502");
    for (auto& r : records) z5_dlu_free_texts(&r);
}

}  // namespace
