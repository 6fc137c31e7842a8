// Models of the instruments: each is a radio base (RadioMaster: parameters, node
// list, latest values, start/stop and stream, firmware) with the commands of its
// own kind on top. An instrument command is a frame CMD aL aH [value bytes]; it is
// recorded and answered with the short frame 7D 03 reply aL aH 7E.
//
//   XRay               0x2A, 0x2B, 0x2C with one value byte -> 0x1B; parameters
//                      32 and 33 (2 bytes) at address 0
//   Timer62            'L', 'M' -> 0x1B
//   UniversalCounter   nothing of its own
//   FunctionGenerator  'M'..'U' to 0x0100 -> '8'; its own parameters are those of
//                      the unit at 0x0100 (0 hardware version, 1 firmware version,
//                      device class 9), and so is its firmware; 'Q' starts and 'R'
//                      stops a stream of five values from its channel unit at 1
//   LightSpeedMeter    'M', 'N' -> 0x1B; zeroing 0x4B and latest values 0x01 at
//                      address 0; start 0x31 streams two values at address 0;
//                      firmware at address 0 in 200-byte blocks, each
//                      acknowledged with 10 bytes, and after the finish's
//                      acknowledgement a second confirmation (scripted)
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "z5sim_firmware.h"
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

class Timer62 : public Instrument {
public:
    static constexpr const char* kDescription = "Timer 6-2 71304.52";
    Timer62(std::string description = kDescription, std::string serial = "TI0001");
};

class UniversalCounter : public Instrument {
public:
    static constexpr const char* kDescription = "Universal Counter 52817.30";
    UniversalCounter(std::string description = kDescription, std::string serial = "UC0001");
};

class FunctionGenerator : public Instrument {
public:
    static constexpr const char* kDescription = "Function Generator 60275.44";
    static constexpr uint16_t kOwnAddress = 0x0100;
    static constexpr uint16_t kChannelUnit = 1;
    static constexpr uint16_t kDeviceClass = 9;

    FunctionGenerator(std::string description = kDescription, std::string serial = "FG0001");

protected:
    void OnAnswered(const Message& request, bool replied) override;
};

class LightSpeedMeter : public Instrument {
public:
    static constexpr const char* kDescription = "Speed of Light Meter 38410.00";
    static constexpr uint32_t kImage = 500000;
    static constexpr uint16_t kDeviceClass = 6;

    LightSpeedMeter(std::string description = kDescription, std::string serial = "SL0001");

    // The values of the latest-values reply (address 0).
    void SetLatest(std::vector<uint16_t> values);
    // Zeroing requests received.
    unsigned ZeroRequests() const;
    // After the finish's acknowledgement: the second confirmation after `ms`
    // (default 100), a refusal with `refusal` instead when set, none when silent.
    void SetSecondConfirmation(uint32_t ms, std::optional<uint8_t> refusal = std::nullopt, bool silent = false);
    FirmwareReceiver& Firmware() { return firmware_; }
    // Closing frames (7D 03 28 00 00 7E) received.
    unsigned ClosingFrames() const;

protected:
    std::vector<Bytes> OnFrame(const Message& request) override;
    void OnAnswered(const Message& request, bool replied) override;

private:
    mutable std::mutex meterLock_;
    std::vector<uint16_t> latest_{0, 0};
    unsigned zeroRequests_ = 0;
    unsigned closingFrames_ = 0;
    uint32_t secondMs_ = 100;
    std::optional<uint8_t> secondRefusal_;
    bool secondSilent_ = false;
    bool confirmPending_ = false;
    FirmwareReceiver firmware_{kImage};
};

}  // namespace z5sim
