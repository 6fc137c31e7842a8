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
        {"deskport", "Zelto5 Desk-Port", Make<DeskPort>},
        {"starterport", "Zelto5 Starter-Port", Make<DeskPort>},
        {"datalogger", DataLogger::kDescription, Make<DataLogger>},
        {"timer62", Timer62::kDescription, Make<Timer62>},
        {"counter", UniversalCounter::kDescription, Make<UniversalCounter>},
        {"lightspeed", LightSpeedMeter::kDescription, Make<LightSpeedMeter>},
        {"dds", FunctionGenerator::kDescription, Make<FunctionGenerator>},
        {"xray", XRay::kDescription, Make<XRay>},
    };
    return kinds;
}

std::shared_ptr<Device> MakeDevice(const std::string& kind, const std::string& description, const std::string& serial) {
    for (const auto& k : Kinds())
        if (k.name == kind) return k.make(description.empty() ? k.description : description, serial);
    return nullptr;
}

}  // namespace z5sim
