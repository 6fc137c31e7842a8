#include "z5sim_message.h"

#include <algorithm>

namespace z5sim {

Bytes Message::Payload() const {
    if (bytes.size() < 4) return {};
    return Bytes(bytes.begin() + 3, bytes.end() - 1);
}

uint16_t Message::Address() const {
    if (bytes.size() < 6) return 0;
    return static_cast<uint16_t>(bytes[3] | (bytes[4] << 8));
}

std::string Message::Text() const {
    std::string s(bytes.begin(), bytes.end());
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
    return s;
}

Bytes MakeFrame(uint8_t cmd, std::span<const uint8_t> payload) {
    Bytes f;
    f.reserve(payload.size() + 4);
    f.push_back(kFrameStart);
    f.push_back(static_cast<uint8_t>(payload.size() + 1));
    f.push_back(cmd);
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(kFrameEnd);
    return f;
}

std::vector<Message> Splitter::Feed(std::span<const uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::vector<Message> out;
    while (!pending_.empty()) {
        bool frame = mode_ == Receive::Frames || (mode_ == Receive::Mixed && pending_[0] == kFrameStart);
        if (!(frame ? TakeFrame(out) : TakeLine(out))) break;
    }
    return out;
}

// Takes one frame, or drops one byte that cannot start one. False: wait for more.
bool Splitter::TakeFrame(std::vector<Message>& out) {
    if (pending_[0] != kFrameStart) {
        pending_.erase(pending_.begin());
        return true;
    }
    if (pending_.size() < 2) return false;
    size_t size = static_cast<size_t>(pending_[1]) + 3;
    if (pending_.size() < size) return false;
    if (pending_[size - 1] != kFrameEnd) {  // not a frame after all: resynchronise
        pending_.erase(pending_.begin());
        return true;
    }
    out.push_back({Message::Kind::Frame, Bytes(pending_.begin(), pending_.begin() + size)});
    pending_.erase(pending_.begin(), pending_.begin() + size);
    return true;
}

bool Splitter::TakeLine(std::vector<Message>& out) {
    auto end = std::find_if(pending_.begin(), pending_.end(), [](uint8_t b) { return b == '\r' || b == '\n'; });
    if (end == pending_.end()) return false;
    out.push_back({Message::Kind::Line, Bytes(pending_.begin(), end + 1)});
    pending_.erase(pending_.begin(), end + 1);
    return true;
}

}  // namespace z5sim
