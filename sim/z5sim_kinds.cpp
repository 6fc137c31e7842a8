#include "z5sim_kinds.h"

#include "z5sim_datalogger.h"
#include "z5sim_deskport.h"
#include "z5sim_generic.h"
#include "z5sim_instruments.h"
#include "z5sim_radiomaster.h"

namespace z5sim {

namespace {

template <class Model>
std::shared_ptr<Device> Make(const std::string& d, const std::string& s) {
    return std::make_shared<Model>(d, s);
}

std::shared_ptr<Device> Echo(const std::string& d, const std::string& s) {
    return std::make_shared<GenericDevice>(d, s, GenericDevice::Answer::Echo);
}

// The command's Radio Master is one that the program's sample setup file offers
// an update to: hardware version 1, device class 2, firmware 1.2; its own radio
// unit (a Relay-Port, the base's parameter 4 being below 255) hardware version 1,
// device class 12, firmware 1.3.
std::shared_ptr<Device> SampleRadioMaster(const std::string& d, const std::string& s) {
    auto rm = std::make_shared<RadioMaster>(d, s);
    rm->SetParam(0, 1);
    rm->SetParam(1, 0x0102);
    rm->SetDeviceClass(2);
    RadioUnit unit = RadioUnit::Own(1, 0x1000000000000001ull);
    unit.params[0].value = 1;
    unit.params[1].value = 0x0103;
    unit.deviceClass = 12;
    rm->Join(unit);
    return rm;
}

// A device at address 0 that the sample setup file offers an update to: hardware
// version 1, the section's device class and a firmware older than the offer.
template <class Model, uint16_t DeviceClass, uint16_t Firmware>
std::shared_ptr<Device> Offered(const std::string& d, const std::string& s) {
    auto device = std::make_shared<Model>(d, s);
    device->SetParam(0, 1);
    device->SetParam(1, Firmware);
    device->SetDeviceClass(DeviceClass);
    return device;
}

// A Radio Master as a measuring client meets it: its own radio unit at 1 and a
// remote radio sensor unit at 5 (MAC A0A0A0A0A0A0A0A1, identity 7, two channels)
// that streams the values 11 and 22 while a measurement runs.
std::shared_ptr<Device> RadioMasterWithUnit(const std::string& d, const std::string& s) {
    auto rm = std::make_shared<RadioMaster>(d, s);
    rm->Join(RadioUnit::Own(1, 0x1000000000000001ull));
    RadioUnit unit = RadioUnit::Remote(5, 0xA0A0A0A0A0A0A0A1ull);
    unit.eeprom[1].value = 7;
    unit.params[28].value = 0x03;
    unit.streams = true;
    unit.streamValues = {11, 22};
    rm->Join(unit);
    return rm;
}

// The command's data logger holds one file "08031501" of two channels, time mode
// 0 with an interval of 100, and three lines.
std::shared_ptr<Device> SampleDataLogger(const std::string& d, const std::string& s) {
    auto dl = std::make_shared<DataLogger>(d, s);
    DataLogger::File f;
    f.name = "08031501";
    f.size = 3;
    f.header = DataLogger::HeaderText(
        {"Lab 3", "Run A", 2, "", 0, {"T1", "U1"}, {"air", "cell"}, {"^C", "V"}, {{"0", "100"}, {"0", "10"}}});
    f.interval = "0100";
    f.lines = {{"", {"1,5", "2"}}, {"", {"3", "-0,5"}}, {"", {"4,25", "6"}}};
    dl->SetFiles({f});
    return dl;
}

std::shared_ptr<Device> Silent(const std::string& d, const std::string& s) {
    return std::make_shared<GenericDevice>(d, s, GenericDevice::Answer::Nothing);
}

}  // namespace

// One kind per description the library recognises, and two generic ones.
const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"echo", "Zelto5 Echo", Echo},
        {"silent", "Zelto5 Silent", Silent},
        {"radiomaster", RadioMaster::kDescription, SampleRadioMaster},
        {"radiomasterunit", RadioMaster::kDescription, RadioMasterWithUnit},
        // Device classes and versions as the program's sample setup file has them.
        {"deskport", "Zelto5 Desk-Port", Offered<DeskPort, 5, 0x0101>},
        {"starterport", "Zelto5 Starter-Port", Offered<DeskPort, 13, 0x0100>},
        {"datalogger", DataLogger::kDescription, SampleDataLogger},
        {"timer62", Timer62::kDescription, Offered<Timer62, 8, 0x0200>},
        {"counter", UniversalCounter::kDescription, Offered<UniversalCounter, 7, 0x0102>},
        {"lightspeed", LightSpeedMeter::kDescription, Make<LightSpeedMeter>},
        {"dds", FunctionGenerator::kDescription, Make<FunctionGenerator>},
        {"xray", XRay::kDescription, Offered<XRay, 10, 0x0101>},
    };
    return kinds;
}

std::shared_ptr<Device> MakeDevice(const std::string& kind, const std::string& description, const std::string& serial) {
    for (const auto& k : Kinds())
        if (k.name == kind) return k.make(description.empty() ? k.description : description, serial);
    return nullptr;
}

}  // namespace z5sim
