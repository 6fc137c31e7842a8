#include "z5sim_deskport.h"

namespace z5sim {

namespace {
constexpr uint8_t kWriteParam = 0x11, kWriteParamReply = 0x18;
constexpr uint8_t kReadParam = 0x12, kReadParamReply = 0x1A;
constexpr uint8_t kNodeList = 0x1F;
constexpr uint8_t kReadSensor = 0x42, kReadSensorReply = 0x4A;
}  // namespace

DeskPort::DeskPort(std::string description, std::string serial)
    : Device(std::move(description), std::move(serial)) {
    SetParam(0, 11, 2, kHardwareKind);
    SetParam(0, 4, 2, 1);            // own radio address
    SetParam(1, 22, 2, 0);
    SetParam(1, 28, 1, 0x03);        // channel mask: two channels
    SetSensorValue(1, 1, 1, 7);      // identity
}

void DeskPort::SetParam(uint16_t address, uint8_t id, uint8_t width, uint64_t value) {
    std::lock_guard g(lock_);
    params_[{address, id}] = {width, value};
}

std::optional<uint64_t> DeskPort::Param(uint16_t address, uint8_t id) const {
    std::lock_guard g(lock_);
    auto it = params_.find({address, id});
    if (it == params_.end()) return std::nullopt;
    return it->second.value;
}

void DeskPort::SetSensorValue(uint16_t address, uint8_t id, uint8_t width, uint32_t value) {
    std::lock_guard g(lock_);
    sensorValues_[{address, id}] = {width, value};
}

Bytes DeskPort::Reply(uint8_t cmd, uint16_t address, uint8_t id, const Value& v) {
    Bytes payload{static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8), id};
    for (uint8_t i = 0; i < v.width; ++i) payload.push_back(static_cast<uint8_t>(v.value >> (8 * i)));
    return MakeFrame(cmd, payload);
}

std::vector<Bytes> DeskPort::OnFrame(const Message& request) {
    const Bytes payload = request.Payload();
    const uint16_t address = request.Address();
    std::lock_guard g(lock_);
    switch (request.Cmd()) {
        case kReadParam:
        case kReadSensor: {
            if (payload.size() != 3) return {};  // block reads are not modelled
            auto& table = request.Cmd() == kReadParam ? params_ : sensorValues_;
            auto it = table.find({address, payload[2]});
            if (it == table.end()) return {};
            return {Reply(request.Cmd() == kReadParam ? kReadParamReply : kReadSensorReply, address, payload[2],
                          it->second)};
        }
        case kWriteParam: {
            if (payload.size() < 4) return {};
            const uint8_t width = static_cast<uint8_t>(payload.size() - 3);
            uint64_t value = 0;
            for (uint8_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(payload[3 + i]) << (8 * i);
            params_[{address, payload[2]}] = {width, value};
            const uint8_t echo[2] = {payload[0], payload[1]};
            return {MakeFrame(kWriteParamReply, echo)};
        }
        case kNodeList: {
            const uint8_t none[2] = {0, 0};
            return {MakeFrame(kNodeList, none)};
        }
        default:
            return {};
    }
}

}  // namespace z5sim
