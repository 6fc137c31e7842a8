// Simulated radio base (Radio Master): answers the requests of the frame protocol
// from its device parameters and the data of its radio units, and streams
// measurement frames while a measurement runs.
//
// Requests (address aL aH after CMD; replies echo it):
//   0x11 write parameter -> 0x18     0x12 read parameter(s) -> 0x1A
//   0x1F node list -> 0x1F           0x41 write EEPROM -> 0x48
//   0x42 read EEPROM / sensor parameter(s) -> 0x4A
//   0x4C set range (two bytes) / get range (none) -> 0x4C
//   0x63 sensor command, 0x4B zero -> the command with an empty payload
//   0x01 latest values -> 0x09 (per unit settable)
//   0x31 start -> '8' (0x38), then the stream; 0x32 stop, 0x5A 'Z': no reply
//   0x21 / 0x22 / 0x23 firmware start, block, finish -> 0x28 or a refusal
//     (z5sim_firmware.h): one receiver per target, the base (address 0) or a
//     unit. The target's device class is its own (4 by default), its hardware
//     version the low byte of its parameter 0; after the last part of an update
//     its parameter 1 (firmware version) holds the new version.
// Address 0 is the base itself; any other address is the radio unit there (the own
// radio unit sits at the address in parameter 4). A request for an address without
// a unit is not answered. Faults of the framework (silence, wrong command, split,
// late) apply to every reply.
// Network: units join and leave the node list at any time (Join, Leave,
// SetNodeList). The ejecting write (parameter 25 := 99 to a remote unit, parameter
// 6 := 99 to the own unit) takes the unit out of the node list and stops its stream;
// the unit itself stays and still answers.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "z5sim_device.h"
#include "z5sim_firmware.h"

namespace z5sim {

// A parameter and the number of bytes it has on the wire (1 to 8).
struct Param {
    uint64_t value = 0;
    uint8_t width = 1;
};

// One radio unit behind the base (a remote sensor unit or the base's own unit).
struct RadioUnit {
    uint16_t address = 0;
    std::map<uint8_t, Param> params;   // radio parameters (0x11 / 0x12)
    std::map<uint8_t, Param> eeprom;   // sensor EEPROM and sensor parameters (0x41 / 0x42)
    std::map<uint8_t, uint8_t> range;  // range pairs (0x4C)
    // Latest-value replies: each request takes the first; the last one stays.
    std::vector<std::vector<uint16_t>> latest{{0, 0, 0, 0, 0}};
    uint8_t latestCmd = 0x09;
    // What the unit received: sensor commands (cmd, value) and zero requests.
    std::vector<std::pair<uint8_t, uint16_t>> commands;
    std::vector<uint8_t> zeroRequests;
    // Stream: one frame per period while measuring: time count, then the values.
    bool streams = false;
    std::vector<uint16_t> streamValues{1, 2};
    uint32_t timeCount = 0;
    uint32_t timeStep = 1;  // added to the time count after each frame
    // The unit's sample period: protocol ms between its frames; 0 = the base's stream period.
    uint32_t streamPeriod = 0;
    // Ejecting writes received.
    unsigned ejections = 0;
    uint16_t deviceClass = 4;  // device class of its firmware

    // A remote unit with the default widths of parameters 0..28 and EEPROM 0..42.
    static RadioUnit Remote(uint16_t address, uint64_t mac);
    // The base's own unit: MAC in parameter 2.
    static RadioUnit Own(uint16_t address, uint64_t mac);
};

class RadioMaster : public Device {
public:
    static constexpr const char* kDescription = "Zelto5 Radio Master";

    // Parameters 0..13 with their block widths, 4 = 1 (own unit address), 6 = 11
    // (channel), 7 = MAC (8 bytes), 11 = 4 (hardware kind); the own unit at 1. The
    // node list starts empty.
    RadioMaster(std::string description = kDescription, std::string serial = "RM0001");
    ~RadioMaster() override;

    // Device parameters (address 0).
    void SetParam(uint8_t id, uint64_t value, uint8_t width);
    void SetParam(uint8_t id, uint64_t value);  // keeps the width
    std::optional<Param> GetParam(uint8_t id) const;

    // Units, by address (adding replaces one at the same address).
    void SetUnit(const RadioUnit& unit);
    void RemoveUnit(uint16_t address);
    std::optional<RadioUnit> Unit(uint16_t address) const;
    // Changes a unit in place under the model's lock; false when there is none.
    template <class F>
    bool EditUnit(uint16_t address, F&& edit) {
        std::lock_guard<std::mutex> g(lock_);
        auto it = units_.find(address);
        if (it == units_.end()) return false;
        edit(it->second);
        return true;
    }

    void SetNodeList(std::vector<uint16_t> addresses);
    std::vector<uint16_t> NodeList() const;
    // Sets the unit and puts its address at the end of the node list (once).
    void Join(const RadioUnit& unit);
    // Takes the address out of the node list; the unit stays.
    void Leave(uint16_t address);

    // Stream.
    bool Measuring() const;
    // Starts or stops the stream as the start and stop requests do (for models
    // whose stream starts on another command).
    void SetMeasuring(bool on);
    void SetStreamPeriod(uint32_t ms);  // protocol ms between stream rounds (default 20)
    uint64_t StreamedFrames() const;
    // A short frame 0x7D 0x03 cmd aL aH 0x7E ('7' or '8'), sent now.
    bool SendShortFrame(uint8_t cmd, uint16_t address);
    // Number of 'Z' requests received.
    unsigned ZRequests() const;

    // Firmware: the receiver of a target (0 the base, else a unit's address),
    // made on first use; it lives as long as the model.
    FirmwareReceiver& Firmware(uint16_t address);
    void SetDeviceClass(uint16_t deviceClass);  // the base's (default 4)

protected:
    std::vector<Bytes> OnFrame(const Message& request) override;
    void OnAnswered(const Message& request, bool replied) override;

private:
    Bytes ReadParams(uint16_t address, const Bytes& ids, bool eeprom);
    RadioUnit* FindUnit(uint16_t address);  // caller holds lock_
    FirmwareReceiver& ReceiverOf(uint16_t address);  // caller holds lock_
    std::vector<Bytes> Update(const Message& request);  // caller holds lock_
    void StreamLoop();
    // Frames of the streaming units that are due at now; schedules their next frame
    // and returns the protocol ms until the next one is due. Caller holds lock_.
    uint32_t DueFrames(uint32_t now, std::vector<Bytes>& frames);
    bool IsEject(uint16_t address, uint8_t id, uint64_t value) const;  // caller holds lock_

    mutable std::mutex lock_;
    std::map<uint8_t, Param> params_;
    std::map<uint16_t, RadioUnit> units_;
    std::vector<uint16_t> nodeList_;
    bool measuring_ = false;
    uint32_t streamPeriod_ = 20;
    std::map<uint16_t, uint32_t> due_;  // tick at which each streaming unit sends next
    bool reschedule_ = false;           // a period or the units changed while waiting
    uint64_t streamed_ = 0;
    unsigned zRequests_ = 0;
    uint16_t deviceClass_ = 4;
    std::map<uint16_t, FirmwareReceiver> firmware_;
    bool ending_ = false;
    std::condition_variable wake_;
    std::thread streamer_;
};

}  // namespace z5sim
