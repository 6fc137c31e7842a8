// Models of the instruments: each is a radio base (RadioMaster: parameters, node
// list, latest values, start/stop and stream, firmware) with the commands of its
// own kind on top. An instrument command is a frame CMD aL aH [value bytes]; it is
// recorded and answered with the short frame 7D 03 reply aL aH 7E.
//
//   XRay               0x2A, 0x2B, 0x2C with one value byte -> 0x1B; parameters
//                      32 and 33 (2 bytes) at address 0
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "z5sim_radiomaster.h"

namespace z5sim {

// One instrument command as received.
struct InstrumentCommand {
    uint8_t cmd = 0;
    uint16_t address = 0;
    Bytes values;  // the bytes after the address
    bool operator==(const InstrumentCommand&) const = default;
};

class Instrument : public RadioMaster {
public:
    Instrument(std::string description, std::string serial);

    // The kind's commands received, in order.
    std::vector<InstrumentCommand> Commands() const;
    void ClearCommands();

protected:
    // cmd is answered with reply (kept by the kind's constructor).
    void AnswerCommand(uint8_t cmd, uint8_t reply);
    std::vector<Bytes> OnFrame(const Message& request) override;

private:
    mutable std::mutex commandLock_;
    std::map<uint8_t, uint8_t> answers_;
    std::vector<InstrumentCommand> commands_;
};

class XRay : public Instrument {
public:
    static constexpr const char* kDescription = "X-Ray 27739.15";
    static constexpr uint8_t kHighVoltageParam = 32, kCurrentParam = 33;

    XRay(std::string description = kDescription, std::string serial = "XR0001");
};

}  // namespace z5sim
