// The firmware update part by part against the simulated Radio Master: the
// three calls per part, the pause between parts, failures and resuming.
#include "mainwin_support.h"

#include <sys/stat.h>

#include <set>

#include "filebytes.h"

using namespace mainwin_test;

namespace {

class Update : public MainWindow {};

TEST_F(Update, ThreePartsOfTheBase) {
    WriteSetup(Section("RTUU", 0x0203, 3));
    EnableLog();
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    ASSERT_TRUE(window->BtnUpdate->isEnabled());
    EXPECT_EQ(window->waittimer->interval(), 500);  // 10 s on the scaled clock

    // The status lines shown while the parts go through.
    std::set<QString> statuses;
    auto watch = std::make_unique<PaintWatch>(*window->Label3, [&] { statuses.insert(window->Label3->text()); });
    window->BtnUpdateClick();
    // The pause after part 1.
    ASSERT_TRUE(WaitUntil([] { return UpdateJob.PartIndex == 2; }));
    EXPECT_TRUE(UpdateRunning());
    EXPECT_EQ(window->Label3->text(), Lang(29));
    EXPECT_EQ(window->Label6->text(), Lang(26) + " " + Isolated(1) + Lang(27) + " " + Isolated(3) + " " + Lang(28));
    EXPECT_FALSE(window->BtnExit->isEnabled());
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_FALSE(window->ComboDevice->isEnabled());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_TRUE(window->waittimer->isActive());
    EXPECT_EQ(LogCount("Calc CRC32 Filename"), 3u);

    ASSERT_TRUE(WaitForUpdateEnd());
    watch.reset();
    // One blank on each side of the part number: text 27 brings its own.
    for (int part = 1; part <= 3; ++part)
        EXPECT_EQ(statuses.count(Lang(36) + " " + Isolated(part) + Lang(27) + " " + Isolated(3)), 1u) << part;
    for (const QString& status : statuses) EXPECT_FALSE(status.contains("  ")) << status.toStdString();
    EXPECT_EQ(window->PanelColor(), QColor(0xC0, 0xDC, 0xC0));
    EXPECT_EQ(window->Label3->text(), Lang(24));
    EXPECT_EQ(window->Label6->text(), Lang(35));
    EXPECT_TRUE(window->BtnExit->isEnabled());
    EXPECT_TRUE(window->ComboDevice->isEnabled());
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_EQ(UpdateJob.PartIndex, 1);

    const auto& fw = rm->Firmware(0);
    EXPECT_EQ(fw.PartsCompleted(), 3u);
    EXPECT_TRUE(fw.LastPart().crcMatched);
    EXPECT_EQ(fw.LastPart().partCount, 3);
    EXPECT_EQ(fw.LastPart().hardware, std::vector<uint8_t>{kHardware});
    EXPECT_EQ(LogCount("Calc CRC32 Filename"), 9u);
    EXPECT_EQ(LogCount("Result update start = 0"), 3u);
    EXPECT_EQ(LogCount("Result update finish = 0"), 3u);

    // The device reports the new version, which is now up to date.
    window->ComboDeviceChange();
    EXPECT_EQ(window->EditFirmware->text(), "2.3");
    EXPECT_EQ(window->Label6->text(), Lang(38));

    // Polling and identification are back: the removal is seen.
    ASSERT_TRUE(bus.Unplug("RMW1"));
    ASSERT_TRUE(WaitForNoDevice());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Update, SinglePartWhoseFinishIsRefused) {
    WriteSetup(Section("RTUU", 0x0203, 1));
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    rm->PushFault(z5sim::Fault::Refuse(2).OnCommand(0x23));
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_EQ(UpdateJob.LastResult, 2);
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
    EXPECT_EQ(window->Label3->text(), Lang(30));
    EXPECT_EQ(window->Label6->text(), Lang(32));
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_TRUE(window->BtnExit->isEnabled());
    EXPECT_TRUE(window->ComboDevice->isEnabled());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_FALSE(window->waittimer->isActive());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A refused start is sent once more, never a third time.
TEST_F(Update, StartIsRetriedOnce) {
    WriteSetup(Section("RTUU", 0x0203, 1));
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    VersionCheck = 0;  // the second round offers what the first installed
    for (const int refusals : {1, 2}) {
        SCOPED_TRACE(refusals);
        window->ComboDeviceChange();
        ASSERT_TRUE(window->BtnUpdate->isEnabled());
        rm->ClearReceived();
        for (int k = 0; k < refusals; ++k) rm->PushFault(z5sim::Fault::Refuse(3).OnCommand(0x21));
        window->BtnUpdateClick();
        ASSERT_TRUE(WaitForUpdateEnd());
        EXPECT_EQ(FramesOf(0x21), 2u);
        if (refusals == 1) {
            EXPECT_EQ(UpdateJob.LastResult, 0);
            EXPECT_EQ(FramesOf(0x23), 1u);
            EXPECT_EQ(window->PanelColor(), QColor(0xC0, 0xDC, 0xC0));
        } else {
            EXPECT_EQ(UpdateJob.LastResult, 3);
            EXPECT_EQ(FramesOf(0x22), 0u);
            EXPECT_EQ(window->Label6->text(), Lang(33));
        }
    }
}

TEST_F(Update, StartFailsTwiceAtPartTwoThenAClickResumes) {
    WriteSetup(Section("RTUU", 0x0203, 2));
    EnableLog();
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitUntil([] { return UpdateJob.PartIndex == 2; }));
    rm->Firmware(0).SetSilent(true);
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_EQ(UpdateJob.LastResult, -1);
    EXPECT_EQ(LogCount("Result update start = -1"), 1u);
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
    EXPECT_EQ(window->Label3->text(), Lang(30));
    EXPECT_EQ(window->Label6->text(), Lang(23));
    EXPECT_TRUE(window->BtnUpdate->isEnabled());
    EXPECT_FALSE(window->ComboDevice->isEnabled());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_EQ(UpdateJob.PartIndex, 2);

    rm->Firmware(0).SetSilent(false);
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitUntil([&] { return !UpdateRunning() && window->Timer1->isActive(); }));
    EXPECT_EQ(window->PanelColor(), QColor(0xC0, 0xDC, 0xC0));
    EXPECT_EQ(rm->Firmware(0).PartsCompleted(), 2u);
    EXPECT_EQ(rm->Firmware(0).LastPart().partIndex, 2);
    EXPECT_EQ(LogCount("Calc CRC32 Filename"), 6u);  // every part, on every click
}

// The radio unit is sent from its own section to address 1; the device's type
// code stays, so choosing the base afterwards shows the base's offer.
TEST_F(Update, RelayPortFromItsOwnSectionAtAddressOne) {
    std::vector<std::string> setup = Section("RTUU", 0x0203, 1);
    const auto rcu = Section("RCU", 0x0402, 1);
    setup.insert(setup.end(), rcu.begin(), rcu.end());
    WriteSetup(setup);
    JoinOwnUnit(1);
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(2));
    ASSERT_EQ(window->ComboDevice->currentText(), "Relay-Port");
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_EQ(window->PanelColor(), QColor(0xC0, 0xDC, 0xC0));
    EXPECT_EQ(rm->Firmware(1).PartsCompleted(), 1u);
    EXPECT_EQ(rm->Firmware(1).LastPart().address, 1);
    EXPECT_EQ(rm->Firmware(1).LastPart().version, 0x0402);
    EXPECT_EQ(rm->Firmware(0).PartsCompleted(), 0u);
    EXPECT_EQ(TypeCode, "RTUU");

    window->ComboDevice->setCurrentIndex(0);
    window->ComboDeviceChange();
    EXPECT_EQ(window->PictureNumber(), 1);
    EXPECT_EQ(window->EditNewFirmware->text(), "2.3");
    EXPECT_TRUE(window->BtnUpdate->isEnabled());
}

// A click that had to wait for a poll pass runs only when that pass left the
// display as it was: a radio unit that joined meanwhile was never chosen.
TEST_F(Update, DeferredClickRunsOnlyOnTheDisplayItWasMadeOn) {
    std::vector<std::string> setup = Section("RTUU", 0x0203, 1);
    const auto rcu = Section("RCU", 0x0402, 1);
    setup.insert(setup.end(), rcu.begin(), rcu.end());
    WriteSetup(setup);
    // The late replies below (200 and 300 ms) must stay inside the 500 ms reply
    // wait: at half of real time that leaves 100 ms or more on a busy machine.
    z5::SetTimeScale(0.5);
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    ASSERT_TRUE(window->BtnUpdate->isEnabled());

    // Clicked while the pass that finds the joined unit waits for the library.
    const uint32_t before = DisplayGeneration;
    bool clicked = false;
    QTimer intruder;
    QObject::connect(&intruder, &QTimer::timeout, [&] {
        if (clicked || !LibraryBusy() || DisplayGeneration == before) return;
        clicked = true;
        window->BtnUpdateClick();
    });
    intruder.start(1);
    rm->ClearReceived();
    // Parameter replies that keep the library waiting long enough to be clicked into;
    // the scan's refresh takes some of them, so there are plenty for the poll pass.
    for (int k = 0; k < 40; ++k) rm->PushFault(z5sim::Fault::Late(200).OnCommand(0x12));
    JoinOwnUnit(1);
    ASSERT_TRUE(WaitForItems(2));
    ASSERT_TRUE(WaitUntil([&] { return clicked && !LibraryBusy(); }));
    Spin(300);
    intruder.stop();
    EXPECT_FALSE(UpdateRunning());
    EXPECT_EQ(FramesOf(0x21), 0u);
    EXPECT_EQ(window->ComboDevice->currentText(), "Relay-Port");
    EXPECT_TRUE(window->BtnUpdate->isEnabled());

    // Clicked while the user's own choice reads the versions: the display stays, the click runs.
    window->ComboDevice->setCurrentIndex(0);
    clicked = false;
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        if (clicked || !LibraryBusy()) return;
        clicked = true;
        window->BtnUpdateClick();
    });
    chooser.start(1);
    rm->ClearFaults();
    for (int k = 0; k < 40; ++k) rm->PushFault(z5sim::Fault::Late(300).OnCommand(0x12));
    window->ComboDeviceChange();
    chooser.stop();
    ASSERT_TRUE(clicked);
    ASSERT_TRUE(WaitUntil([] { return UpdateRunning(); }));
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_EQ(FramesOf(0x21, 0), 1u);
    EXPECT_EQ(FramesOf(0x21, 1), 0u);
    EXPECT_EQ(rm->Firmware(0).PartsCompleted(), 1u);
}

TEST_F(Update, RadioUnitParameterFourRefusesTwoTo253) {
    std::vector<std::string> setup = Section("RTUU", 0x0203, 1);
    const auto rcu = Section("RCU", 0x0402, 1);
    setup.insert(setup.end(), rcu.begin(), rcu.end());
    WriteSetup(setup);
    VersionCheck = 0;
    JoinOwnUnit(1);
    Start();
    for (const auto& [param4, refused] : {std::pair{1, false}, {2, true}, {253, true}, {254, false}}) {
        SCOPED_TRACE(param4);
        rm->EditUnit(1, [p = param4](z5sim::RadioUnit& u) { u.params[4].value = static_cast<uint64_t>(p); });
        Plug();
        ASSERT_TRUE(WaitForItems(2));
        VersionCheck = 0;
        window->ComboDeviceChange();
        ASSERT_EQ(RadioParam4, param4);
        const unsigned before = rm->Firmware(1).PartsCompleted();
        window->BtnUpdateClick();
        if (refused) {
            EXPECT_FALSE(UpdateRunning());
            EXPECT_EQ(window->Label3->text(), Lang(39));
            EXPECT_EQ(window->Label6->text(), Lang(40));
            EXPECT_TRUE(window->Timer1->isActive());
            EXPECT_TRUE(window->BtnUpdate->isEnabled());
        } else {
            ASSERT_TRUE(WaitForUpdateEnd());
            EXPECT_EQ(rm->Firmware(1).PartsCompleted(), before + 1);
        }
        ASSERT_TRUE(bus.Unplug("RMW1"));
        ASSERT_TRUE(WaitForNoDevice());
        // A changed pass without the radio unit forgets its parameter 4.
        EXPECT_EQ(RadioParam4, 0);
    }
}

TEST_F(Update, CrcOfEmptyAndCheckFilesInTheLog) {
    WriteFile("fw/empty.bin", {});
    WriteFile("fw/nine.bin", {'1', '2', '3', '4', '5', '6', '7', '8', '9'});
    WriteSetup({"[RTUU]", "Firmwarenumber=515", "MaxFilenames=2", "Filename1=fw/empty.bin", "Filename2=fw/nine.bin",
                "Devicetyp=4", "Hardwarenumbers=1", "HardwareVersion1=3"});
    EnableLog();
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitUntil([] { return !UpdateRunning() || UpdateJob.PartIndex == 2; }));
    const std::string folder = prog.string() + "/";
    EXPECT_EQ(LogCount("Calc CRC32 Filename \"" + folder + "fw/empty.bin\" = 00000 - "), 1u);
    EXPECT_EQ(LogCount("Calc CRC32 Filename \"" + folder + "fw/nine.bin\" = CBF43926 - "), 1u);
    EXPECT_EQ(LogCount("Read MaxParts = 2"), 1u);
    EXPECT_EQ(LogCount("HardwareList filenumber 0 = \x03"), 1u);
    ASSERT_TRUE(WaitForUpdateEnd());
}

// Setup files the library could not take are refused before anything changes.
TEST_F(Update, BadSetupIsRefusedBeforePollingStops) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        int text;            // the refusal's language text, followed by
        std::string detail;  // what it is about
    };
    WriteFile("fw/big.bin", Pattern(100001, 1));
    WriteFile("fw/ok.bin", Pattern(100, 1));
    const std::string tail = "Devicetyp=4";
    const std::vector<Case> cases{
        {"six parts", {"[RTUU]", "MaxFilenames=6", "Filename1=fw/ok.bin", tail}, 43, "z5setup.cfg [RTUU] MaxFilenames=6"},
        {"no parts", {"[RTUU]", "MaxFilenames=0", tail}, 43, "z5setup.cfg [RTUU] MaxFilenames=0"},
        {"missing file", {"[RTUU]", "MaxFilenames=1", "Filename1=fw/none.bin", tail}, 44, prog.string() + "/fw/none.bin"},
        {"empty name", {"[RTUU]", "MaxFilenames=1", tail}, 44, prog.string() + "/"},
        {"too large", {"[RTUU]", "MaxFilenames=1", "Filename1=fw/big.bin", tail}, 45,
         prog.string() + "/fw/big.bin (100001 > 100000)"},
        {"negative hardware count", {"[RTUU]", "MaxFilenames=1", "Filename1=fw/ok.bin", "Hardwarenumbers=-1"}, 46,
         "z5setup.cfg [RTUU] Hardwarenumbers=-1"},
        {"too many hardware versions", {"[RTUU]", "MaxFilenames=1", "Filename1=fw/ok.bin", "Hardwarenumbers=121"}, 46,
         "z5setup.cfg [RTUU] Hardwarenumbers=121"},
    };
    WriteSetup(cases[0].lines);
    VersionCheck = 0;
    Start();
    VersionCheck = 0;
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    // The refusals speak the user's language.
    ChooseLanguage(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSetup(c.lines);
        window->ComboDeviceChange();
        ASSERT_TRUE(window->BtnUpdate->isEnabled());
        window->BtnUpdateClick();
        EXPECT_FALSE(UpdateRunning());
        EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
        EXPECT_EQ(window->Label3->text(), Lang(30));
        EXPECT_EQ(window->Label6->text(), Lang(c.text) + " " + Isolated(QString::fromStdString(c.detail)));
        EXPECT_NE(Lang(c.text), QString());
        EXPECT_TRUE(window->Timer1->isActive());
        EXPECT_TRUE(window->BtnUpdate->isEnabled());
        EXPECT_TRUE(window->BtnExit->isEnabled());
        EXPECT_TRUE(window->ComboDevice->isEnabled());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(rm->Firmware(0).LastPart().started, false);
    // Identification is still on: the removal is seen.
    ASSERT_TRUE(bus.Unplug("RMW1"));
    ASSERT_TRUE(WaitForNoDevice());
    EXPECT_TRUE(boxes.empty());
}

// A setup file that goes bad while the device is shown: the click is refused in
// the user's language with the file's path, and the next version pass offers
// nothing rather than calling the installed firmware up to date.
TEST_F(Update, SetupFileThatCannotBeReadIsRefusedWithItsPath) {
    const fs::path setup = prog / "z5setup.cfg";
    const std::vector<std::string> good = Section("RTUU", 0x0203, 1);
    struct Case {
        const char* what;
        std::function<void()> breakIt;
    };
    const std::vector<Case> cases{
        {"removed", [] {}},
        {"empty", [&] { WriteFile("z5setup.cfg", {}); }},
        {"garbage", [&] { WriteFile("z5setup.cfg", Pattern(4096, 9)); }},
        {"too large", [&] {
             WriteSetup(good);
             fs::resize_file(setup, MaxTextFileSize + 1);
         }},
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(setup.c_str(), 0600), 0); }},
        {"folder", [&] { fs::create_directory(setup); }},
        {"link loop", [&] { fs::create_symlink("z5setup.cfg", setup); }},
    };
    WriteSetup(good);
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    ChooseLanguage(0);
    const QString refusal = Lang(42) + " " + Isolated(QString::fromStdString(setup.string()));
    ASSERT_NE(Lang(42), QString());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        window->ComboDeviceChange();
        ASSERT_TRUE(window->BtnUpdate->isEnabled());
        fs::remove(setup);
        c.breakIt();
        window->BtnUpdateClick();
        EXPECT_FALSE(UpdateRunning());
        EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
        EXPECT_EQ(window->Label3->text(), Lang(30));
        EXPECT_EQ(window->Label6->text(), refusal);
        EXPECT_TRUE(window->Timer1->isActive());
        EXPECT_TRUE(window->BtnExit->isEnabled());

        window->ComboDeviceChange();
        EXPECT_EQ(window->Label6->text(), refusal);
        EXPECT_EQ(window->Label3->text(), QString());
        EXPECT_FALSE(window->BtnUpdate->isEnabled());
        EXPECT_EQ(window->EditNewFirmware->text(), QString());

        fs::remove(setup);
        WriteSetup(good);
    }
    window->ComboDeviceChange();
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(window->EditNewFirmware->text(), "2.3");
    EXPECT_EQ(window->Label6->text(), QString());
    EXPECT_EQ(rm->Firmware(0).LastPart().started, false);
    EXPECT_TRUE(boxes.empty()) << boxes.front().toStdString();
}

}  // namespace
