// Firmware receiver of a simulated device: takes one part at a time in start,
// block and finish frames, as a radio base or an instrument does. A model keeps
// one receiver per update target (a radio address) and hands it every frame
// 0x21, 0x22, 0x23 for that address; the receiver answers and records.
//
// Frames (address aL aH first, multi-byte fields little-endian):
//   0x21 start:  version(2) part index(1) part count(1) size(4) device class(2)
//                n(1), then n times: hardware version(1) 0x00
//   0x22 block:  offset(4), the image bytes
//   0x23 finish: check value(4), the CRC-32 of the part
// Answers: acknowledgement 7D 03 28 aL aH 7E; refusal 7D 04 cmd aL aH code 7E
// (cmd the refused frame's), the code one of the kError... values:
//   1 start: malformed, version 0, part index or count out of order (index 0 or
//     above count, index k > 1 without part k-1 of the same version and count
//     done), or a size beyond the image
//   2 start: another device class than the target's
//   3 start: the target's hardware version is not in the list
//   4 block: no part started, malformed, or beyond the announced size
//   5 finish: no part started, malformed, or the CRC-32 of the image differs
// Each block is stored at its offset (a repeated block overwrites). A finish
// whose check value matches completes the part; the last part of an update
// (index = count) gives the new version, which the model then reports (its
// firmware version parameter).
//
// Script: RefuseNextStart, RefuseBlocks, SetSilent; unplugging mid-part goes
// through the owning device's fault queue (UnplugAtBlock).
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "z5sim_message.h"

namespace z5sim {

class Device;

// Standard reflected CRC-32 (0xEDB88320, initial and final XOR 0xFFFFFFFF).
uint32_t FirmwareCrc32(const Bytes& bytes);

class FirmwareReceiver {
public:
    static constexpr uint8_t kCmdStart = 0x21, kCmdBlock = 0x22, kCmdFinish = 0x23, kAck = 0x28;
    static constexpr uint8_t kErrorStart = 1;
    static constexpr uint8_t kErrorDeviceClass = 2;
    static constexpr uint8_t kErrorHardware = 3;
    static constexpr uint8_t kErrorBlock = 4;
    static constexpr uint8_t kErrorCheck = 5;
    static constexpr uint32_t kRadioBaseImage = 100000;

    // What the target is when a start frame comes.
    struct Target {
        uint16_t deviceClass = 0;
        uint8_t hardwareVersion = 0;
    };
    // What came of the current (or last) part.
    struct Part {
        bool started = false;
        Bytes startFrame;
        uint16_t address = 0, version = 0, deviceClass = 0;
        uint8_t partIndex = 0, partCount = 0;
        uint32_t size = 0;
        std::vector<uint8_t> hardware;
        Bytes image;                         // the announced size
        std::vector<uint32_t> blockOffsets;  // every block taken, in order
        std::vector<size_t> blockLengths;
        bool finished = false;               // a finish frame came
        uint32_t checkValue = 0;
        bool crcMatched = false;
    };
    // The answer to one frame: the replies (none while silent) and, after the
    // last part of an update, the new version.
    struct Answer {
        std::vector<Bytes> replies;
        std::optional<uint16_t> newVersion;
    };

    explicit FirmwareReceiver(uint32_t imageSize = kRadioBaseImage) : imageSize_(imageSize) {}

    static bool IsUpdateFrame(const Message& request);
    // Answers one update frame for this target.
    Answer OnFrame(const Message& request, const Target& target);

    // Script.
    void RefuseNextStart(uint8_t code);                // once
    void RefuseBlocks(unsigned times, uint8_t code);   // the next `times` block frames, not stored
    void SetSilent(bool silent);                       // update frames are neither answered nor taken
    // The owner unplugs at the block frame after `blocksFirst` block frames (of any target).
    static void UnplugAtBlock(Device& owner, unsigned blocksFirst);

    // Record.
    Part LastPart() const;
    unsigned PartsCompleted() const;   // parts whose check value matched
    unsigned BlockFrames() const;      // block frames seen, refused ones included
    void Reset();                      // record and script

private:
    Answer Start(const Message& request, const Bytes& payload, const Target& target);
    Answer Block(const Message& request, const Bytes& payload);
    Answer Finish(const Message& request, const Bytes& payload);

    const uint32_t imageSize_;
    mutable std::mutex lock_;
    Part part_;
    // The last completed part (version, index, count), for the order of parts.
    std::optional<Part> completed_;
    unsigned partsCompleted_ = 0;
    unsigned blockFrames_ = 0;
    std::optional<uint8_t> refuseStart_;
    unsigned refuseBlocks_ = 0;
    uint8_t refuseBlockCode_ = 0;
    bool silent_ = false;
};

}  // namespace z5sim
