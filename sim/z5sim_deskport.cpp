#include "z5sim_deskport.h"

namespace z5sim {

DeskPort::DeskPort(std::string description, std::string serial)
    : RadioMaster(std::move(description), std::move(serial)) {
    RadioMaster::SetParam(11, kHardwareKind, 2);
    RadioUnit unit = RadioUnit::Remote(kUnitAddress, 0x2000000000000001ull);
    unit.eeprom[1] = z5sim::Param{7, 1};      // identity
    unit.params[28] = z5sim::Param{0x03, 1};  // channel mask: two channels
    unit.params[22] = z5sim::Param{0, 2};
    unit.streams = true;
    unit.streamValues = {100, 200};
    SetUnit(unit);
}

void DeskPort::SetParam(uint16_t address, uint8_t id, uint8_t width, uint64_t value) {
    if (address == 0) {
        RadioMaster::SetParam(id, value, width);
        return;
    }
    if (!EditUnit(address, [&](RadioUnit& u) { u.params[id] = z5sim::Param{value, width}; })) {
        RadioUnit unit = RadioUnit::Remote(address, 0);
        unit.params[id] = z5sim::Param{value, width};
        SetUnit(unit);
    }
}

std::optional<uint64_t> DeskPort::Param(uint16_t address, uint8_t id) const {
    if (address == 0) {
        auto p = GetParam(id);
        return p ? std::optional<uint64_t>(p->value) : std::nullopt;
    }
    auto unit = Unit(address);
    if (!unit) return std::nullopt;
    auto it = unit->params.find(id);
    return it == unit->params.end() ? std::nullopt : std::optional<uint64_t>(it->second.value);
}

void DeskPort::SetSensorValue(uint16_t address, uint8_t id, uint8_t width, uint32_t value) {
    EditUnit(address, [&](RadioUnit& u) { u.eeprom[id] = z5sim::Param{value, width}; });
}

}  // namespace z5sim
