#include "z5sim_instruments.h"

namespace z5sim {

Instrument::Instrument(std::string description, std::string serial)
    : RadioMaster(std::move(description), std::move(serial)) {}

std::vector<InstrumentCommand> Instrument::Commands() const {
    std::lock_guard<std::mutex> g(commandLock_);
    return commands_;
}

void Instrument::ClearCommands() {
    std::lock_guard<std::mutex> g(commandLock_);
    commands_.clear();
}

void Instrument::AnswerCommand(uint8_t cmd, uint8_t reply) {
    std::lock_guard<std::mutex> g(commandLock_);
    answers_[cmd] = reply;
}

std::vector<Bytes> Instrument::OnFrame(const Message& request) {
    const Bytes payload = request.Payload();
    {
        std::lock_guard<std::mutex> g(commandLock_);
        auto it = answers_.find(request.Cmd());
        if (it != answers_.end()) {
            if (payload.size() < 2) return {};
            commands_.push_back({request.Cmd(), request.Address(), Bytes(payload.begin() + 2, payload.end())});
            const uint8_t address[2] = {payload[0], payload[1]};
            return {MakeFrame(it->second, address)};
        }
    }
    return RadioMaster::OnFrame(request);
}

XRay::XRay(std::string description, std::string serial) : Instrument(std::move(description), std::move(serial)) {
    for (uint8_t cmd : {0x2A, 0x2B, 0x2C}) AnswerCommand(cmd, 0x1B);
    SetParam(kHighVoltageParam, 350, 2);
    SetParam(kCurrentParam, 100, 2);
}

}  // namespace z5sim

namespace z5sim {

namespace {
constexpr uint8_t kShortReply = 0x1B;
constexpr uint8_t kLetterReply = 0x38;
constexpr uint8_t kZero = 0x4B, kLatest = 0x01, kLatestReply = 0x09, kAck = 0x28;
constexpr size_t kMeterReply = 10;  // the meter's block answers

// A refusal or acknowledgement padded with zero bytes to `size` bytes in all.
Bytes Padded(const Bytes& frame, size_t size) {
    if (frame.size() < 4 || frame.size() >= size) return frame;
    Bytes payload(frame.begin() + 3, frame.end() - 1);
    payload.resize(size - 4, 0);
    return MakeFrame(frame[2], payload);
}
}  // namespace

Timer62::Timer62(std::string description, std::string serial)
    : Instrument(std::move(description), std::move(serial)) {
    AnswerCommand('L', kShortReply);
    AnswerCommand('M', kShortReply);
}

UniversalCounter::UniversalCounter(std::string description, std::string serial)
    : Instrument(std::move(description), std::move(serial)) {}

FunctionGenerator::FunctionGenerator(std::string description, std::string serial)
    : Instrument(std::move(description), std::move(serial)) {
    for (uint8_t letter = 'M'; letter <= 'U'; ++letter) AnswerCommand(letter, kLetterReply);
    RadioUnit own = RadioUnit::Remote(kOwnAddress, 0);
    own.params[0] = z5sim::Param{1, 2};       // hardware version
    own.params[1] = z5sim::Param{0x0102, 2};  // firmware 1.2
    own.deviceClass = kDeviceClass;
    SetUnit(own);
    RadioUnit channels = RadioUnit::Remote(kChannelUnit, 0);
    channels.streamValues = {1, 2, 3, 4, 5};
    channels.streams = true;
    SetUnit(channels);
}

void FunctionGenerator::OnAnswered(const Message& request, bool replied) {
    Instrument::OnAnswered(request, replied);
    if (!request.IsFrame()) return;
    if (request.Cmd() == 'Q') SetMeasuring(true);
    if (request.Cmd() == 'R') SetMeasuring(false);
}

LightSpeedMeter::LightSpeedMeter(std::string description, std::string serial)
    : Instrument(std::move(description), std::move(serial)) {
    AnswerCommand('M', kShortReply);
    AnswerCommand('N', kShortReply);
    SetParam(0, 1, 2);       // hardware version
    SetParam(1, 0x0100, 2);  // firmware 1.0
    SetParam(9, 0, 4);       // sample period
    RadioUnit meter = RadioUnit::Remote(0, 0);
    meter.streamValues = {300, 400};
    meter.streams = true;
    SetUnit(meter);  // streams at address 0
    RemoveUnit(1);
}

void LightSpeedMeter::SetLatest(std::vector<uint16_t> values) {
    std::lock_guard<std::mutex> g(meterLock_);
    latest_ = std::move(values);
}

unsigned LightSpeedMeter::ZeroRequests() const {
    std::lock_guard<std::mutex> g(meterLock_);
    return zeroRequests_;
}

unsigned LightSpeedMeter::ClosingFrames() const {
    std::lock_guard<std::mutex> g(meterLock_);
    return closingFrames_;
}

void LightSpeedMeter::SetSecondConfirmation(uint32_t ms, std::optional<uint8_t> refusal, bool silent) {
    std::lock_guard<std::mutex> g(meterLock_);
    secondMs_ = ms;
    secondRefusal_ = refusal;
    secondSilent_ = silent;
}

std::vector<Bytes> LightSpeedMeter::OnFrame(const Message& request) {
    const Bytes payload = request.Payload();
    if (payload.size() < 2 || request.Address() != 0) return Instrument::OnFrame(request);
    const uint8_t address[2] = {0, 0};
    switch (request.Cmd()) {
        case kZero: {
            std::lock_guard<std::mutex> g(meterLock_);
            ++zeroRequests_;
            return {MakeFrame(kZero, address)};
        }
        case kLatest: {
            std::lock_guard<std::mutex> g(meterLock_);
            Bytes out(address, address + 2);
            for (uint16_t v : latest_) {
                out.push_back(static_cast<uint8_t>(v));
                out.push_back(static_cast<uint8_t>(v >> 8));
            }
            return {MakeFrame(kLatestReply, out)};
        }
        case kAck: {
            std::lock_guard<std::mutex> g(meterLock_);
            ++closingFrames_;
            return {};
        }
        case FirmwareReceiver::kCmdStart:
        case FirmwareReceiver::kCmdBlock:
        case FirmwareReceiver::kCmdFinish: {
            const auto hardware = GetParam(0);
            FirmwareReceiver::Target target{kDeviceClass, static_cast<uint8_t>(hardware ? hardware->value : 0)};
            FirmwareReceiver::Answer answer = firmware_.OnFrame(request, target);
            if (answer.newVersion) SetParam(1, *answer.newVersion, 2);
            if (request.Cmd() == FirmwareReceiver::kCmdBlock)
                for (Bytes& r : answer.replies) r = Padded(r, kMeterReply);
            if (request.Cmd() == FirmwareReceiver::kCmdFinish && !answer.replies.empty() &&
                answer.replies.front()[2] == kAck) {
                std::lock_guard<std::mutex> g(meterLock_);
                confirmPending_ = true;
            }
            return answer.replies;
        }
        default:
            return Instrument::OnFrame(request);
    }
}

void LightSpeedMeter::OnAnswered(const Message& request, bool replied) {
    Instrument::OnAnswered(request, replied);
    uint32_t ms;
    std::optional<uint8_t> refusal;
    {
        std::lock_guard<std::mutex> g(meterLock_);
        if (!confirmPending_) return;
        confirmPending_ = false;
        if (!replied || secondSilent_) return;
        ms = secondMs_;
        refusal = secondRefusal_;
    }
    if (!Pause(ms)) return;
    const uint8_t address[2] = {0, 0};
    if (refusal) {
        const uint8_t refused[3] = {0, 0, *refusal};
        SendFrame(FirmwareReceiver::kCmdFinish, refused);
    } else {
        SendFrame(kAck, address);
    }
}

}  // namespace z5sim
