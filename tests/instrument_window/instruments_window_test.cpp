// The program with each instrument attached, offscreen against its model: item
// text, pictures, duration, versions and offer, the commands of the version pass,
// the function generator's update at address 256 and its exit commands.
#include <QEvent>
#include <QObject>

#include "../mainwin/mainwin_support.h"
#include "z5sim_deskport.h"
#include "z5sim_instruments.h"

using namespace mainwin_test;

namespace {

using z5sim::Bytes;

// Records the picture number each time Image1 is painted.
class PictureLog : public QObject {
public:
    explicit PictureLog(TfrmMain& window) : window_(window) { window.Image1->installEventFilter(this); }
    std::vector<int32_t> pictures;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint &&
            (pictures.empty() || pictures.back() != window_.PictureNumber()))
            pictures.push_back(window_.PictureNumber());
        return false;
    }

private:
    TfrmMain& window_;
};

struct KindCase {
    const char* name;
    std::function<std::shared_ptr<z5sim::RadioMaster>()> make;
    uint16_t ownAddress;  // where its versions live
    const char* item;
    const char* typeCode;
    std::vector<int32_t> pictures;  // the poll's, then the version pass's
    const char* duration;
    std::vector<Bytes> commands;  // frames the version pass sends
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

Bytes Short(uint8_t cmd, uint16_t address = 0) {
    return {0x7D, 0x03, cmd, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0x7E};
}

std::vector<KindCase> Kinds() {
    return {
        {"DeskPort", [] { return std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", "IW1"); }, 0, "Desk-Port",
         "DUU", {4}, "1 min", {}},
        {"StarterPort", [] { return std::make_shared<z5sim::DeskPort>("Zelto5 Starter-Port", "IW1"); }, 0,
         "Starter-Port", "ST", {4, 12}, "1 min", {}},
        {"Timer62", [] { return std::make_shared<z5sim::Timer62>(z5sim::Timer62::kDescription, "IW1"); }, 0,
         "Timer 6-2", "TIMER62", {9}, "2 min", {Short('L')}},
        {"UniversalCounter",
         [] { return std::make_shared<z5sim::UniversalCounter>(z5sim::UniversalCounter::kDescription, "IW1"); }, 0,
         "Universal Counter", "UNIZ", {8}, "2 min", {}},  // code 17 is no command of the counter
        {"SpeedOfLightMeter",
         [] { return std::make_shared<z5sim::LightSpeedMeter>(z5sim::LightSpeedMeter::kDescription, "IW1"); }, 0,
         "Speed of Light Meter", "LIGHTSPEED", {7}, "3 min", {}},
        {"FunctionGenerator",
         [] { return std::make_shared<z5sim::FunctionGenerator>(z5sim::FunctionGenerator::kDescription, "IW1"); },
         0x100, "Digital Function Generator", "DDS", {10}, "2 min", {Short('M', 0x100), Short('U', 0x100)}},
        {"XRay", [] { return std::make_shared<z5sim::XRay>(z5sim::XRay::kDescription, "IW1"); }, 0, "XG 7.1", "XRAY",
         {11}, "1 min", {}},
    };
}

// The versions a model reports: hardware 3, firmware 1.2.
void SetVersions(z5sim::RadioMaster& model, uint16_t address) {
    if (address == 0) {
        model.SetParam(0, kHardware, 2);
        model.SetParam(1, 0x0102, 2);
        return;
    }
    model.EditUnit(address, [](z5sim::RadioUnit& u) {
        u.params[0] = z5sim::Param{kHardware, 2};
        u.params[1] = z5sim::Param{0x0102, 2};
    });
}

// The instrument-relevant frames (no parameter reads or writes, no node lists).
std::vector<Bytes> Commands(const z5sim::Device& model) {
    std::vector<Bytes> out;
    for (const Bytes& f : model.ReceivedFrames())
        if (f.size() > 2 && f[2] != 0x11 && f[2] != 0x12 && f[2] != 0x1F && f[2] != 0x42) out.push_back(f);
    return out;
}

class InstrumentWindow : public MainWindow, public ::testing::WithParamInterface<KindCase> {
protected:
    // A section of one part for this type code, device class and hardware 3.
    std::vector<std::string> OnePart(const std::string& code, int firmware, int deviceClass) {
        const std::string file = "fw/" + code + ".bin";
        WriteFile(file, Pattern(700, 5));
        return {"[" + code + "]", "Firmwarenumber=" + std::to_string(firmware), "MaxFilenames=1", "Filename1=" + file,
                "Devicetyp=" + std::to_string(deviceClass), "Hardwarenumbers=1",
                "HardwareVersion1=" + std::to_string(kHardware), ""};
    }
};

TEST_P(InstrumentWindow, ShowsTheDeviceAsItsRowSays) {
    const KindCase& c = GetParam();
    WriteSetup(OnePart(c.typeCode, 0x0203, 4));
    auto model = c.make();
    SetVersions(*model, c.ownAddress);
    Start();
    PictureLog log(*window);
    ASSERT_TRUE(bus.Plug(model));
    ASSERT_TRUE(WaitForItems(1));
    // The item may come before the version pass has been painted.
    EXPECT_TRUE(WaitUntil([&] { return !log.pictures.empty() && log.pictures.back() == c.pictures.back(); }));

    EXPECT_EQ(window->ComboDevice->itemText(0), c.item);
    EXPECT_EQ(TypeCode, c.typeCode);
    EXPECT_EQ(window->TimeL->text(), c.duration);
    ASSERT_FALSE(log.pictures.empty());
    std::vector<int32_t> shown(log.pictures.begin() + (log.pictures.front() == 6 ? 1 : 0), log.pictures.end());
    EXPECT_EQ(shown, c.pictures);
    EXPECT_EQ(window->EditFirmware->text(), "1.2");
    EXPECT_EQ(window->EditHardware->text(), "3");
    EXPECT_EQ(window->EditNewFirmware->text(), "2.3");
    EXPECT_TRUE(window->BtnUpdate->isEnabled());
    EXPECT_EQ(window->Label3->text(), Lang(21));
    EXPECT_TRUE(boxes.empty());

    // The version pass again: exactly its commands reach the device.
    model->ClearReceived();
    window->ComboDeviceChange();
    // The model takes the last frame on its own thread; one too many would show by then.
    WaitUntil([&] { return Commands(*model).size() >= c.commands.size(); }, 10);
    Spin(50);
    EXPECT_EQ(Commands(*model), c.commands);
}

INSTANTIATE_TEST_SUITE_P(Instruments, InstrumentWindow, ::testing::ValuesIn(Kinds()),
                         [](const auto& info) { return std::string(info.param.name); });

class FunctionGeneratorWindow : public InstrumentWindow {
protected:
    std::shared_ptr<z5sim::FunctionGenerator> model =
        std::make_shared<z5sim::FunctionGenerator>(z5sim::FunctionGenerator::kDescription, "FGW1");
};

TEST_F(FunctionGeneratorWindow, UpdatesAtAddress256FromItsSection) {
    WriteSetup(OnePart("DDS", 0x0203, z5sim::FunctionGenerator::kDeviceClass));
    SetVersions(*model, 0x100);
    Start();
    ASSERT_TRUE(bus.Plug(model));
    ASSERT_TRUE(WaitForItems(1));
    ASSERT_TRUE(window->BtnUpdate->isEnabled());
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_EQ(UpdateJob.LastResult, 0);
    EXPECT_EQ(window->Label3->text(), Lang(24));
    z5sim::FirmwareReceiver& fw = model->Firmware(0x100);
    EXPECT_EQ(fw.PartsCompleted(), 1u);
    EXPECT_EQ(fw.LastPart().address, 0x100);
    EXPECT_EQ(fw.LastPart().deviceClass, z5sim::FunctionGenerator::kDeviceClass);
    EXPECT_EQ(model->Firmware(0).BlockFrames(), 0u) << "nothing went to the device's address 0";
    window->ComboDeviceChange();
    EXPECT_EQ(window->EditFirmware->text(), "2.3");
}

TEST_F(FunctionGeneratorWindow, ExitSendsItsTwoCommandsThenTheLibraryEnds) {
    WriteSetup(OnePart("DDS", 0x0203, z5sim::FunctionGenerator::kDeviceClass));
    Start();
    ASSERT_TRUE(bus.Plug(model));
    ASSERT_TRUE(WaitForItems(1));
    model->ClearCommands();
    window->BtnExitClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tovamod_GetHardwareStructure(), nullptr);
    std::vector<uint8_t> letters;
    for (const auto& c : model->Commands()) letters.push_back(c.cmd);
    // "0018,1,\r", "0025,1,\r", then the device's own 'N' as the library frees it.
    EXPECT_EQ(letters, (std::vector<uint8_t>{'N', 'T', 'N'}));
}

}  // namespace
