// One request-reply exchange on the current FTDI line, shared by every device that
// speaks the frame protocol: 0x7D, LEN, CMD, payload, 0x7E (LEN+3 bytes; LEN counts
// CMD and the payload; no escaping, no checksum).
//
// The caller holds D2XXLock (through D2XXGuard), has set CurrentHandle and built the
// request in TransmitBuffer. SendAndCollect writes it, waits for the reply and reads
// it: the read ends as soon as the bytes read hold the whole reply frame (0x7D, LEN,
// LEN+3 bytes in all); the line's read time-out only bounds a missing tail. Bytes
// behind the reply stay on the line for the device's reader. Where the end cannot be
// told from the bytes (they do not start a frame) the reads go on until the line
// falls quiet. The reply holds exactly the bytes received in this exchange, in
// arrival order (also when they came in several reads); bytes that an earlier
// exchange left in ReceiveBuffer never count. A frame counts only when all of its
// LEN+3 bytes have come and it ends on 0x7E.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <vector>

class TFtdiDevice;

constexpr uint8_t kFrameStart = 0x7D;
constexpr uint8_t kFrameEnd = 0x7E;
constexpr uint32_t kReplyWaitMs = 500;     // wait for a reply
constexpr uint32_t kReplyWaitBytes = 4;    // bytes waiting that end the wait

// Silent abort: the device began its destruction while a request waited for its
// reply. The exports turn it into their failure value.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "aborted"; }
};

// The bytes of one exchange and the tests every decoder needs.
class TFrameReply {
public:
    TFrameReply() = default;
    TFrameReply(std::vector<uint8_t> bytes, bool statusOk) : Bytes_(std::move(bytes)), StatusOk_(statusOk) {}

    std::span<const uint8_t> Bytes() const { return Bytes_; }
    size_t Count() const { return Bytes_.size(); }
    // LastFTStatus was 0 after the last read.
    bool StatusOk() const { return StatusOk_; }
    // Byte i of the exchange; 0 beyond what came (test Received/Covers first).
    uint8_t At(size_t i) const { return i < Bytes_.size() ? Bytes_[i] : 0; }
    // Bytes 0 to last came.
    bool Received(size_t last) const { return last < Bytes_.size(); }
    // The first frame is whole: 0x7D at 0, all LEN+3 bytes came, 0x7E at LEN+2.
    bool WholeFrame() const;
    uint8_t Len() const { return At(1); }
    uint8_t Cmd() const { return At(2); }
    // Transport status OK and a whole first frame with this command.
    bool IsFrame(uint8_t cmd) const { return StatusOk_ && WholeFrame() && Cmd() == cmd; }
    // The whole first frame reaches at least to payload offset last (last <= LEN+1).
    bool Covers(size_t last) const { return WholeFrame() && last <= static_cast<size_t>(Len()) + 1; }
    // Little-endian unsigned value of width bytes from offset (caller checked Covers).
    uint64_t Value(size_t offset, size_t width) const;

    // With a judge (TExchangeSettings::Judge): the judge took this frame as the reply.
    bool Taken() const { return Taken_; }
    // The request could not be written (nothing went out), or the line hung up
    // while the reply was awaited: no attempt can succeed on this line.
    bool NotSent() const { return NotSent_; }
    bool LineLost() const { return LineLost_ || NotSent_; }
    void SetOutcome(bool taken, bool lineLost, bool notSent = false) {
        Taken_ = taken;
        LineLost_ = lineLost;
        NotSent_ = notSent;
    }

private:
    std::vector<uint8_t> Bytes_;
    bool StatusOk_ = false;
    bool Taken_ = false, LineLost_ = false, NotSent_ = false;
};

// What a judge makes of one whole frame that came after the request went out.
enum class TVerdict {
    Pass,  // not the reply: handed on (to the reader's stream), the wait goes on
    Take,  // the reply, accepted
    Fail,  // the reply, but it fails the attempt
};
using TReplyJudge = std::function<TVerdict(const TFrameReply& Frame)>;

struct TExchangeSettings {
    uint32_t WaitMs = kReplyWaitMs;
    uint32_t WaitBytes = kReplyWaitBytes;
    // 0: read the reply frame (see above), or, when the bytes start no frame, what
    // waits, again and again with that count, until a read brings nothing; either
    // way also until a read fails, 0x8000 bytes have come or the reads have run for
    // WaitMs (a streaming line never falls quiet). > 0: one read of this many bytes.
    int SingleRead = 0;
    // -1: the first whole frame ends the read. A command: the read ends with the first
    // whole frame of that command (frames before it, a measurement stream's, are read too).
    int EndCommand = -1;
    // Read until the line falls quiet, whatever the bytes: after an attempt that brought
    // no whole frame, its late reply may come in behind the one read now.
    bool ReadUntilQuiet = false;
    // The device's reader: bytes that wait before the request goes out are no reply to
    // it; they go to this reader's stream, as its next cycle would have read them.
    TFtdiDevice* Reader = nullptr;
    // Set while the device is being destroyed: the queue then reads as failed (-1).
    const std::atomic<bool>* Destroying = nullptr;
    // With Destroying: throw EAbort after any read call that finds it set.
    bool AbortWhenDestroying = false;
    // Let window messages run after every read call as well.
    bool PumpAfterReads = false;
    // When set, the reply is read frame by frame through the reader's frame walk
    // (TLineFrames), until the judge takes or fails a frame or WaitMs have passed
    // since the request went out (a reply begun by then may finish a little later).
    // A notification frame is noted, a frame that began before the request went out
    // and every frame the judge passes go to the reader's stream, as do stray bytes;
    // nothing behind the reply is read. The reply then holds the taken frame alone
    // (empty when none was taken). SingleRead, EndCommand and ReadUntilQuiet do not
    // apply.
    TReplyJudge Judge;
};

// Bytes in the receive queue of CurrentHandle; -1 when the query fails (caller holds D2XXLock).
int32_t QueueBytesWaiting();

// Waits until Count bytes wait or Ms protocol milliseconds have passed; it wakes as
// bytes arrive, and window messages keep running meanwhile. Returns the bytes waiting
// then; -1 at once when the queue cannot be asked (the line has hung up), and -1
// when Destroying is set (the wait then runs its whole length, unless
// EndWhenDestroying). Caller holds D2XXLock and has set CurrentHandle.
int32_t WaitForReplyBytes(uint32_t Count, uint32_t Ms, const std::atomic<bool>* Destroying = nullptr,
                          bool EndWhenDestroying = false);

// Hands what waits on the line now to the reader (see TExchangeSettings::Reader) and
// marks the reader's frame walk: a request goes out now.
void HandWaitingToReader(TFtdiDevice* Reader);

// Hands waiting bytes to the reader, writes the first Count bytes of TransmitBuffer,
// waits until WaitBytes bytes are waiting or WaitMs protocol milliseconds have passed
// (WaitForReplyBytes), then reads. The reply's bytes are also left at the start of
// ReceiveBuffer. A write that fails or falls short ends the exchange at once: an
// empty reply, NotSent. Caller holds D2XXLock and has set CurrentHandle.
TFrameReply SendAndCollect(int Count, const TExchangeSettings& settings = {});

// Hands waiting bytes to the reader and writes the first Count bytes of TransmitBuffer,
// for a request that has no reply to judge: nothing is awaited or read, so the line
// and D2XXLock are free again at once (what the device sends later goes to the
// reader, or is handed on by the next judged request). True when all of it went out.
// Caller holds D2XXLock and has set CurrentHandle.
bool SendOnly(int Count, TFtdiDevice* Reader);

// The wait and reads of SendAndCollect alone (the request went out already).
TFrameReply Collect(const TExchangeSettings& settings = {});

// Writes a frame 0x7D, LEN, CMD, payload, 0x7E into TransmitBuffer; returns its length.
int BuildFrame(uint8_t cmd, std::span<const uint8_t> payload);
