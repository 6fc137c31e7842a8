// What the window shows of the attached device: the Radio Master with its radio
// unit, the choice between them, removal, a second device.
#include "mainwin_support.h"
#include "z5sim_datalogger.h"
#include "z5sim_generic.h"
#include "z5sim_instruments.h"

using namespace mainwin_test;

namespace {

class Display : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        std::vector<std::string> setup = Section("RTUU", 0x0203, 1);
        for (auto& part : {Section("RTCU", 0x0301, 1), Section("RCU", 0x0402, 1)}) setup.insert(setup.end(), part.begin(), part.end());
        WriteSetup(setup);
    }
};

TEST_F(Display, RadioMasterWithRelayPortAndBackToTheBase) {
    JoinOwnUnit(1);
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(2));
    EXPECT_EQ(window->ComboDevice->itemText(0), "Radio Master");
    EXPECT_EQ(window->ComboDevice->itemText(1), "Relay-Port");
    EXPECT_EQ(window->ComboDevice->currentIndex(), 1);
    EXPECT_EQ(TypeCode, "RTUU");
    EXPECT_EQ(window->PictureNumber(), 3);
    EXPECT_EQ(window->EditFirmware->text(), "1.5");
    EXPECT_EQ(window->EditHardware->text(), "3");
    EXPECT_EQ(window->EditNewFirmware->text(), "4.2");  // the RCU offer
    EXPECT_EQ(window->TimeL->text(), "1 min");
    EXPECT_EQ(window->Label3->text(), Lang(21));
    EXPECT_TRUE(window->BtnUpdate->isEnabled());
    EXPECT_TRUE(window->Label6->text().isEmpty());
    EXPECT_TRUE(window->ComboDevice->isEnabled());

    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(MAINWIN_SCREENSHOT_DIR "mainwin-radiomaster.png")));

    // Each choice reruns the version pass.
    window->ComboDevice->setCurrentIndex(0);
    window->ComboDeviceChange();
    EXPECT_EQ(window->PictureNumber(), 1);
    EXPECT_EQ(window->EditFirmware->text(), "1.2");
    EXPECT_EQ(window->EditNewFirmware->text(), "2.3");
    window->ComboDevice->setCurrentIndex(1);
    window->ComboDeviceChange();
    EXPECT_EQ(window->PictureNumber(), 3);
    EXPECT_EQ(window->EditNewFirmware->text(), "4.2");

    ASSERT_TRUE(bus.Unplug("RMW1"));
    ASSERT_TRUE(WaitForNoDevice());
    EXPECT_EQ(window->Label3->text(), Lang(18));
    EXPECT_TRUE(window->EditFirmware->text().isEmpty());
    EXPECT_TRUE(window->EditHardware->text().isEmpty());
    EXPECT_EQ(window->EditNewFirmware->text(), "4.2");
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Display, RadioPortWhenTheBaseAddressIsHigh) {
    // A base address of 255 or more: the unit the base lists is a Radio-Port.
    z5sim::RadioUnit unit = z5sim::RadioUnit::Remote(5, kOwnMAC);
    unit.params[0].value = kHardware;
    unit.params[1].value = 0x0105;
    unit.params[4].value = 254;
    rm->SetParam(4, 255);
    rm->Join(unit);
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(2));
    EXPECT_EQ(window->ComboDevice->itemText(1), "Radio-Port");
    EXPECT_EQ(window->PictureNumber(), 2);
    EXPECT_EQ(window->EditNewFirmware->text(), "3.1");  // the RTCU offer
    EXPECT_EQ(RadioParam4, 254);
}

TEST_F(Display, RadioMasterAloneAndTheVersionCheck) {
    rm->SetParam(1, 0x0203);  // what the setup file offers
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    EXPECT_EQ(window->ComboDevice->itemText(0), "Radio Master");
    EXPECT_EQ(window->PictureNumber(), 1);
    EXPECT_EQ(window->EditFirmware->text(), "2.3");
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_EQ(window->Label6->text(), Lang(38));
    VersionCheck = 0;
    window->ComboDeviceChange();
    EXPECT_TRUE(window->BtnUpdate->isEnabled());
    EXPECT_TRUE(window->Label6->text().isEmpty());
}

// A version that could not be read is shown as such, and nothing is offered for it.
TEST_F(Display, VersionThatCannotBeReadOffersNothing) {
    VersionCheck = 0;  // not even with the version check off
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    ASSERT_TRUE(window->BtnUpdate->isEnabled());
    for (int k = 0; k < 20; ++k) rm->PushFault(z5sim::Fault::Refuse(1).OnCommand(0x12));
    window->ComboDeviceChange();
    rm->ClearFaults();
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
    EXPECT_EQ(window->Label6->text(), Lang(41));
    EXPECT_EQ(window->Label3->text(), Lang(49));
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_NE(window->EditFirmware->text(), "255.255");
    EXPECT_TRUE(window->EditFirmware->text().isEmpty());
    window->BtnUpdateClick();
    EXPECT_FALSE(UpdateRunning());

    // Read again, the versions are back and so is the offer.
    window->ComboDeviceChange();
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(window->EditFirmware->text(), "1.2");
    EXPECT_TRUE(window->Label6->text().isEmpty());
    EXPECT_EQ(window->Label3->text(), Lang(21));
    EXPECT_TRUE(window->BtnUpdate->isEnabled());
}

// A device of a known kind that answers nothing: the poll pass leaves a red
// panel whose status says the same as its info, and nothing to press.
TEST_F(Display, SilentDeviceIsShownAsUnreadByThePollPass) {
    for (const char* description : {z5sim::Timer62::kDescription, z5sim::DataLogger::kDescription}) {
        SCOPED_TRACE(description);
        Start();
        auto silent = std::make_shared<z5sim::GenericDevice>(description, "SIL1", z5sim::GenericDevice::Answer::Nothing);
        ASSERT_TRUE(bus.Plug(silent));
        ASSERT_TRUE(WaitForItems(1));
        // The info is the version pass's last word; the status follows in the same pass.
        ASSERT_TRUE(WaitUntil([&] { return window->Label6->text() == Lang(41); }));
        EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
        EXPECT_EQ(window->Label3->text(), Lang(49));
        EXPECT_FALSE(window->Label3->text().isEmpty());
        EXPECT_FALSE(window->BtnUpdate->isEnabled());
        ASSERT_TRUE(bus.Unplug("SIL1"));
        ASSERT_TRUE(WaitForNoDevice());
        window.reset();
    }
}

// Ticks under the error box run no pass: a change meanwhile waits for the box.
TEST_F(Display, SecondDeviceGivesOneBoxAndNoPassUnderIt) {
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    auto other = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RMW2");
    uint32_t generationUnderBox = 0, generationBeforeClose = 0;
    onBox = [&] {
        generationUnderBox = DisplayGeneration;
        bus.Unplug("RMW2");
        Spin(400);  // many ticks and scans
        generationBeforeClose = DisplayGeneration;
    };
    ASSERT_TRUE(bus.Plug(other));
    ASSERT_TRUE(WaitUntil([&] { return !boxes.empty(); }));
    EXPECT_EQ(boxes[0], Lang(20));
    EXPECT_EQ(generationBeforeClose, generationUnderBox);
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    // After the box the single device is shown again.
    ASSERT_TRUE(WaitForItems(1));
    EXPECT_EQ(window->PictureNumber(), 1);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Display, DataLoggerVersionTexts) {
    struct Case {
        const char* text;
        int32_t number;
    };
    for (const Case& c : {Case{"1.09", 0x0109}, Case{"1.05", 0x0105}, Case{"2.10", 0x020A}, Case{"2.1", 0x020A},
                          Case{"3", 0x0300}, Case{"1.234", 0x0117}, Case{"", -1}, Case{"1.x", -1}, Case{"a", -1},
                          Case{"1.", -1}})
        EXPECT_EQ(DluFirmwareNumber(c.text), c.number) << c.text;
    EXPECT_EQ(VersionText(0x0109), "1.9");
    EXPECT_EQ(VersionText(0x0200), "2.0");
    EXPECT_EQ(VersionText(-1), "255.255");
}

}  // namespace
