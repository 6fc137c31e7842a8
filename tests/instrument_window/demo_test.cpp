// The demo: each kind the simulator command plugs, with the program's own sample
// setup file and part files, goes through the whole update to the green panel.
#include "../mainwin/mainwin_support.h"
#include "z5sim_kinds.h"

using namespace mainwin_test;

namespace {

struct DemoCase {
    const char* kind;
    int items;       // in the device list
    int choose;      // the item to update (-1: as the window selects)
    const char* section;
};

void PrintTo(const DemoCase& c, std::ostream* os) { *os << c.kind << ' ' << c.section; }

class DemoUpdate : public MainWindow, public ::testing::WithParamInterface<DemoCase> {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        const fs::path data = KAVREL_DATA_DIR;
        fs::copy_file(data / "z5setup.cfg", prog / "z5setup.cfg");
        fs::copy(data / "firmware", prog / "firmware");
    }
};

TEST_P(DemoUpdate, GoesThroughToTheGreenPanel) {
    const DemoCase& c = GetParam();
    Start();
    ASSERT_TRUE(bus.Plug(z5sim::MakeDevice(c.kind, "", "DEMO1")));
    ASSERT_TRUE(WaitForItems(c.items));
    if (c.choose >= 0) {
        window->ComboDevice->setCurrentIndex(c.choose);
        window->ComboDeviceChange();
    }
    ASSERT_TRUE(window->BtnUpdate->isEnabled()) << window->Label6->text().toStdString();
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitUntil([&] { return UpdateRunning(); }, 10));
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_EQ(UpdateJob.LastResult, 0);
    EXPECT_EQ(window->PanelColor(), QColor(0xC0, 0xDC, 0xC0)) << window->Label6->text().toStdString();
    EXPECT_EQ(window->Label3->text(), Lang(24));
    EXPECT_EQ(window->Label6->text(), Lang(35));
    EXPECT_EQ(UpdateJob.PartCount, SetupConfig->ReadNumber(c.section, "MaxFilenames", 0));
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DemoUpdate,
    ::testing::Values(DemoCase{"radiomaster", 2, -1, "RCU"}, DemoCase{"radiomaster", 2, 0, "RTUU"},
                      DemoCase{"deskport", 1, -1, "DUU"}, DemoCase{"starterport", 1, -1, "ST"},
                      DemoCase{"datalogger", 1, -1, "DLU"}, DemoCase{"timer62", 1, -1, "TIMER62"},
                      DemoCase{"counter", 1, -1, "UNIZ"}, DemoCase{"lightspeed", 1, -1, "LIGHTSPEED"},
                      DemoCase{"dds", 1, -1, "DDS"}, DemoCase{"xray", 1, -1, "XRAY"}),
    [](const auto& info) { return std::string(info.param.kind) + "_" + info.param.section; });

}  // namespace
