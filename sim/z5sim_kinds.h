// The device kinds that the z5sim command can plug, by name.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "z5sim_device.h"

namespace z5sim {

struct Kind {
    std::string name;
    std::string description;  // default USB description
    std::shared_ptr<Device> (*make)(const std::string& description, const std::string& serial);
};

const std::vector<Kind>& Kinds();
// nullptr for an unknown kind; an empty description takes the kind's default.
std::shared_ptr<Device> MakeDevice(const std::string& kind, const std::string& description, const std::string& serial);

}  // namespace z5sim
