// The request operations of TRTUU: frames, attempts, locks, reply tests, decoding.
#include <bit>
#include <cstring>
#include <optional>

#include "uD2XX.h"
#include "uRTUU.h"
#include "z5pump.h"

namespace {

static_assert(TRTUU::kCalibrationValues == 15 && TRTUU::kTrimValues == 10);

// Commands and their replies.
constexpr uint8_t kCmdWriteParam = 0x11, kReplyWriteParam = 0x18;
constexpr uint8_t kCmdReadParam = 0x12, kReplyReadParam = 0x1A;
constexpr uint8_t kCmdNodeList = 0x1F;
constexpr uint8_t kCmdWriteEEPROM = 0x41, kReplyWriteEEPROM = 0x48;
constexpr uint8_t kCmdReadEEPROM = 0x42, kReplyReadEEPROM = 0x4A;
constexpr uint8_t kCmdRange = 0x4C;
constexpr uint8_t kCmdZero = 0x4B;
constexpr uint8_t kCmdSensorCommand = 0x63;
constexpr uint8_t kCmdLatest = 0x01, kReplyLatest = 0x09, kReplyLatestAlt = 0x0A;
constexpr uint8_t kCmdStart = 0x31, kReplyStart = 0x38;
constexpr uint8_t kCmdStop = 0x32;
constexpr uint8_t kCmdZ = 0x5A;

constexpr int32_t kParamSampleRate = 26;
constexpr int32_t kModeTwoHalves = 18;
constexpr int kMode18MaxValues = 6;
constexpr int kMode18Restarts = 4;
constexpr uint32_t kStartWaitBytes = 5;

uint8_t Lo(int32_t v) { return static_cast<uint8_t>(v & 0xFF); }
uint8_t Hi(int32_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }

// Frame of a command whose payload starts with the radio address.
int AddressFrame(uint8_t cmd, int32_t address, std::initializer_list<uint8_t> rest) {
    uint8_t payload[64];
    size_t n = 0;
    payload[n++] = Lo(address);
    payload[n++] = Hi(address);
    for (uint8_t b : rest) payload[n++] = b;
    return BuildFrame(cmd, std::span<const uint8_t>(payload, n));
}

int IdsFrame(uint8_t cmd, int32_t address, int first, int count) {
    uint8_t payload[2 + 64];
    payload[0] = Lo(address);
    payload[1] = Hi(address);
    for (int i = 0; i < count; ++i) payload[2 + i] = static_cast<uint8_t>(first + i);
    return BuildFrame(cmd, std::span<const uint8_t>(payload, static_cast<size_t>(2 + count)));
}

bool IsLatestFrame(const TFrameReply& reply) { return reply.IsFrame(kReplyLatest) || reply.IsFrame(kReplyLatestAlt); }

}  // namespace

// ---- engine ----

TExchangeSettings TRTUU::Settings(bool Abort) const {
    TExchangeSettings s;
    s.Destroying = &IsDestroying;
    s.AbortWhenDestroying = Abort;
    s.Reader = Reader.get();
    return s;
}

bool TRTUU::Request(const TRequest& r) {
    if (IsDestroying.load()) return false;
    // Declared first, released last: the device lock goes before D2XXLock, and the
    // notifications of the exchange are raised with no lock of the request held.
    std::optional<D2XXGuard> d2xx;
    std::unique_lock<std::recursive_mutex> device(DeviceLock, std::defer_lock);
    if (r.TakeDeviceLock) device.lock();
    d2xx.emplace();
    // Nothing goes out on a closed line, so nothing can have succeeded.
    if (!LineHandle()) return false;
    CurrentHandle = LineHandle();
    PurgeTx();
    int length = r.Build();
    TExchangeSettings settings = Settings(r.Abort);
    settings.PumpAfterReads = r.PumpAfterReads;
    settings.Judge = [&](const TFrameReply& frame) {
        if (r.Answers && !r.Answers(frame)) return TVerdict::Pass;
        if (r.NoReply) return TVerdict::Take;
        if (r.ReaderTest && Reader->IsActive()) return TVerdict::Fail;
        return r.Decode(frame) ? TVerdict::Take : TVerdict::Fail;
    };
    for (int attempt = 0; attempt < r.Attempts; ++attempt) {
        if (IsDestroying.load()) return false;
        if (r.PumpBeforeAttempts) z5::PumpMessages();
        if (r.RebuildEachAttempt && attempt > 0) {
            PurgeTx();
            length = r.Build();
        }
        if (r.NoReply) return SendOnly(length, settings.Reader);
        const TFrameReply reply = SendAndCollect(length, settings);
        // Nothing more can come on a line that takes no frame or has hung up.
        if (reply.Taken()) return true;
        if (reply.LineLost()) return false;
    }
    return false;
}

int32_t TRTUU::BytesWaiting() {
    if (IsDestroying.load()) return -1;
    D2XXGuard guard;
    return QueueBytesWaiting();
}

float TRTUU::FloatFromBytes(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3) { return FloatOfBytes(B0, B1, B2, B3); }

// ---- device and radio parameters ----

int32_t TRTUU::WriteParam(int32_t Address, int32_t Param, int32_t Size, int32_t Value) {
    TRequest r;
    r.Attempts = 1;
    r.Build = [&] {
        const uint8_t id = Lo(Param);
        const uint32_t v = static_cast<uint32_t>(Value);
        if (Size <= 1) return AddressFrame(kCmdWriteParam, Address, {id, Lo(Value)});
        if (Size == 2) return AddressFrame(kCmdWriteParam, Address, {id, Lo(Value), Hi(Value)});
        return AddressFrame(kCmdWriteParam, Address,
                            {id, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                             static_cast<uint8_t>(v >> 24)});
    };
    r.Answers = [](const TFrameReply& reply) { return reply.IsFrame(kReplyWriteParam); };
    r.Decode = [](const TFrameReply& reply) { return reply.IsFrame(kReplyWriteParam); };
    if (!Request(r)) return -1;
    if (Param == kParamSampleRate) SampleRate.store(Lo(Value));
    return 0;
}

int64_t TRTUU::ReadParam(int32_t Address, int32_t Param) {
    int64_t result = -1;
    TRequest r;
    r.TakeDeviceLock = true;
    r.Abort = true;
    r.Build = [&] { return AddressFrame(kCmdReadParam, Address, {Lo(Param)}); };
    r.Answers = [&](const TFrameReply& reply) { return AnswersRead(reply, kReplyReadParam, Address, Lo(Param)); };
    r.Decode = [&](const TFrameReply& reply) { return DecodeParamReply(reply, result); };
    return Request(r) ? result : -1;
}

int32_t TRTUU::SetRTUUParam(int32_t Param, int32_t Size, int32_t Value) { return WriteParam(0, Param, Size, Value); }

int64_t TRTUU::GetRTUUParam(int32_t Param) { return ReadParam(0, Param); }

int32_t TRTUU::GetRTUUParams(TRTUUParams* Params) {
    if (!Params) return -1;
    TRequest r;
    r.ReaderTest = false;
    r.Build = [] { return IdsFrame(kCmdReadParam, 0, 0, 14); };
    r.Answers = [](const TFrameReply& reply) {
        return AnswersBlockRead(reply, kReplyReadParam, 0, TReadBlock::RTUUParams);
    };
    r.Decode = [&](const TFrameReply& reply) { return DecodeRTUUParamsReply(reply, *Params); };
    return Request(r) ? 1 : -1;
}

int32_t TRTUU::ReadRTCUParams(int32_t Address, TRTCUParam* Params) {
    if (!Params) return -1;
    TRequest r;
    r.ReaderTest = false;
    r.Build = [&] { return IdsFrame(kCmdReadParam, Address, 0, 29); };
    r.Answers = [&](const TFrameReply& reply) {
        return AnswersBlockRead(reply, kReplyReadParam, Address, TReadBlock::RTCUParams);
    };
    r.Decode = [&](const TFrameReply& reply) { return DecodeRTCUParamsReply(reply, *Params); };
    return Request(r) ? 1 : -1;
}

std::string TRTUU::GetMACExtAddr(int32_t Address, bool OwnRadioUnit) {
    std::string text(kNoMAC);
    const uint8_t id = Address == 0 ? 7 : OwnRadioUnit ? 2 : 3;
    TRequest r;
    r.TakeDeviceLock = true;
    r.Abort = true;
    r.Build = [&] { return AddressFrame(kCmdReadParam, Address, {id}); };
    r.Answers = [&](const TFrameReply& reply) { return AnswersRead(reply, kReplyReadParam, Address, id); };
    r.Decode = [&](const TFrameReply& reply) { return DecodeMACReply(reply, text); };
    Request(r);
    return text;
}

bool TRTUU::ReadNodeList() {
    if (IsDestroying.load()) return false;
    NodeAddresses.fill(-1);
    TRequest r;
    r.PumpBeforeAttempts = true;
    r.PumpAfterReads = true;
    r.Build = [] { return AddressFrame(kCmdNodeList, 0, {}); };
    r.Answers = [](const TFrameReply& reply) { return reply.IsFrame(kCmdNodeList); };
    r.Decode = [&](const TFrameReply& reply) {
        int stored = 0;
        if (!DecodeNodeListReply(reply, NodeAddresses, stored)) return false;
        for (int i = 0; i < stored; ++i) z5::PumpMessages();
        return true;
    };
    if (Request(r)) return true;
    NodeAddresses[0] = -1;
    return false;
}

// ---- sensor EEPROM and sensor parameters ----

int32_t TRTUU::WriteSensorEEPROM(int32_t Address, int32_t Id, int32_t Size, int64_t Value) {
    if (Size < 1 || Size > 4) return -1;
    TRequest r;
    r.RebuildEachAttempt = true;
    r.Build = [&] {
        uint8_t payload[7] = {Lo(Address), Hi(Address), Lo(Id)};
        const uint32_t v = static_cast<uint32_t>(Value);
        for (int i = 0; i < Size; ++i) payload[3 + i] = static_cast<uint8_t>(v >> (8 * i));
        return BuildFrame(kCmdWriteEEPROM, std::span<const uint8_t>(payload, static_cast<size_t>(3 + Size)));
    };
    r.Answers = [](const TFrameReply& reply) { return reply.IsFrame(kReplyWriteEEPROM); };
    r.Decode = [](const TFrameReply& reply) { return reply.IsFrame(kReplyWriteEEPROM); };
    return Request(r) ? 0 : -1;
}

int32_t TRTUU::WriteSensorEEPROMFloat(int32_t Address, int32_t Id, float Value) {
    TRequest r;
    r.Build = [&] {
        const uint32_t v = std::bit_cast<uint32_t>(Value);
        return AddressFrame(kCmdWriteEEPROM, Address,
                            {Lo(Id), static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                             static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)});
    };
    r.Answers = [](const TFrameReply& reply) { return reply.IsFrame(kReplyWriteEEPROM); };
    r.Decode = [](const TFrameReply& reply) { return reply.IsFrame(kReplyWriteEEPROM); };
    return Request(r) ? 0 : -1;
}

int64_t TRTUU::ReadSensorParam(int32_t Address, int32_t Id) {
    int64_t result = -1;
    TRequest r;
    r.Build = [&] { return AddressFrame(kCmdReadEEPROM, Address, {Lo(Id)}); };
    r.Answers = [&](const TFrameReply& reply) { return AnswersRead(reply, kReplyReadEEPROM, Address, Lo(Id)); };
    r.Decode = [&](const TFrameReply& reply) { return DecodeSensorParamReply(reply, result); };
    return Request(r) ? result : -1;
}

int32_t TRTUU::ReadSensorEEPROM(int32_t Address, int32_t Block, TSensorEEPROMData* Data, float* Calibration,
                                float* Trim) {
    struct Shape {
        int first, count;
    };
    static constexpr Shape kBlocks[] = {{0, 18}, {18, kCalibrationValues}, {33, kTrimValues}};
    if (Block < 0 || Block > 2) return -1;
    if ((Block == 0 && !Data) || (Block == 1 && !Calibration) || (Block == 2 && !Trim)) return -1;
    const Shape shape = kBlocks[Block];
    TRequest r;
    r.Build = [&] { return IdsFrame(kCmdReadEEPROM, Address, shape.first, shape.count); };
    static constexpr TReadBlock kReadBlocks[] = {TReadBlock::EEPROMData, TReadBlock::EEPROMCalibration,
                                                 TReadBlock::EEPROMTrim};
    r.Answers = [&](const TFrameReply& reply) {
        return AnswersBlockRead(reply, kReplyReadEEPROM, Address, kReadBlocks[Block]);
    };
    r.Decode = [&](const TFrameReply& reply) { return DecodeSensorEEPROMReply(reply, Block, Data, Calibration, Trim); };
    return Request(r) ? 1 : -1;
}

// ---- range, commands, zero ----

int32_t TRTUU::SetRange(int32_t Address, int32_t Value1, int32_t Value2) {
    TRequest r;
    r.ReaderTest = false;
    r.Build = [&] { return AddressFrame(kCmdRange, Address, {Lo(Value1), Lo(Value2)}); };
    r.Answers = IsEmptyReply;
    r.Decode = IsEmptyReply;
    return Request(r) ? 0 : -1;
}

int32_t TRTUU::GetRange(int32_t Address, int32_t Id) {
    int32_t result = -1;
    TRequest r;
    r.ReaderTest = false;
    r.Build = [&] { return AddressFrame(kCmdRange, Address, {}); };
    r.Answers = [](const TFrameReply& reply) { return reply.IsFrame(kCmdRange); };
    r.Decode = [&](const TFrameReply& reply) { return DecodeRangeReply(reply, Id, result); };
    return Request(r) ? result : -1;
}

int32_t TRTUU::SendSensorCommand(int32_t Address, int32_t Command, int32_t Value) {
    TRequest r;
    r.ReaderTest = false;
    r.Build = [&] { return AddressFrame(kCmdSensorCommand, Address, {Lo(Command), Lo(Value), Hi(Value)}); };
    r.Answers = IsEmptyReply;
    r.Decode = IsEmptyReply;
    return Request(r) ? 0 : -1;
}

int32_t TRTUU::SetValueToZero(int32_t Address, int32_t Value) {
    TRequest r;
    r.ReaderTest = false;
    r.Build = [&] { return AddressFrame(kCmdZero, Address, {Lo(Value)}); };
    r.Answers = IsEmptyReply;
    r.Decode = IsEmptyReply;
    return Request(r) ? 0 : -1;
}

// ---- latest values ----

int32_t TRTUU::ReadLatest(int32_t Address, int32_t Count, int32_t* Values, int32_t Mode) {
    if (IsDestroying.load()) return -1;
    if (Count < 0 || (Count > 0 && !Values)) return -1;
    if (Mode == kModeTwoHalves) {
        // Four values and a status word (at most six held): fewer or more cannot be combined.
        if (Count < 5 || Count > kMode18MaxValues) return -1;
        return ReadLatestMode18(Address, Count, Values);
    }
    TRequest r;
    r.Build = [&] { return BuildFrame(kCmdLatest, std::array<uint8_t, 2>{Lo(Address), 0}); };
    r.Answers = IsLatestFrame;
    r.Decode = [&](const TFrameReply& reply) {
        if (!IsLatestReply(reply, Count)) return false;
        for (int32_t i = 0; i < Count; ++i) Values[i] = static_cast<int32_t>(LatestValue(reply, i));
        return true;
    };
    return Request(r) ? 0 : -1;
}

int32_t TRTUU::ReadLatestMode18(int32_t Address, int32_t Count, int32_t* Values) {
    std::optional<D2XXGuard> d2xx;
    d2xx.emplace();
    CurrentHandle = LineHandle();
    PurgeTx();
    auto build = [&] { return BuildFrame(kCmdLatest, std::array<uint8_t, 2>{Lo(Address), 0}); };
    const int length = build();
    TExchangeSettings settings = Settings(false);
    settings.Judge = [&](const TFrameReply& frame) {
        if (!IsLatestFrame(frame)) return TVerdict::Pass;
        return !Reader->IsActive() && IsLatestReply(frame, Count) ? TVerdict::Take : TVerdict::Fail;
    };
    bool lineLost = false;
    auto exchange = [&](TFrameReply& reply) {
        if (lineLost) return false;
        reply = SendAndCollect(length, settings);
        lineLost = reply.LineLost();
        return reply.Taken();
    };

    std::array<uint32_t, kMode18MaxValues> held{};
    int restarts = 0;
    for (int attempt = 0; attempt < 4 && !lineLost; ++attempt) {
        TFrameReply first;
        if (!exchange(first)) continue;
        for (int32_t i = 0; i < Count; ++i) held[static_cast<size_t>(i)] = LatestValue(first, i);
        const uint32_t status = held[static_cast<size_t>(Count - 1)];
        const uint32_t s = (status & 1) + ((status >> 8) & 0xFF) * 256;
        if (s == 0) {
            // No values yet: the attempts start over, a bounded number of times.
            if (restarts++ == kMode18Restarts) return -1;
            attempt = -1;
            continue;
        }
        if (s != 1) return 0;
        PurgeTx();
        build();
        for (int second = 0; second < 4; ++second) {
            TFrameReply reply;
            if (!exchange(reply)) continue;
            for (size_t i = 0; i < 4; ++i)
                Values[i] = static_cast<int32_t>((held[i] << 16) + LatestValue(reply, static_cast<int32_t>(i)));
            Values[4] = static_cast<int32_t>(LatestValue(reply, 4));
            return Values[4] == 1 ? -1 : 0;
        }
        return -1;
    }
    return -1;
}

// ---- measurement ----

int32_t TRTUU::StartMeasure() {
    if (IsDestroying.load()) return -1;
    bool started = false;
    {
        D2XXGuard guard;
        // Nothing goes out on a closed line: nothing is started and nothing set.
        if (!LineHandle()) return -1;
        CurrentHandle = LineHandle();
        PurgeTx();
        const int length = AddressFrame(kCmdStart, 0, {});
        Reader->ClearReceived();
        PurgeRx();
        TExchangeSettings s = Settings(false);
        s.WaitBytes = kStartWaitBytes;
        s.Judge = [](const TFrameReply& frame) { return frame.IsFrame(kReplyStart) ? TVerdict::Take : TVerdict::Pass; };
        const TFrameReply reply = SendAndCollect(length, s);
        // Nothing went out: nothing is started and nothing set.
        if (reply.NotSent()) return -1;
        // Once the request went out the device may stream, answered or not.
        MeasureMode.store(true);
        MeasureStarted.store(true);
        // Prepared before D2XXLock goes, so that no stream byte the reader reads
        // after the reply is thrown away by the reset.
        if (reply.Taken() && !Reader->IsActive()) {
            Reader->StartReceiving();
            started = true;
        }
    }
    if (!started) return -1;
    Reader->ClearLastValues();
    Reader->ResumeThreads();
    return 0;
}

int32_t TRTUU::StopMeasure() {
    TRequest r;
    r.Attempts = 1;
    r.ReaderTest = false;
    r.NoReply = true;
    r.Build = [] { return AddressFrame(kCmdStop, 0, {}); };
    const bool sent = Request(r);
    // What the start set is cleared also when the stop cannot go out.
    Reader->SetActive(false);
    MeasureMode.store(false);
    MeasureStarted.store(false);
    return sent ? 0 : -1;
}

int32_t TRTUU::SendZ() {
    TRequest r;
    r.Attempts = 1;
    r.ReaderTest = false;
    r.NoReply = true;
    r.Build = [] { return AddressFrame(kCmdZ, 0, {0x02}); };
    return Request(r) ? 0 : -1;
}

int32_t TRTUU::SendCmdAndGetResponse(const char* Cmd, int32_t&) {
    if (!Cmd || IsDestroying.load()) return -1;
    int32_t code = 0, v1, v2, v3;
    if (!ParseCommandText(Cmd, code, v1, v2, v3)) return -1;
    switch (code) {
        case 5: return StartMeasure();
        case 6: return StopMeasure();
        case 10: return SendZ();
        default: return -1;  // not a command of this device: nothing is sent
    }
}

// ---- the instruments' short exchange ----

namespace {
bool ShortFrameFits(std::span<const uint8_t> Frame) { return !Frame.empty() && Frame.size() <= kD2XXBufferSize; }
}  // namespace

bool TRTUU::ShortWrite(std::span<const uint8_t> Frame, bool PurgeRxFirst, bool PurgeTxFirst) {
    if (!LineHandle()) return false;
    CurrentHandle = LineHandle();
    if (PurgeTxFirst) PurgeTx();
    if (PurgeRxFirst) PurgeRx();
    std::memcpy(TransmitBuffer, Frame.data(), Frame.size());
    return SendOnly(static_cast<int>(Frame.size()), Reader.get());
}

TFrameReply TRTUU::ShortExchange(std::span<const uint8_t> Frame, bool PurgeRxFirst, bool PurgeTxFirst, int EndCommand) {
    if (IsDestroying.load() || !ShortFrameFits(Frame)) return {};
    D2XXGuard guard;
    // Only the bytes of this exchange are judged, never what an earlier one left.
    if (!ShortWrite(Frame, PurgeRxFirst, PurgeTxFirst)) return {};
    TExchangeSettings s = Settings(false);
    s.EndCommand = EndCommand;
    return Collect(s);
}

bool TRTUU::ShortSend(std::span<const uint8_t> Frame, bool PurgeRxFirst) {
    if (IsDestroying.load() || !ShortFrameFits(Frame)) return false;
    D2XXGuard guard;
    return ShortWrite(Frame, PurgeRxFirst, false);
}

int32_t TRTUU::ShortCommand(std::span<const uint8_t> Frame, bool PurgeRxFirst, uint8_t ReplyCode) {
    const TFrameReply reply = ShortExchange(Frame, PurgeRxFirst, false, ReplyCode);
    // While the device streams, measurement frames may come before the reply.
    return HasReplyFrame(reply, ReplyCode) ? 0 : -1;
}

bool TRTUU::ParseCommand(const char* Cmd, int32_t& Code, int32_t& Value1) {
    return ParseInstrumentCommand(Cmd, Code, Value1);
}
