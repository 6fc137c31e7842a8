// The update program with a simulated data logger: the display of the logger
// and its version texts, the command after its update and the exit commands.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <QLineEdit>
#include <QPushButton>
#include <mutex>
#include <string>
#include <vector>

#include "program_fixture.h"
#include "z5sim_datalogger.h"

namespace {

const auto* const App = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

std::mutex sentLock;
std::vector<std::string> sent;

std::vector<std::string> TakeSent() {
    std::lock_guard<std::mutex> g(sentLock);
    return std::exchange(sent, {});
}

}  // namespace

// The program's command texts, recorded on their way into the library.
extern "C" int32_t tovamod_Device_SendCmdAndGetResponse(void* Device, const char* Cmd, int32_t Reply) {
    using Export = int32_t (*)(void*, const char*, int32_t);
    static const auto library = reinterpret_cast<Export>(dlsym(RTLD_NEXT, "tovamod_Device_SendCmdAndGetResponse"));
    {
        std::lock_guard<std::mutex> g(sentLock);
        sent.emplace_back(Cmd ? Cmd : "<null>");
    }
    return library(Device, Cmd, Reply);
}

namespace {

using z5sim::Bytes;
using z5sim::DataLogger;

// Index of the last frame with Cmd the logger received at or after From; -1 when none.
int LastFrame(const std::vector<Bytes>& frames, uint8_t cmd, int from = 0) {
    int found = -1;
    for (int k = from; k < static_cast<int>(frames.size()); ++k)
        if (frames[static_cast<size_t>(k)].size() > 2 && frames[static_cast<size_t>(k)][2] == cmd) found = k;
    return found;
}

class LoggerProgram : public Program {
protected:
    void StartWithLogger(const std::string& version, const std::string& serial = "FP1") {
        WriteSetup("DLU", 0x0300, 3, 2);
        logger = std::make_shared<DataLogger>(DataLogger::kDescription, serial);
        logger->SetVersion(version);
        ASSERT_TRUE(bus.Plug(logger));
        if (!main) Start();
        ASSERT_TRUE(WaitForDevice("DLU"));
    }
    std::shared_ptr<DataLogger> logger;
};

TEST_F(LoggerProgram, ShowsTheLoggerWithItsVersionTexts) {
    struct Case {
        const char* version;
        const char* shown;
        int32_t installed;
        const char* hardware;
    } const cases[] = {
        {"1.9/2", "1.09", 0x0109, "2"},
        {"1.10/3", "1.10", 0x010A, "3"},
        {"2.10/1", "2.10", 0x020A, "1"},
    };
    int serial = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        StartWithLogger(c.version, "FP" + std::to_string(++serial));
        EXPECT_EQ(main->ComboDevice->currentText(), QStringLiteral("Field-Port"));
        EXPECT_EQ(main->PictureNumber(), 5);
        EXPECT_EQ(main->TimeL->text(), QStringLiteral("2 min"));
        EXPECT_EQ(main->EditFirmware->text(), QString::fromLatin1(c.shown));
        EXPECT_EQ(InstalledFirmware, c.installed);
        EXPECT_EQ(main->EditHardware->text(), QString::fromLatin1(c.hardware));
        EXPECT_EQ(main->EditNewFirmware->text(), QStringLiteral("3.0"));
        EXPECT_TRUE(main->BtnUpdate->isEnabled());
        bus.UnplugAll();
        ASSERT_TRUE(QTest::qWaitFor([&] { return main->ComboDevice->count() == 0; }, kWaitMs));
    }
}

TEST_F(LoggerProgram, AnUpdateEndsWithTheReadyCommandSuccessfulOrNot) {
    StartWithLogger("1.9/2");
    ASSERT_TRUE(main->BtnUpdate->isEnabled());
    TakeSent();
    logger->ClearReceived();
    main->BtnUpdateClick();
    EXPECT_EQ(TakeSent(), std::vector<std::string>{"0017,1,\r"});
    EXPECT_EQ(main->Label3->text(), Text(24)) << "the part went through";
    std::vector<Bytes> frames = logger->ReceivedFrames();
    const int finish = LastFrame(frames, 0x23);
    ASSERT_GE(finish, 0);
    EXPECT_GT(LastFrame(frames, 'P', finish), finish) << "'P' after the finish frame";
    ASSERT_TRUE(QTest::qWaitFor([] { return !UpdateRunning(); }, kWaitMs));

    // A refused start (and its one repetition): the same command at the end.
    main->ComboDeviceChange();  // the version pass offers the update again
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->BtnUpdate->isEnabled(); }, kWaitMs));
    logger->PushFault(z5sim::Fault::Refuse(1).OnCommand(0x21));
    logger->PushFault(z5sim::Fault::Refuse(1).OnCommand(0x21));
    TakeSent();
    logger->ClearReceived();
    main->BtnUpdateClick();
    EXPECT_EQ(main->Label3->text(), Text(30));
    EXPECT_EQ(TakeSent(), std::vector<std::string>{"0017,1,\r"});
    frames = logger->ReceivedFrames();
    const int start = LastFrame(frames, 0x21);
    ASSERT_GE(start, 0);
    EXPECT_GT(LastFrame(frames, 'P', start), start);
    EXPECT_EQ(LastFrame(frames, 0x22), -1) << "no block after a refused start";
}

TEST_F(LoggerProgram, ExitStopsTheLoggerThenSwitchesItOff) {
    StartWithLogger("1.10/3");
    TakeSent();
    logger->ClearReceived();
    main->BtnExitClick();
    EXPECT_EQ(TakeSent(), (std::vector<std::string>{"0018,1,\r", "0025,1,\r"}));
    EXPECT_GE(LastFrame(logger->ReceivedFrames(), 'S'), 0);
    EXPECT_FALSE(main->isVisible());
}

}  // namespace
