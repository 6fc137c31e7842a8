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

private:
    std::vector<uint8_t> Bytes_;
    bool StatusOk_ = false;
};

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
};

// Bytes in the receive queue of CurrentHandle; -1 when the query fails (caller holds D2XXLock).
int32_t QueueBytesWaiting();

// Waits until Count bytes wait or Ms protocol milliseconds have passed; it wakes as
// bytes arrive, and window messages keep running meanwhile. Returns the bytes waiting
// then (-1: the queue cannot be asked or Destroying is set; the wait then runs its
// whole length, unless EndWhenDestroying). Caller holds D2XXLock and has set CurrentHandle.
int32_t WaitForReplyBytes(uint32_t Count, uint32_t Ms, const std::atomic<bool>* Destroying = nullptr,
                          bool EndWhenDestroying = false);

// Hands what waits on the line now to the reader (see TExchangeSettings::Reader).
void HandWaitingToReader(TFtdiDevice* Reader);

// Hands waiting bytes to the reader, writes the first Count bytes of TransmitBuffer,
// waits until WaitBytes bytes are waiting or WaitMs protocol milliseconds have passed
// (WaitForReplyBytes), then reads. The reply's bytes are also left at the start of
// ReceiveBuffer. Caller holds D2XXLock and has set CurrentHandle.
TFrameReply SendAndCollect(int Count, const TExchangeSettings& settings = {});

// The wait and reads of SendAndCollect alone (the request went out already).
TFrameReply Collect(const TExchangeSettings& settings = {});

// Writes a frame 0x7D, LEN, CMD, payload, 0x7E into TransmitBuffer; returns its length.
int BuildFrame(uint8_t cmd, std::span<const uint8_t> payload);
