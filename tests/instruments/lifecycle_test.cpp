// Open and close of every instrument class at class level against its model:
// the reader lets go of the handle at the close, and a device is closed once,
// whichever way its destruction goes, so that its close never reaches a line
// that another device opened since.
#include <memory>

#include "instruments_support.h"
#include "uModerator.h"
#include "uRTUU.h"
#include "z5clock.h"
#include "z5sim_deskport.h"

using namespace instruments_test;

namespace {

struct ClassCase {
    const char* name;
    TDeviceClass cls;
    std::function<std::shared_ptr<z5sim::Device>(const std::string& serial)> make;
    const char* command;  // answered with 0 by the model
};

void PrintTo(const ClassCase& c, std::ostream* os) { *os << c.name; }

std::vector<ClassCase> Classes() {
    return {
        {"TDUU", TDeviceClass::DUU,
         [](const std::string& s) { return std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", s); }, "0010,1,\r"},
        {"TTimer62", TDeviceClass::Timer62,
         [](const std::string& s) { return std::make_shared<z5sim::Timer62>(z5sim::Timer62::kDescription, s); },
         "0017,1,\r"},
        {"TUNIZ", TDeviceClass::UNIZ,
         [](const std::string& s) {
             return std::make_shared<z5sim::UniversalCounter>(z5sim::UniversalCounter::kDescription, s);
         },
         "0010,1,\r"},
        {"TLIGHTSPEED", TDeviceClass::LIGHTSPEED,
         [](const std::string& s) {
             return std::make_shared<z5sim::LightSpeedMeter>(z5sim::LightSpeedMeter::kDescription, s);
         },
         "0019,1,\r"},
        {"TDDS", TDeviceClass::DDS,
         [](const std::string& s) {
             return std::make_shared<z5sim::FunctionGenerator>(z5sim::FunctionGenerator::kDescription, s);
         },
         "0019,1,\r"},
        {"TXRAY", TDeviceClass::XRAY,
         [](const std::string& s) { return std::make_shared<z5sim::XRay>(z5sim::XRay::kDescription, s); },
         "0017,1,\r"},
    };
}

class EachClass : public ::testing::TestWithParam<ClassCase> {
protected:
    // Reply waits of 250 ms real: the commands have one attempt, and a loaded
    // machine answers well within them.
    void SetUp() override {
        z5::SetTimeScale(0.5);
        bus.Export();
    }
    void TearDown() override { z5::SetTimeScale(0.05); }
    std::unique_ptr<TRTUU> Open(const std::string& serial) {
        std::unique_ptr<TTemplateDevices> made = TModerator::CreateDevice(GetParam().cls);
        auto* rtuu = dynamic_cast<TRTUU*>(made.get());
        if (!rtuu) return nullptr;
        made.release();
        std::unique_ptr<TRTUU> device(rtuu);
        device->SetSerialNo(serial);
        EXPECT_EQ(device->OpenDevice(921600, 0), 0);
        return device;
    }
    z5sim::Bus bus;
};

TEST_P(EachClass, TheCloseLetsGoOfTheHandleOnce) {
    const ClassCase& c = GetParam();
    ASSERT_TRUE(bus.Plug(c.make("A1")));
    ASSERT_TRUE(bus.Plug(c.make("B1")));
    int32_t reply = 0;

    std::unique_ptr<TRTUU> a = Open("A1");
    ASSERT_TRUE(a);
    EXPECT_NE(a->GetReader().GetFTHandle(), nullptr);
    EXPECT_EQ(a->SendCmdAndGetResponse(c.command, reply), 0);
    EXPECT_EQ(a->CloseDevice(), 0);
    EXPECT_EQ(a->GetReader().GetFTHandle(), nullptr) << "the reader reads no closed handle";
    EXPECT_NE(a->CloseDevice(), 0) << "closed already: the driver is not asked again";
    EXPECT_EQ(a->SendCmdAndGetResponse(c.command, reply), -1) << "nothing goes out on a closed line";

    // B's line may get A's old handle; A's destruction must not close it.
    std::unique_ptr<TRTUU> b = Open("B1");
    ASSERT_TRUE(b);
    a.reset();
    EXPECT_EQ(b->SendCmdAndGetResponse(c.command, reply), 0);

    // Destroyed while open: closed there, and the serial can be opened anew.
    b.reset();
    std::unique_ptr<TRTUU> again = Open("B1");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->SendCmdAndGetResponse(c.command, reply), 0);
}

INSTANTIATE_TEST_SUITE_P(Instruments, EachClass, ::testing::ValuesIn(Classes()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The type code of each class, and what its getter does with the caller's string
// once destruction has begun: left alone, or emptied.
TEST(DeviceNames, EachClassAndItsNameDuringDestruction) {
    struct Case {
        TDeviceClass cls;
        std::u16string name;
        bool keepsCallersText;
    };
    const std::vector<Case> cases = {
        {TDeviceClass::RTUU, u"RTUU", false},    {TDeviceClass::DUU, u"DUU", true},
        {TDeviceClass::DLU, u"DLU", false},      {TDeviceClass::Timer62, u"TIMER62", true},
        {TDeviceClass::UNIZ, u"UNIZ", true},     {TDeviceClass::LIGHTSPEED, u"SOL", false},
        {TDeviceClass::DDS, u"DDS", false},      {TDeviceClass::XRAY, u"DDS", false},
    };
    z5::SetTimeScale(0.05);  // the destructors' waits
    for (const Case& c : cases) {
        SCOPED_TRACE(z5::Utf16ToUtf8(c.name));
        std::unique_ptr<TTemplateDevices> device = TModerator::CreateDevice(c.cls);
        std::u16string name;
        device->GetName(name);
        EXPECT_EQ(name, c.name);
        device->IsDestroying = true;
        name = u"caller";
        device->GetName(name);
        if (c.cls == TDeviceClass::DLU) continue;  // answers its code throughout
        EXPECT_EQ(name, c.keepsCallersText ? u"caller" : u"");
    }
}

}  // namespace
