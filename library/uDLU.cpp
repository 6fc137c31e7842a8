#include "uDLU.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>
#include <thread>

#include "uD2XX.h"
#include "uDLUFileData.h"
#include "uDLUReplies.h"
#include "uFrameExchange.h"
#include "uGlobalDev.h"
#include "uHandleRegistry.h"
#include "uNumberText.h"

namespace {

constexpr uint8_t kAddressLow = TDLU::kRequestAddress & 0xFF;
constexpr uint8_t kAddressHigh = TDLU::kRequestAddress >> 8;

// Requests and replies.
constexpr uint8_t kCmdReady = 'P';      // code 17
constexpr uint8_t kCmdStop = 'S';       // code 18
constexpr uint8_t kCmdVersion = 'W';
constexpr uint8_t kCmdLatest = 'X';
constexpr uint8_t kCmdDirectory = 'T';
constexpr uint8_t kCmdHeader = 'U';
constexpr uint8_t kCmdDownload = 'V';
constexpr uint8_t kReplyDone = 'Q';
constexpr uint8_t kUpdateStart = 0x21;
constexpr uint8_t kUpdateBlock = 0x22;
constexpr uint8_t kUpdateFinish = 0x23;
constexpr uint8_t kUpdateAck = 0x28;
constexpr int32_t kCodeReady = 17;
constexpr int32_t kCodeStop = 18;

constexpr uint32_t kReplyMinBytes = 4;
constexpr uint32_t kTextReplyFirstBytes = 1;  // directory and header: the first byte starts the reply
constexpr uint32_t kBlockBytesNeeded = 1;  // after the wait, to read and judge a block's reply
constexpr uint32_t kWaitDone = 1;          // the reply's wait was made already: read at once
constexpr uint32_t kLineTimeoutMs = 100;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kTab = 0x09;

bool IsAcknowledgement(const TFrameReply& Reply) {
    return Reply.Received(2) && Reply.At(0) == kFrameStart && Reply.At(2) == kUpdateAck && Reply.StatusOk();
}

void PutLE(std::vector<uint8_t>& Frame, uint32_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Frame.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}

}  // namespace

TDLU::TDLU() : fFtdiDevice(std::make_unique<TFtdiDevice>()), fSensorDLU(std::make_unique<TSensorsDLU>()) {
    fFtdiDevice->SetOwnerDevice(this);
    fFtdiDevice->SetAsciiMode(true);
    fSensorDLU->SetOwner(this, TSensorsDLU::kLoggerAddress);
    fSensors.push_back(fSensorDLU.get());
    // A client handle from now until the logger goes.
    RegisterSensor(fSensorDLU.get());
}

TDLU::~TDLU() {
    IsDestroying = true;
    // No client reaches the sensor from here on; a call still inside it ends first.
    UnregisterSensor(fSensorDLU.get());
    try {
        CloseDevice();
    } catch (...) {
        // The handle is cleared before anything that can fail.
    }
    fFtdiDevice->SetOwnerDevice(nullptr);
    fFtdiDevice.reset();  // its threads have ended when this returns
    fSensors.clear();
    fSensorDLU.reset();
}

int32_t TDLU::GetTyp() { return kTyp; }
void TDLU::GetName(std::u16string& Name) { Name = u"DLU"; }
int32_t TDLU::GetMaxSensors() { return static_cast<int32_t>(fSensors.size()); }
int32_t TDLU::GetSensorCount() { return static_cast<int32_t>(fSensors.size()); }
void TDLU::SetSerialNo(const std::string& SerialNo) { fSerialNo = SerialNo; }
std::string TDLU::GetSerialNo() { return fSerialNo; }
d2xx::Handle TDLU::GetHandle() { return fHandle.load(); }
d2xx::Handle TDLU::GetHandleValue() const { return fHandle.load(); }

TTemplateSensors* TDLU::GetSensor(int32_t Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= fSensors.size()) return nullptr;
    return fSensors[static_cast<size_t>(Index)];
}

TTemplateSensors* TDLU::FindSensorByAddressUnderBufferLock(int32_t) { return nullptr; }
TTemplateSensors* TDLU::GetSensorUnderBufferLock(int32_t index) { return index == 0 ? fSensorDLU.get() : nullptr; }
bool TDLU::IsIdentity18(TTemplateSensors*) { return false; }

// ---- exchange ---------------------------------------------------------------------

bool TDLU::Send(std::span<const uint8_t> Frame, bool Purge) {
    CurrentHandle = fHandle.load();
    if (Purge) PurgeTx();
    const size_t n = std::min<size_t>(Frame.size(), kD2XXBufferSize);
    std::memcpy(TransmitBuffer, Frame.data(), n);
    const int written = WriteFrame(static_cast<int>(n));
    return LastFTStatus == d2xx::kOk && written == static_cast<int>(n);
}

namespace {
// A request without payload to the logger's address.
std::array<uint8_t, 6> RequestFrame(uint8_t Cmd) { return {kFrameStart, 0x03, Cmd, kAddressLow, kAddressHigh, kFrameEnd}; }
}  // namespace

bool TDLU::SendRequest(uint8_t Cmd, bool Purge) { return Send(RequestFrame(Cmd), Purge); }

uint32_t TDLU::WaitForReply(uint32_t MinBytes, uint32_t WaitMs) {
    // A failed query counts as nothing waiting.
    const int32_t n = WaitForReplyBytes(MinBytes, WaitMs);
    return n > 0 ? std::min(static_cast<uint32_t>(n), kD2XXBufferSize) : 0u;
}

TDLU::Bytes TDLU::ReadReply(uint32_t Count) {
    Bytes reply;
    for (;;) {
        const int n = ReadFrames(static_cast<int>(Count));
        const size_t take = std::min<size_t>(static_cast<size_t>(std::max(n, 0)), kD2XXBufferSize - reply.size());
        reply.insert(reply.end(), ReceiveBuffer, ReceiveBuffer + take);
        if (n <= 0 || LastFTStatus != d2xx::kOk || static_cast<uint32_t>(n) >= kD2XXBufferSize ||
            reply.size() >= kD2XXBufferSize) {
            return reply;
        }
    }
}

TFrameReply TDLU::ReadFrameReply(uint32_t MinBytes, bool LateMayFollow) {
    TExchangeSettings s;
    s.WaitMs = kReplyWaitMs;
    s.WaitBytes = MinBytes;
    s.ReadUntilQuiet = LateMayFollow;
    return Collect(s);
}

TDLU::Bytes TDLU::ReadTextReply() {
    WaitForReply(kTextReplyFirstBytes, kReplyWaitMs);
    return ReadReply(kD2XXBufferSize);
}

TDLU::Bytes TDLU::Exchange(uint8_t Cmd, bool Purge) {
    SendRequest(Cmd, Purge);
    return ReadReply(WaitForReply(kReplyMinBytes, kReplyWaitMs));
}

int32_t TDLU::JudgeUpdateReply(const TFrameReply& Reply) {
    if (IsAcknowledgement(Reply)) return 0;
    // A refusal carries its code after the address; a reply without one (or with
    // code 0) must not read as success.
    if (Reply.Received(5) && Reply.At(5) != 0) return Reply.At(5);
    return -1;
}

// ---- requests ---------------------------------------------------------------------

int32_t TDLU::Command(int32_t Code) {
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;
    if ((Code != kCodeReady && Code != kCodeStop) || !fHandle.load()) return -1;
    SendRequest(Code == kCodeReady ? kCmdReady : kCmdStop, Code == kCodeReady);
    const TFrameReply reply = ReadFrameReply(kReplyMinBytes);
    return reply.Received(2) && reply.At(0) == kFrameStart && reply.At(2) == kReplyDone && reply.StatusOk() ? 0 : -1;
}

int32_t TDLU::SendCmdAndGetResponse(const char* Cmd, int32_t&) {
    if (IsDestroying.load()) return -1;
    int32_t code = 0;
    if (!ParseDLUCommandCode(Cmd, code)) return -1;
    return Command(code);
}

std::string TDLU::GetVersion() {
    if (IsDestroying.load()) return {};
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;
    if (!fHandle.load()) return {};
    const Bytes reply = Exchange(kCmdVersion, true);
    if (LastFTStatus != d2xx::kOk) return {};
    return DLUVersionText(reply, kVersionMax);
}

int32_t TDLU::ReadLatest(int32_t, int32_t Count, int32_t* Values, int32_t) {
    if (IsDestroying.load()) return -1;
    Bytes reply;
    {
        std::lock_guard sequence(fSequenceLock);
        D2XXGuard guard;
        if (!fHandle.load()) return -1;
        reply = Exchange(kCmdLatest, false);
        if (reply.empty() || reply[0] == kFrameStart || LastFTStatus != d2xx::kOk) return -1;
    }
    const auto cr = std::find(reply.begin(), reply.end(), kCr);
    if (cr == reply.end()) return -1;  // the line never ended
    std::vector<int32_t> values;
    std::string field;
    for (auto it = reply.begin(); it != cr; ++it) {
        if (*it != kTab) {
            field.push_back(static_cast<char>(*it));
            continue;
        }
        int64_t v = 0;
        if (!IntegerTextToInt64(field, v) || v < std::numeric_limits<int32_t>::min() ||
            v > std::numeric_limits<int32_t>::max()) {
            return -1;
        }
        values.push_back(static_cast<int32_t>(v));
        field.clear();
    }
    const size_t n = std::min(values.size(), static_cast<size_t>(std::max(Count, 0)));
    if (n > 0 && !Values) return -1;
    std::copy_n(values.begin(), n, Values);
    return 0;
}

void TDLU::SetLineSettings(int32_t Baud, int32_t Flow) {
    BaudRate = static_cast<uint32_t>(Baud);
    WordLength = d2xx::kBits8;
    StopBits = d2xx::kStopBits1;
    Parity = d2xx::kParityNone;
    FlowControl = static_cast<uint16_t>(Flow);
    ResetFTDevice();
    SetFTBaudRate();
    SetFTDataCharacteristics();
    SetFTFlowControl();
    SetFTTimeouts(kLineTimeoutMs, kLineTimeoutMs);
}

int32_t TDLU::OpenDevice(int32_t Baud, int32_t Flow) {
    if (IsDestroying.load()) return -1;
    D2XXGuard guard;
    if (GetFTDeviceCount() != d2xx::kOk || FTDeviceCount == 0) return -1;
    if (OpenBySerialNo(fSerialNo) != d2xx::kOk) return -1;
    SetLineSettings(Baud, Flow);
    fHandle = CurrentHandle;
    fFtdiDevice->SetFTHandle(CurrentHandle);
    return 0;
}

int32_t TDLU::CloseDevice() {
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;  // re-entrant: the 'S' exchange and the close stay together
    if (!fHandle.load()) return static_cast<int32_t>(d2xx::kInvalidHandle);
    Command(kCodeStop);
    const d2xx::Handle handle = fHandle.exchange(nullptr);
    fFtdiDevice->SetFTHandle(nullptr);
    CurrentHandle = handle;
    return static_cast<int32_t>(CloseFTDevice());
}

bool TDLU::RefreshSensors(TDeviceStructure* Node) {
    if (!Node || Node->Sensors) return false;
    AppendSensorNode(*Node, NewSensorNode(0, fSensorDLU.get()));
    return true;
}

// ---- firmware update --------------------------------------------------------------

int32_t TDLU::UpdateStart(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                          int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                          const uint8_t* HardwareList) {
    if (IsDestroying.load()) return -1;
    if (HardwareCount < 0 || HardwareCount > kMaxHardwareCount || (HardwareCount > 0 && !HardwareList)) return -1;
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;
    if (!fHandle.load()) return -1;
    Bytes frame{kFrameStart, static_cast<uint8_t>(2 * HardwareCount + 14), kUpdateStart};
    PutLE(frame, static_cast<uint32_t>(Address), 2);
    PutLE(frame, static_cast<uint32_t>(NewFirmware), 2);
    PutLE(frame, static_cast<uint32_t>(PartIndex), 1);
    PutLE(frame, static_cast<uint32_t>(PartCount), 1);
    PutLE(frame, static_cast<uint32_t>(FileSize), 4);
    PutLE(frame, static_cast<uint32_t>(DeviceClass), 2);
    frame.push_back(static_cast<uint8_t>(HardwareCount));
    for (int32_t i = 0; i < HardwareCount; ++i) {
        frame.push_back(HardwareList[i]);
        frame.push_back(0x00);
    }
    frame.push_back(kFrameEnd);
    Send(frame, true);
    if (WaitForReply(kReplyMinBytes, kReplyWaitMs) == 0) return -1;
    return JudgeUpdateReply(ReadFrameReply(kWaitDone));
}

int32_t TDLU::UpdateBlocks(int32_t Address, int32_t, FirmwareStream* const* Stream) {
    if (IsDestroying.load()) return -1;
    FirmwareStream* stream = Stream ? *Stream : nullptr;
    if (!stream || !stream->Size || !stream->Read) return -1;
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;
    if (!fHandle.load()) return -1;
    Bytes image(kImageSize, 0);
    CurrentHandle = fHandle.load();
    PurgeTx();
    // The low 32 bits of the size, as a signed count.
    const auto size = static_cast<int32_t>(static_cast<uint32_t>(stream->Size(stream->Context)));
    if (size < 0 || static_cast<uint32_t>(size) > kImageSize) return -1;
    for (int32_t pos = 0; pos < size;) {
        const int32_t got = stream->Read(stream->Context, image.data() + pos, size - pos);
        if (got <= 0) return -1;  // a part that cannot be read whole is not sent
        pos += std::min(got, size - pos);
    }

    uint32_t offset = 0;
    int failed = 0;
    // After an attempt without a whole reply frame its late acknowledgement may come
    // in ahead of the next one: that read goes on until the line is quiet, so that no
    // acknowledgement is left for the next block (or the finish) to take.
    bool lateMayFollow = false;
    while (offset < static_cast<uint32_t>(size) && failed < kBlockAttempts) {
        const uint32_t k = std::min(kBlockSize, static_cast<uint32_t>(size) - offset);
        Bytes frame{kFrameStart, static_cast<uint8_t>(k + 7), kUpdateBlock};
        PutLE(frame, static_cast<uint32_t>(Address), 2);
        PutLE(frame, offset, 4);
        frame.insert(frame.end(), image.begin() + offset, image.begin() + offset + k);
        frame.push_back(kFrameEnd);
        Send(frame, false);
        TFrameReply reply;
        if (WaitForReply(kReplyMinBytes, kReplyWaitMs) >= kBlockBytesNeeded)
            reply = ReadFrameReply(kWaitDone, lateMayFollow);
        lateMayFollow = !reply.WholeFrame();
        if (IsAcknowledgement(reply)) {
            failed = 0;
            offset += kBlockSize;
        } else {
            ++failed;
        }
    }
    return failed >= kBlockAttempts ? -1 : 0;
}

int32_t TDLU::UpdateFinish(int32_t Address, uint32_t CheckValue) {
    if (IsDestroying.load()) return -1;
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;
    if (!fHandle.load()) return -1;
    Bytes frame{kFrameStart, 0x07, kUpdateFinish};
    PutLE(frame, static_cast<uint32_t>(Address), 2);
    PutLE(frame, CheckValue, 4);
    frame.push_back(kFrameEnd);
    Send(frame, true);
    return JudgeUpdateReply(ReadFrameReply(kReplyMinBytes));
}

// ---- files ------------------------------------------------------------------------

int32_t TDLU::GetDLUFileData(TDLUFileInfo* Records) {
    if (IsDestroying.load() || !Records) return -1;
    // The directory and each header are exchanges of their own under D2XXLock, so
    // that other devices' requests need not wait for the whole list; the sequence
    // lock keeps this logger's other operations out from between them.
    std::lock_guard sequence(fSequenceLock);
    // One text exchange: the reply, or nullopt when the line is gone.
    auto exchange = [this](std::span<const uint8_t> frame) -> std::optional<Bytes> {
        D2XXGuard guard;
        if (IsDestroying.load() || !fHandle.load() || !Send(frame, true)) return std::nullopt;
        Bytes reply = ReadTextReply();
        if (LastFTStatus != d2xx::kOk) return std::nullopt;
        return reply;
    };
    std::this_thread::yield();
    // An empty directory is an empty reply: only the line tells it from a logger that is gone.
    const std::optional<Bytes> directory = exchange(RequestFrame(kCmdDirectory));
    if (!directory || IsDLUDirectoryRefusal(*directory)) return -1;

    std::vector<TDLUDirectoryEntry> entries;
    const bool complete = ParseDLUDirectory(*directory, entries);
    for (size_t i = 0; i < entries.size(); ++i) {
        AssignDLUText(Records[i].Name, entries[i].Name);
        Records[i].Size = entries[i].Size;
    }
    if (!complete) return -1;

    for (size_t i = 0; i < entries.size(); ++i) {
        TDLUFileInfo& record = Records[i];
        record.Valid = 1;
        AssignDLUText(record.Date, DLUDateFromName(entries[i].Name));
        Bytes frame{kFrameStart, 0x0B, kCmdHeader, kAddressLow, kAddressHigh};
        const auto name = DLUNameBytes(record.Name);
        frame.insert(frame.end(), name.begin(), name.end());
        frame.push_back(kFrameEnd);
        const std::optional<Bytes> header = exchange(frame);
        if (!header || !ParseDLUHeader(*header, record)) return -1;
    }
    return static_cast<int32_t>(entries.size());
}

int32_t TDLU::GetDLUValues(TDLUFileInfo* Records, int32_t Index) {
    if (IsDestroying.load() || !Records || Index < 0 || Index >= TOVAMOD_DLU_MAX_FILES) return -1;
    std::lock_guard sequence(fSequenceLock);
    D2XXGuard guard;
    if (!fHandle.load()) return -1;
    const TDLUFileInfo& record = Records[Index];
    Bytes frame{kFrameStart, 0x0B, kCmdDownload, kAddressLow, kAddressHigh};
    const auto name = DLUNameBytes(record.Name);
    frame.insert(frame.end(), name.begin(), name.end());
    frame.push_back(kFrameEnd);
    // Bytes that came before the request belong to no part of this file.
    CurrentHandle = fHandle.load();
    PurgeRx();
    if (!Send(frame, true)) return -1;
    // The reader cannot append while this thread holds D2XXLock, so the stream and
    // the parse state start the file together.
    fFtdiDevice->SetAsciiChannelCount(std::min<int32_t>(record.ChannelCount, TOVAMOD_DLU_MAX_CHANNELS));
    fFtdiDevice->StartReceiving();
    fFtdiDevice->ResumeThreads();
    return 0;
}
