#include "z5sim_kinds.h"

#include "z5sim_generic.h"
#include "z5sim_radiomaster.h"

namespace z5sim {

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = {
        {"echo", "Zelto5 Echo",
         [](const std::string& d, const std::string& s) -> std::shared_ptr<Device> {
             return std::make_shared<GenericDevice>(d, s, GenericDevice::Answer::Echo);
         }},
        {"radiomaster", RadioMaster::kDescription,
         [](const std::string& d, const std::string& s) -> std::shared_ptr<Device> {
             return std::make_shared<RadioMaster>(d, s);
         }},
        {"silent", "Zelto5 Silent",
         [](const std::string& d, const std::string& s) -> std::shared_ptr<Device> {
             return std::make_shared<GenericDevice>(d, s, GenericDevice::Answer::Nothing);
         }},
    };
    return kinds;
}

std::shared_ptr<Device> MakeDevice(const std::string& kind, const std::string& description, const std::string& serial) {
    for (const auto& k : Kinds())
        if (k.name == kind) return k.make(description.empty() ? k.description : description, serial);
    return nullptr;
}

}  // namespace z5sim
