#include "uFrameExchange.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "uD2XX.h"
#include "z5clock.h"
#include "z5pump.h"

bool TFrameReply::WholeFrame() const {
    if (Bytes_.size() < 3 || Bytes_[0] != kFrameStart) return false;
    const size_t whole = static_cast<size_t>(Bytes_[1]) + 3;
    return Bytes_.size() >= whole && Bytes_[whole - 1] == kFrameEnd;
}

uint64_t TFrameReply::Value(size_t offset, size_t width) const {
    uint64_t v = 0;
    for (size_t i = width; i-- > 0;) v = (v << 8) | At(offset + i);
    return v;
}

int32_t QueueBytesWaiting() {
    if (GetFTQueueStatus() != d2xx::kOk) return -1;
    return static_cast<int32_t>(std::min<uint32_t>(RxBytesWaiting, INT32_MAX));
}

namespace {

int32_t Waiting(const TExchangeSettings& s) {
    if (s.Destroying && s.Destroying->load()) return -1;
    return QueueBytesWaiting();
}

void CheckAbort(const TExchangeSettings& s) {
    if (s.AbortWhenDestroying && s.Destroying && s.Destroying->load()) throw EAbort();
}

}  // namespace

TFrameReply Collect(const TExchangeSettings& s) {
    const uint32_t start = z5::Tick();
    while (Waiting(s) < static_cast<int32_t>(s.WaitBytes) && z5::TicksSince(start) < s.WaitMs) {
        z5::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::vector<uint8_t> bytes;
    if (s.SingleRead > 0) {
        const int got = ReadFrames(s.SingleRead);
        bytes.assign(ReceiveBuffer, ReceiveBuffer + got);
        CheckAbort(s);
    } else {
        const int n = std::max<int32_t>(Waiting(s), 0);
        // Every read starts at ReceiveBuffer[0], so each one's bytes are kept before the
        // next. A line that streams never falls quiet: the reads end after the reply wait.
        const uint32_t reading = z5::Tick();
        while (bytes.size() < kD2XXBufferSize && z5::TicksSince(reading) < s.WaitMs) {
            const int got = ReadFrames(n);
            bytes.insert(bytes.end(), ReceiveBuffer, ReceiveBuffer + got);
            CheckAbort(s);
            if (s.PumpAfterReads) z5::PumpMessages();
            if (got <= 0 || LastFTStatus != d2xx::kOk || got >= static_cast<int>(kD2XXBufferSize)) break;
        }
        if (bytes.size() > kD2XXBufferSize) bytes.resize(kD2XXBufferSize);
    }
    std::copy(bytes.begin(), bytes.end(), ReceiveBuffer);
    return TFrameReply(std::move(bytes), LastFTStatus == d2xx::kOk);
}

TFrameReply SendAndCollect(int Count, const TExchangeSettings& s) {
    WriteFrame(Count);
    return Collect(s);
}

int BuildFrame(uint8_t cmd, std::span<const uint8_t> payload) {
    const size_t n = std::min<size_t>(payload.size(), 254);
    TransmitBuffer[0] = kFrameStart;
    TransmitBuffer[1] = static_cast<uint8_t>(n + 1);
    TransmitBuffer[2] = cmd;
    if (n > 0) std::memcpy(TransmitBuffer + 3, payload.data(), n);
    TransmitBuffer[3 + n] = kFrameEnd;
    return static_cast<int>(n + 4);
}
