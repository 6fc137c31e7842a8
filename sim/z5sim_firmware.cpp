#include "z5sim_firmware.h"

#include <algorithm>

#include "z5sim_device.h"
#include "z5sim_fault.h"

namespace z5sim {
namespace {

constexpr size_t kStartFixed = 13;   // payload bytes before the hardware list
constexpr size_t kBlockFixed = 6;    // address and offset
constexpr size_t kFinishPayload = 6;

uint32_t LE(const Bytes& b, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint32_t>(b[at + static_cast<size_t>(i)]) << (8 * i);
    return v;
}

Bytes Reply(uint8_t cmd, uint16_t address, std::optional<uint8_t> code) {
    Bytes payload{static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)};
    if (code) payload.push_back(*code);
    return MakeFrame(cmd, payload);
}

}  // namespace

uint32_t FirmwareCrc32(const Bytes& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

bool FirmwareReceiver::IsUpdateFrame(const Message& request) {
    return request.IsFrame() && request.Cmd() >= kCmdStart && request.Cmd() <= kCmdFinish;
}

FirmwareReceiver::Answer FirmwareReceiver::OnFrame(const Message& request, const Target& target) {
    std::lock_guard<std::mutex> g(lock_);
    if (silent_ || !IsUpdateFrame(request)) return {};
    const Bytes payload = request.Payload();
    switch (request.Cmd()) {
        case kCmdStart: return Start(request, payload, target);
        case kCmdBlock: return Block(request, payload);
        default: return Finish(request, payload);
    }
}

FirmwareReceiver::Answer FirmwareReceiver::Start(const Message& request, const Bytes& p, const Target& target) {
    const uint16_t address = request.Address();
    auto refuse = [&](uint8_t code) { return Answer{{Reply(kCmdStart, address, code)}, {}}; };
    if (refuseStart_) {
        const uint8_t code = *refuseStart_;
        refuseStart_.reset();
        return refuse(code);
    }
    if (p.size() < kStartFixed || p.size() != kStartFixed + 2 * static_cast<size_t>(p[12])) return refuse(kErrorStart);
    Part part;
    part.started = true;
    part.startFrame = request.bytes;
    part.address = static_cast<uint16_t>(LE(p, 0, 2));
    part.version = static_cast<uint16_t>(LE(p, 2, 2));
    part.partIndex = p[4];
    part.partCount = p[5];
    part.size = LE(p, 6, 4);
    part.deviceClass = static_cast<uint16_t>(LE(p, 10, 2));
    for (size_t i = 0; i < p[12]; ++i) part.hardware.push_back(p[kStartFixed + 2 * i]);

    const bool follows = part.partIndex == 1 ||
                         (completed_ && completed_->version == part.version && completed_->partCount == part.partCount &&
                          completed_->partIndex + 1 == part.partIndex);
    if (part.version == 0 || part.partIndex == 0 || part.partIndex > part.partCount || !follows ||
        part.size > imageSize_) {
        return refuse(kErrorStart);
    }
    if (part.deviceClass != target.deviceClass) return refuse(kErrorDeviceClass);
    if (std::find(part.hardware.begin(), part.hardware.end(), target.hardwareVersion) == part.hardware.end())
        return refuse(kErrorHardware);
    part.image.assign(part.size, 0);
    part_ = std::move(part);
    return {{Reply(kAck, address, std::nullopt)}, {}};
}

FirmwareReceiver::Answer FirmwareReceiver::Block(const Message& request, const Bytes& p) {
    const uint16_t address = request.Address();
    auto refuse = [&](uint8_t code) { return Answer{{Reply(kCmdBlock, address, code)}, {}}; };
    ++blockFrames_;
    if (refuseBlocks_ > 0) {
        --refuseBlocks_;
        return refuse(refuseBlockCode_);
    }
    if (!part_.started || part_.finished || p.size() < kBlockFixed) return refuse(kErrorBlock);
    const uint32_t offset = LE(p, 2, 4);
    const size_t k = p.size() - kBlockFixed;
    if (offset > part_.size || k > part_.size - offset) return refuse(kErrorBlock);
    std::copy(p.begin() + kBlockFixed, p.end(), part_.image.begin() + offset);
    part_.blockOffsets.push_back(offset);
    part_.blockLengths.push_back(k);
    return {{Reply(kAck, address, std::nullopt)}, {}};
}

FirmwareReceiver::Answer FirmwareReceiver::Finish(const Message& request, const Bytes& p) {
    const uint16_t address = request.Address();
    if (!part_.started || part_.finished || p.size() != kFinishPayload) return {{Reply(kCmdFinish, address, kErrorCheck)}, {}};
    part_.finished = true;
    part_.checkValue = LE(p, 2, 4);
    part_.crcMatched = FirmwareCrc32(part_.image) == part_.checkValue;
    if (!part_.crcMatched) return {{Reply(kCmdFinish, address, kErrorCheck)}, {}};
    ++partsCompleted_;
    completed_ = part_;
    Answer answer{{Reply(kAck, address, std::nullopt)}, {}};
    if (part_.partIndex == part_.partCount) answer.newVersion = part_.version;
    return answer;
}

void FirmwareReceiver::RefuseNextStart(uint8_t code) {
    std::lock_guard<std::mutex> g(lock_);
    refuseStart_ = code;
}

void FirmwareReceiver::RefuseBlocks(unsigned times, uint8_t code) {
    std::lock_guard<std::mutex> g(lock_);
    refuseBlocks_ = times;
    refuseBlockCode_ = code;
}

void FirmwareReceiver::SetSilent(bool silent) {
    std::lock_guard<std::mutex> g(lock_);
    silent_ = silent;
}

void FirmwareReceiver::UnplugAtBlock(Device& owner, unsigned blocksFirst) {
    owner.PushFault(Fault::Unplug().OnCommand(kCmdBlock).Skip(blocksFirst));
}

FirmwareReceiver::Part FirmwareReceiver::LastPart() const {
    std::lock_guard<std::mutex> g(lock_);
    return part_;
}

unsigned FirmwareReceiver::PartsCompleted() const {
    std::lock_guard<std::mutex> g(lock_);
    return partsCompleted_;
}

unsigned FirmwareReceiver::BlockFrames() const {
    std::lock_guard<std::mutex> g(lock_);
    return blockFrames_;
}

void FirmwareReceiver::Reset() {
    std::lock_guard<std::mutex> g(lock_);
    part_ = {};
    completed_.reset();
    partsCompleted_ = 0;
    blockFrames_ = 0;
    refuseStart_.reset();
    refuseBlocks_ = 0;
    silent_ = false;
}

}  // namespace z5sim
