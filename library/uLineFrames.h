// The frames of one line (0x7D, LEN, CMD, payload, 0x7E; LEN+3 bytes), however its
// reads cut them. Bytes are fed in the order they were read, by whichever thread read
// them (the reader or a request, both under D2XXLock); each frame is reported once,
// when its last byte has come, and an unfinished frame is carried over to the next
// feed. Bytes outside frames are reported as stray. A frame whose byte at LEN+2 is
// not 0x7E is no frame: its first byte is stray and the search for a start goes on
// from the byte after it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

class TLineFrames {
public:
    static constexpr size_t kMaxFrame = 0xFF + 3;

    class ISink {
    public:
        virtual ~ISink() = default;
        // A whole frame. BeganBefore: its first byte was fed before the last MarkRequest.
        virtual void Frame(std::span<const uint8_t> Frame, bool BeganBefore) = 0;
        virtual void Stray(std::span<const uint8_t> Bytes) = 0;
    };

    void Feed(std::span<const uint8_t> Bytes, ISink& Sink);
    // A request goes out now: what was fed so far is older than it.
    void MarkRequest() { Old = Have; }
    // Bytes that the next feed may bring without reading past the end of a frame.
    size_t Wanted() const;
    // A frame is begun and not ended; Fresh: it began after the last MarkRequest.
    bool InFrame() const { return Have > 0; }
    bool FreshFrame() const { return Have > 0 && Old == 0; }
    void Clear() { Have = Old = 0; }

    // LEN 4 and CMD 0x0A: the unsolicited frame that raises the client's notification.
    static bool IsNotification(std::span<const uint8_t> Frame);

private:
    void Step(uint8_t B, bool IsOld, ISink& Sink);

    std::array<uint8_t, kMaxFrame> Carry{};
    size_t Have = 0;  // bytes of the unfinished frame in Carry
    size_t Old = 0;   // how many of them were fed before the last MarkRequest
};
