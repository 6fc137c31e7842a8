// What a simulated device receives: frames (0x7D LEN CMD payload 0x7E, LEN+3 bytes)
// and ASCII command lines, and the splitter that cuts them from the byte stream.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace z5sim {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kFrameStart = 0x7D;
constexpr uint8_t kFrameEnd = 0x7E;

struct Message {
    enum class Kind { Frame, Line };
    Kind kind = Kind::Frame;
    Bytes bytes;  // the whole frame, or the line with its terminator

    bool IsFrame() const { return kind == Kind::Frame; }
    // Frame fields (0 when the frame is too short for them).
    uint8_t Len() const { return bytes.size() > 1 ? bytes[1] : 0; }
    uint8_t Cmd() const { return bytes.size() > 2 ? bytes[2] : 0; }
    Bytes Payload() const;  // bytes between CMD and the end byte
    // The 16-bit little-endian radio address at the start of most payloads.
    uint16_t Address() const;
    // The line without its terminator.
    std::string Text() const;
};

// 0x7D, LEN (= 1 + payload size), CMD, payload, 0x7E.
Bytes MakeFrame(uint8_t cmd, std::span<const uint8_t> payload = {});

// How the receive path cuts the byte stream.
enum class Receive {
    Frames,  // frames only; bytes outside a frame are dropped (they stay in the byte record)
    Lines,   // lines ending with '\r' or '\n'
    Mixed,   // a frame where 0x7D starts a message, a line otherwise
};

class Splitter {
public:
    explicit Splitter(Receive mode = Receive::Frames) : mode_(mode) {}
    void SetMode(Receive mode) { mode_ = mode; }
    // Adds bytes and returns the messages they complete.
    std::vector<Message> Feed(std::span<const uint8_t> bytes);

private:
    bool TakeFrame(std::vector<Message>& out);
    bool TakeLine(std::vector<Message>& out);
    Receive mode_;
    Bytes pending_;
};

}  // namespace z5sim
