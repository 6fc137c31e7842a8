#include "uLineFrames.h"

#include <algorithm>

namespace {
constexpr uint8_t kStart = 0x7D;
constexpr uint8_t kEnd = 0x7E;
}  // namespace

bool TLineFrames::IsNotification(std::span<const uint8_t> Frame) {
    return Frame.size() == 7 && Frame[1] == 4 && Frame[2] == 0x0A;
}

size_t TLineFrames::Wanted() const {
    if (Have == 0) return 2;
    if (Have == 1) return 1;
    return static_cast<size_t>(Carry[1]) + 3 - Have;
}

void TLineFrames::Feed(std::span<const uint8_t> Bytes, ISink& Sink) {
    size_t i = 0;
    while (i < Bytes.size()) {
        if (Have == 0) {
            // A run of bytes outside frames goes out in one piece.
            const auto start = std::find(Bytes.begin() + static_cast<std::ptrdiff_t>(i), Bytes.end(), kStart);
            const size_t at = static_cast<size_t>(start - Bytes.begin());
            if (at > i) Sink.Stray(Bytes.subspan(i, at - i));
            i = at;
            if (i == Bytes.size()) break;
        }
        Step(Bytes[i++], false, Sink);
    }
}

void TLineFrames::Step(uint8_t B, bool IsOld, ISink& Sink) {
    if (Have == 0 && B != kStart) {
        Sink.Stray(std::span<const uint8_t>(&B, 1));
        return;
    }
    Carry[Have++] = B;
    if (IsOld) Old = Have;
    if (Have < 2) return;
    const size_t whole = static_cast<size_t>(Carry[1]) + 3;
    if (Have < whole) return;
    const bool beganBefore = Old > 0;
    if (Carry[whole - 1] == kEnd) {
        Have = Old = 0;
        Sink.Frame(std::span<const uint8_t>(Carry.data(), whole), beganBefore);
        return;
    }
    // No frame after all: its start byte is stray, and the search goes on behind it.
    std::array<uint8_t, kMaxFrame> rest;
    const size_t n = whole - 1;
    std::copy_n(Carry.begin() + 1, n, rest.begin());
    const size_t old = Old;
    Have = Old = 0;
    Sink.Stray(std::span<const uint8_t>(Carry.data(), 1));
    for (size_t k = 0; k < n; ++k) Step(rest[k], k + 1 < old, Sink);
}
