// Model of a Desk-Port (and of a Starter-Port, which speaks the same): a radio
// base (RadioMaster: parameters, latest values, start/stop and stream, firmware)
// whose one sensor unit is wired at radio address 1: identity 7 (sensor EEPROM
// value 1), channel mask 0x03 (parameter 28), parameter 22, streaming two values
// while a measurement runs. Hardware kind (device parameter 11) 5. The node list
// stays empty.
#pragma once
#include <cstdint>
#include <optional>

#include "z5sim_radiomaster.h"

namespace z5sim {

class DeskPort : public RadioMaster {
public:
    static constexpr uint16_t kHardwareKind = 5;
    static constexpr uint16_t kUnitAddress = 1;

    DeskPort(std::string description, std::string serial);

    using RadioMaster::SetParam;
    // Parameter id at address (0 the device, 1 its sensor unit), sent with width
    // 1, 2, 4 or 8 bytes.
    void SetParam(uint16_t address, uint8_t id, uint8_t width, uint64_t value);
    std::optional<uint64_t> Param(uint16_t address, uint8_t id) const;
    // Sensor unit value id (read with command 0x42), 1 to 4 bytes.
    void SetSensorValue(uint16_t address, uint8_t id, uint8_t width, uint32_t value);
};

}  // namespace z5sim
