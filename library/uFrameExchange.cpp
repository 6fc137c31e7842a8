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
// A judged reply whose first bytes came within the wait may finish this much later
// (the line's read time-out).
constexpr uint32_t kFrameTailMs = 100;

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
        // A line that cannot be asked has hung up: nothing more comes.
        if (!destroying && waiting < 0) return -1;
        // Destruction: the wait still runs its length.
        if (destroying) {
            z5::SleepMs(slice);
        } else if (WaitForFTQueue(Count, slice) != d2xx::kOk) {
            return -1;
        }
    }
}

void HandWaitingToReader(TFtdiDevice* Reader) {
    if (!Reader) return;
    Reader->TakeWaiting();
    Reader->LineFrames().MarkRequest();
}

namespace {

// Judges the whole frames of a judged read as they complete.
class TJudgedFrames : public TLineFrames::ISink {
public:
    explicit TJudgedFrames(const TExchangeSettings& s) : S(s) {}
    void Frame(std::span<const uint8_t> frame, bool beganBefore) override {
        if (TLineFrames::IsNotification(frame)) {
            ++Notifications;
            HandOn(frame);
            return;
        }
        if (beganBefore || Done) {
            HandOn(frame);
            return;
        }
        TFrameReply reply(std::vector<uint8_t>(frame.begin(), frame.end()), LastFTStatus == d2xx::kOk);
        switch (S.Judge(reply)) {
            case TVerdict::Pass: HandOn(frame); break;
            case TVerdict::Take:
                Reply = std::move(reply);
                Taken = Done = true;
                break;
            case TVerdict::Fail: Done = true; break;
        }
    }
    void Stray(std::span<const uint8_t> bytes) override { HandOn(bytes); }

    TFrameReply Reply;
    bool Taken = false, Done = false;
    unsigned Notifications = 0;

private:
    void HandOn(std::span<const uint8_t> bytes) {
        if (S.Reader) S.Reader->HandOn(bytes);
    }
    const TExchangeSettings& S;
};

TFrameReply CollectJudged(const TExchangeSettings& s) {
    TLineFrames own;  // a line without a reader keeps its walk for this exchange only
    TLineFrames& frames = s.Reader ? s.Reader->LineFrames() : own;
    TJudgedFrames judged(s);
    bool lineLost = false;
    const uint32_t start = z5::Tick();
    while (!judged.Done) {
        const uint32_t elapsed = z5::TicksSince(start);
        const uint32_t limit = frames.FreshFrame() ? s.WaitMs + kFrameTailMs : s.WaitMs;
        if (elapsed >= limit) break;
        // Never more than a frame's missing bytes: what lies behind the reply stays on the line.
        const auto wanted = static_cast<uint32_t>(frames.Wanted());
        const int32_t waiting = WaitForReplyBytes(wanted, limit - elapsed, s.Destroying, true);
        if (waiting < 0) {
            CheckAbort(s);
            lineLost = !(s.Destroying && s.Destroying->load());
            break;
        }
        if (waiting == 0) continue;
        const int got = ReadFTBytes(static_cast<int>(std::min<uint32_t>(static_cast<uint32_t>(waiting), wanted)));
        const bool ok = LastFTStatus == d2xx::kOk;
        if (got > 0) frames.Feed(std::span<const uint8_t>(ReceiveBuffer, static_cast<size_t>(got)), judged);
        CheckAbort(s);
        if (s.PumpAfterReads) z5::PumpMessages();
        if (!ok) {
            lineLost = true;
            break;
        }
    }
    NoteNotifications(judged.Notifications);
    TFrameReply reply = judged.Taken ? std::move(judged.Reply) : TFrameReply({}, LastFTStatus == d2xx::kOk);
    reply.SetOutcome(judged.Taken, lineLost);
    std::copy(reply.Bytes().begin(), reply.Bytes().end(), ReceiveBuffer);
    return reply;
}

// Keeps the reader's frame walk in step with bytes read past it; a notification
// whose first bytes an earlier read brought is noted here.
class TWalkedPast : public TLineFrames::ISink {
public:
    void Frame(std::span<const uint8_t> frame, bool beganBefore) override {
        if (beganBefore && TLineFrames::IsNotification(frame)) ++Notifications;
    }
    void Stray(std::span<const uint8_t>) override {}
    unsigned Notifications = 0;
};

}  // namespace

TFrameReply Collect(const TExchangeSettings& s) {
    if (s.Judge) return CollectJudged(s);
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
    if (s.Reader) {
        TWalkedPast past;
        s.Reader->LineFrames().Feed(bytes, past);
        NoteNotifications(past.Notifications);
    }
    std::copy(bytes.begin(), bytes.end(), ReceiveBuffer);
    if (framed > 0) {
        // The reads of whole frames had no notification check of their own.
        NoteNotification(static_cast<int>(framed));
        std::copy(ReceiveBuffer, ReceiveBuffer + framed, bytes.begin());
    }
    return TFrameReply(std::move(bytes), LastFTStatus == d2xx::kOk);
}

bool SendOnly(int Count, TFtdiDevice* Reader) {
    HandWaitingToReader(Reader);
    const int written = WriteFrame(Count);
    return LastFTStatus == d2xx::kOk && written >= Count;
}

TFrameReply SendAndCollect(int Count, const TExchangeSettings& s) {
    if (!SendOnly(Count, s.Reader)) {
        TFrameReply none;
        none.SetOutcome(false, true, true);
        return none;
    }
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
