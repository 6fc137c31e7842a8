#include "uFrameExchange.h"

#include <algorithm>
#include <cstring>

#include "uD2XX.h"
#include "uFtdiDevice.h"
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

// The longest stretch of a reply wait without window messages.
constexpr uint32_t kPumpSliceMs = 10;

int32_t Waiting(const TExchangeSettings& s) {
    if (s.Destroying && s.Destroying->load()) return -1;
    return QueueBytesWaiting();
}

void CheckAbort(const TExchangeSettings& s) {
    if (s.AbortWhenDestroying && s.Destroying && s.Destroying->load()) throw EAbort();
}

// Bytes still missing before `bytes` hold the frame that ends the read (frames walked
// from offset 0): 0 when they hold it, -1 when the end cannot be told from them.
int MissingForEnd(const std::vector<uint8_t>& bytes, int endCommand) {
    size_t pos = 0;
    for (;;) {
        const size_t have = bytes.size() - pos;
        if (have > 0 && bytes[pos] != kFrameStart) return -1;
        if (have < 2) return static_cast<int>(2 - have);
        const size_t whole = static_cast<size_t>(bytes[pos + 1]) + 3;
        if (have < whole) return static_cast<int>(whole - have);
        if (endCommand < 0 || bytes[pos + 2] == endCommand) return 0;
        if (bytes[pos + whole - 1] != kFrameEnd) return -1;
        pos += whole;
    }
}

}  // namespace

int32_t WaitForReplyBytes(uint32_t Count, uint32_t Ms, const std::atomic<bool>* Destroying, bool EndWhenDestroying) {
    const uint32_t start = z5::Tick();
    for (;;) {
        const bool destroying = Destroying && Destroying->load();
        const int32_t waiting = destroying ? -1 : QueueBytesWaiting();
        const uint32_t elapsed = z5::TicksSince(start);
        if (waiting >= static_cast<int32_t>(Count) || elapsed >= Ms || (destroying && EndWhenDestroying)) return waiting;
        z5::PumpMessages();
        // Without a pump to run (or a destruction to notice), one wait to the end or the bytes.
        const bool sliced = z5::MessagePumpInstalled() || (Destroying && EndWhenDestroying);
        const uint32_t slice = sliced ? std::min(kPumpSliceMs, Ms - elapsed) : Ms - elapsed;
        // Nothing to wait on (the count failed): the wait still runs its length.
        if (waiting < 0 || WaitForFTQueue(Count, slice) != d2xx::kOk) z5::SleepMs(slice);
    }
}

void HandWaitingToReader(TFtdiDevice* Reader) {
    if (Reader) Reader->TakeWaiting();
}

TFrameReply Collect(const TExchangeSettings& s) {
    WaitForReplyBytes(s.WaitBytes, s.WaitMs, s.Destroying);

    std::vector<uint8_t> bytes;
    size_t framed = 0;  // bytes read as frames, from the start of the reply
    if (s.SingleRead > 0) {
        const int got = ReadFrames(s.SingleRead);
        bytes.assign(ReceiveBuffer, ReceiveBuffer + got);
        CheckAbort(s);
    } else {
        const int n = std::max<int32_t>(Waiting(s), 0);
        // Every read starts at ReceiveBuffer[0], so each one's bytes are kept before the
        // next. A line that streams never falls quiet: the reads end after the reply wait.
        bool quiet = n == 0 || s.ReadUntilQuiet;
        const uint32_t reading = z5::Tick();
        while (bytes.size() < kD2XXBufferSize && z5::TicksSince(reading) < s.WaitMs) {
            const int missing = quiet ? -1 : MissingForEnd(bytes, s.EndCommand);
            if (missing == 0) break;
            quiet = missing < 0;
            // A frame's missing bytes exactly: what lies behind it stays on the line.
            const int got = quiet ? ReadFrames(n)
                                  : ReadFTBytes(std::min(missing, static_cast<int>(kD2XXBufferSize - bytes.size())));
            bytes.insert(bytes.end(), ReceiveBuffer, ReceiveBuffer + got);
            if (!quiet) framed = bytes.size();
            CheckAbort(s);
            if (s.PumpAfterReads) z5::PumpMessages();
            if (got <= 0 || LastFTStatus != d2xx::kOk || got >= static_cast<int>(kD2XXBufferSize)) break;
        }
        if (bytes.size() > kD2XXBufferSize) bytes.resize(kD2XXBufferSize);
    }
    std::copy(bytes.begin(), bytes.end(), ReceiveBuffer);
    if (framed > 0) {
        // The reads of whole frames had no notification check of their own.
        NoteNotification(static_cast<int>(framed));
        std::copy(ReceiveBuffer, ReceiveBuffer + framed, bytes.begin());
    }
    return TFrameReply(std::move(bytes), LastFTStatus == d2xx::kOk);
}

TFrameReply SendAndCollect(int Count, const TExchangeSettings& s) {
    HandWaitingToReader(s.Reader);
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
