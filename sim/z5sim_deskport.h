// Model of a Desk-Port (and of a Starter-Port, which speaks the same): a USB
// interface with one wired sensor unit at radio address 1. It answers the
// radio base protocol's single parameter reads and writes at any address, the
// sensor unit's value reads and the node list (empty). Parameters it does not
// hold get no answer.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "z5sim_device.h"

namespace z5sim {

class DeskPort : public Device {
public:
    // Hardware kind (device parameter 11) answered by default.
    static constexpr uint16_t kHardwareKind = 5;

    DeskPort(std::string description, std::string serial);

    // Parameter id at address (0 the device, 1 its sensor unit), sent with width
    // 1, 2, 4 or 8 bytes.
    void SetParam(uint16_t address, uint8_t id, uint8_t width, uint64_t value);
    std::optional<uint64_t> Param(uint16_t address, uint8_t id) const;
    // Sensor unit value id (read with command 0x42), 1 to 4 bytes.
    void SetSensorValue(uint16_t address, uint8_t id, uint8_t width, uint32_t value);

protected:
    std::vector<Bytes> OnFrame(const Message& request) override;

private:
    struct Value {
        uint8_t width;
        uint64_t value;
    };
    using Key = std::pair<uint16_t, uint8_t>;
    static Bytes Reply(uint8_t cmd, uint16_t address, uint8_t id, const Value& v);

    mutable std::mutex lock_;
    std::map<Key, Value> params_;
    std::map<Key, Value> sensorValues_;
};

}  // namespace z5sim
