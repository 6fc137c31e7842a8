#include "z5sim_instruments.h"

namespace z5sim {

Instrument::Instrument(std::string description, std::string serial)
    : RadioMaster(std::move(description), std::move(serial)) {}

std::vector<InstrumentCommand> Instrument::Commands() const {
    std::lock_guard<std::mutex> g(commandLock_);
    return commands_;
}

void Instrument::ClearCommands() {
    std::lock_guard<std::mutex> g(commandLock_);
    commands_.clear();
}

void Instrument::AnswerCommand(uint8_t cmd, uint8_t reply) {
    std::lock_guard<std::mutex> g(commandLock_);
    answers_[cmd] = reply;
}

std::vector<Bytes> Instrument::OnFrame(const Message& request) {
    const Bytes payload = request.Payload();
    {
        std::lock_guard<std::mutex> g(commandLock_);
        auto it = answers_.find(request.Cmd());
        if (it != answers_.end()) {
            if (payload.size() < 2) return {};
            commands_.push_back({request.Cmd(), request.Address(), Bytes(payload.begin() + 2, payload.end())});
            const uint8_t address[2] = {payload[0], payload[1]};
            return {MakeFrame(it->second, address)};
        }
    }
    return RadioMaster::OnFrame(request);
}

XRay::XRay(std::string description, std::string serial) : Instrument(std::move(description), std::move(serial)) {
    for (uint8_t cmd : {0x2A, 0x2B, 0x2C}) AnswerCommand(cmd, 0x1B);
    SetParam(kHighVoltageParam, 350, 2);
    SetParam(kCurrentParam, 100, 2);
}

}  // namespace z5sim
