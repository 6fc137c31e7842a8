// Firmware update of the radio base family: start, block and finish frames, each
// answered by an acknowledgement (CMD 0x28) or a refusal carrying the device's
// error code after the address.
#include <algorithm>
#include <vector>

#include "uD2XX.h"
#include "uRTUU.h"

namespace {

constexpr uint8_t kCmdUpdateStart = 0x21;
constexpr uint8_t kCmdUpdateBlock = 0x22;
constexpr uint8_t kCmdUpdateFinish = 0x23;
constexpr size_t kErrorCodeAt = 5;  // first byte after the address

void PutLE(uint8_t*& at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) *at++ = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

TRTUU::TUpdateConstants TRTUU::UpdateConstants() const { return {}; }

int TRTUU::BuildUpdateStartFrame(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                                 int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                                 const uint8_t* HardwareList) {
    uint8_t payload[13 + 2 * kMaxHardwareCount];
    uint8_t* at = payload;
    PutLE(at, static_cast<uint32_t>(Address), 2);
    PutLE(at, static_cast<uint32_t>(NewFirmware), 2);
    PutLE(at, static_cast<uint32_t>(PartIndex), 1);
    PutLE(at, static_cast<uint32_t>(PartCount), 1);
    PutLE(at, static_cast<uint32_t>(FileSize), 4);
    PutLE(at, static_cast<uint32_t>(DeviceClass), 2);
    const int32_t n = std::clamp<int32_t>(HardwareCount, 0, kMaxHardwareCount);
    *at++ = static_cast<uint8_t>(n);
    for (int32_t i = 0; i < n; ++i) {
        *at++ = HardwareList[i];
        *at++ = 0x00;
    }
    return BuildFrame(kCmdUpdateStart, std::span<const uint8_t>(payload, at));
}

int TRTUU::BuildUpdateBlockFrame(int32_t Address, uint32_t Offset, const uint8_t* Bytes, uint32_t Count) {
    uint8_t payload[6 + kMaxBlockSize];
    uint8_t* at = payload;
    PutLE(at, static_cast<uint32_t>(Address), 2);
    PutLE(at, Offset, 4);
    const uint32_t k = std::min(Count, kMaxBlockSize);
    std::copy(Bytes, Bytes + k, at);
    return BuildFrame(kCmdUpdateBlock, std::span<const uint8_t>(payload, 6 + k));
}

int TRTUU::BuildUpdateFinishFrame(int32_t Address, uint32_t CheckValue) {
    uint8_t payload[6];
    uint8_t* at = payload;
    PutLE(at, static_cast<uint32_t>(Address), 2);
    PutLE(at, CheckValue, 4);
    return BuildFrame(kCmdUpdateFinish, payload);
}

TFrameReply TRTUU::UpdateExchange(int Length, uint32_t WaitMs, uint32_t WaitBytes, uint32_t NeededBytes,
                                  bool LateMayFollow) {
    HandWaitingToReader(Reader.get());
    WriteFrame(Length);
    // A line that takes no frame (unplugged) brings no reply either.
    if (LastFTStatus != d2xx::kOk) return {};
    return UpdateWait(WaitMs, WaitBytes, NeededBytes, LateMayFollow);
}

TFrameReply TRTUU::UpdateWait(uint32_t WaitMs, uint32_t WaitBytes, uint32_t NeededBytes, bool LateMayFollow) {
    // The wait alone first: the count found then decides whether the reply is read.
    const int32_t waiting = WaitForReplyBytes(WaitBytes, WaitMs, &IsDestroying, true);
    if (waiting < static_cast<int32_t>(NeededBytes) || IsDestroying.load()) return {};
    TExchangeSettings s = Settings(false);
    s.WaitMs = WaitMs;
    s.WaitBytes = NeededBytes;  // already waiting: the read starts at once
    s.ReadUntilQuiet = LateMayFollow;
    return Collect(s);
}

int32_t TRTUU::JudgeUpdateReply(const TFrameReply& Reply) {
    if (!Reply.StatusOk() || !Reply.WholeFrame()) return -1;
    if (Reply.Cmd() == kUpdateAck) return 0;
    // A refusal: its code stands after the address; a frame without one, or with
    // code 0, must not read as success.
    if (!Reply.Covers(kErrorCodeAt)) return -1;
    const uint8_t code = Reply.At(kErrorCodeAt);
    return code != 0 ? code : -1;
}

int32_t TRTUU::UpdateStart(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                           int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                           const uint8_t* HardwareList) {
    if (IsDestroying.load()) return -1;
    if (HardwareCount < 0 || HardwareCount > kMaxHardwareCount || (HardwareCount > 0 && !HardwareList)) return -1;
    const TUpdateConstants c = UpdateConstants();
    D2XXGuard guard;
    if (!LineHandle()) return -1;
    CurrentHandle = LineHandle();
    PurgeTx();
    const int length = BuildUpdateStartFrame(Address, NewFirmware, PartIndex, PartCount, FileSize, DeviceClass,
                                             HardwareCount, HardwareList);
    return JudgeUpdateReply(UpdateExchange(length, c.StartWaitMs, c.StartWaitBytes, 1));
}

int32_t TRTUU::UpdateBlocks(int32_t Address, int32_t, FirmwareStream* const* Stream) {
    if (IsDestroying.load()) return -1;
    const FirmwareStream* stream = Stream ? *Stream : nullptr;
    if (!stream || !stream->Size || !stream->Read) return -1;
    const TUpdateConstants c = UpdateConstants();
    if (c.BlockSize == 0 || c.BlockSize > kMaxBlockSize || c.BlockAttempts < 1) return -1;
    D2XXGuard guard;
    if (!LineHandle()) return -1;
    CurrentHandle = LineHandle();
    PurgeTx();
    // The low 32 bits of the size, as a signed count; a part must fit the image.
    const auto size = static_cast<int32_t>(static_cast<uint32_t>(stream->Size(stream->Context)));
    if (size < 0 || static_cast<uint32_t>(size) > c.ImageSize) return -1;
    std::vector<uint8_t> image(c.ImageSize, 0);
    for (int32_t pos = 0; pos < size;) {
        const int32_t got = stream->Read(stream->Context, image.data() + pos, size - pos);
        if (got <= 0) return -1;  // a part that cannot be read whole is not sent
        pos += std::min(got, size - pos);
    }

    const auto total = static_cast<uint32_t>(size);
    uint32_t offset = 0;
    int failed = 0;
    bool lateMayFollow = false;
    while (offset < total) {
        if (IsDestroying.load()) return -1;
        const uint32_t k = std::min(c.BlockSize, total - offset);
        const int length = BuildUpdateBlockFrame(Address, offset, image.data() + offset, k);
        const TFrameReply reply =
            UpdateExchange(length, c.BlockWaitMs, c.BlockWaitBytes, c.BlockBytesNeeded, lateMayFollow);
        lateMayFollow = !reply.WholeFrame();
        const int32_t verdict = JudgeUpdateReply(reply);
        if (verdict == 0) {
            failed = 0;
            offset += c.BlockSize;
        } else if (++failed >= c.BlockAttempts) {
            return verdict;
        }
    }
    return 0;
}

TFrameReply TRTUU::FinishExchange(int32_t Address, uint32_t CheckValue) {
    if (IsDestroying.load() || !LineHandle()) return {};
    const TUpdateConstants c = UpdateConstants();
    CurrentHandle = LineHandle();
    PurgeTx();
    const int length = BuildUpdateFinishFrame(Address, CheckValue);
    return UpdateExchange(length, c.FinishWaitMs, c.FinishWaitBytes, 1);
}

int32_t TRTUU::UpdateFinish(int32_t Address, uint32_t CheckValue) {
    if (IsDestroying.load()) return -1;
    D2XXGuard guard;
    return JudgeUpdateReply(FinishExchange(Address, CheckValue));
}
