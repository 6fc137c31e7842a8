// Scripted faults of a simulated device. A device keeps a queue of one-shot faults;
// each received message consumes the first fault in the queue that matches it and
// the fault changes how that message is answered. Durations are protocol
// milliseconds (scaled by the protocol clock).
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>

#include "z5sim_message.h"

namespace z5sim {

struct Fault {
    enum class Kind {
        NoAnswer,      // the reply is dropped
        WrongCommand,  // the first reply frame carries CMD value instead of its own
        Refuse,        // a refusal with error code value replaces the reply
        Split,         // the reply goes in two pieces: splitAt bytes, a gap of ms, the rest
        Late,          // the reply goes after ms
        Unsolicited,   // bytes go out before the reply (ms: the gap between them and the reply)
        Unplug,        // the first splitAt bytes of the reply go out, then the device unplugs
    };
    Kind kind = Kind::NoAnswer;
    int onCommand = -1;  // matches only frames with this CMD; -1 matches any message
    unsigned skip = 0;   // matching messages let through unchanged before this one applies
    uint8_t value = 0;   // WrongCommand: the CMD; Refuse: the error code
    size_t splitAt = 0;  // Split: size of the first piece (0: half); Unplug: bytes sent first
    uint32_t ms = 0;     // Split: the gap; Late: the delay; Unsolicited: the gap before the reply
    Bytes bytes;         // Unsolicited: what goes out first

    static Fault Of(Kind kind) {
        Fault f;
        f.kind = kind;
        return f;
    }
    static Fault NoAnswer() { return Of(Kind::NoAnswer); }
    static Fault WrongCommand(uint8_t cmd) { return Of(Kind::WrongCommand).Value(cmd); }
    static Fault Refuse(uint8_t code) { return Of(Kind::Refuse).Value(code); }
    static Fault Split(size_t firstPiece, uint32_t gapMs) {
        Fault f = Of(Kind::Split);
        f.splitAt = firstPiece;
        f.ms = gapMs;
        return f;
    }
    static Fault Late(uint32_t delayMs) {
        Fault f = Of(Kind::Late);
        f.ms = delayMs;
        return f;
    }
    static Fault Unsolicited(Bytes first, uint32_t gapMs = 0) {
        Fault f = Of(Kind::Unsolicited);
        f.bytes = std::move(first);
        f.ms = gapMs;
        return f;
    }
    static Fault Unplug(size_t bytesFirst = 0) {
        Fault f = Of(Kind::Unplug);
        f.splitAt = bytesFirst;
        return f;
    }

    // Chainable refinements: Fault::Late(600).OnCommand(0x28).Skip(2)
    Fault& OnCommand(uint8_t cmd) { onCommand = cmd; return *this; }
    Fault& Skip(unsigned n) { skip = n; return *this; }
    Fault& Value(uint8_t v) { value = v; return *this; }
};

}  // namespace z5sim
