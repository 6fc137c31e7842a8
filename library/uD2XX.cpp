#include "uD2XX.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t kFrameStart = 0x7D;
constexpr uint8_t kFrameEnd = 0x7E;
constexpr uint8_t kNotificationLen = 4;
constexpr uint8_t kNotificationCmd = 0x0A;
constexpr uint8_t kNotificationSeen = 0x63;  // 'c': marks a reported notification

// Guarded by D2XXLock: nesting of D2XXGuard on the owning thread, and the
// notifications found by ReadFrames that wait for the end of the exchange.
unsigned GuardDepth = 0;
unsigned PendingNotifications = 0;

std::mutex HandlerLock;
TonProcessData ProcessDataHandler{nullptr, nullptr};

uint32_t Clamp(int count) { return static_cast<uint32_t>(std::clamp<int>(count, 0, static_cast<int>(kD2XXBufferSize))); }

}  // namespace

std::recursive_mutex D2XXLock;
d2xx::Handle CurrentHandle = nullptr;
d2xx::Status LastFTStatus = d2xx::kOk;
uint8_t TransmitBuffer[kD2XXBufferSize];
uint8_t ReceiveBuffer[kD2XXBufferSize];
uint8_t AuxBuffer[kD2XXBufferSize];
char ListBuffer[d2xx::kListTextSize];
std::string FTListText;
uint32_t FTDeviceCount = 0;
uint32_t RxBytesWaiting = 0;
uint32_t ModemStatus = 0;
uint32_t BaudRate = 0;
uint8_t WordLength = 0;
uint8_t StopBits = 0;
uint8_t Parity = 0;
uint16_t FlowControl = 0;
std::atomic<bool> MeasureMode{false};

D2XXGuard::D2XXGuard() {
    D2XXLock.lock();
    ++GuardDepth;
}

D2XXGuard::~D2XXGuard() {
    unsigned raise = 0;
    if (--GuardDepth == 0) {
        raise = PendingNotifications;
        PendingNotifications = 0;
    }
    D2XXLock.unlock();
    while (raise-- > 0) RaiseNotification();
}

void SetProcessDataHandler(const TonProcessData& handler) {
    std::lock_guard<std::mutex> g(HandlerLock);
    ProcessDataHandler = handler;
}

TonProcessData GetProcessDataHandler() {
    std::lock_guard<std::mutex> g(HandlerLock);
    return ProcessDataHandler;
}

void RaiseNotification() {
    const TonProcessData handler = GetProcessDataHandler();
    if (!handler.Code) return;
    auto* record = static_cast<pOnChangeData>(std::calloc(1, sizeof(TOnChangeData)));
    if (!record) return;
    record->Flag = 1;
    try {
        handler.Code(handler.Context, &record);
    } catch (...) {
        // A handler's failure must not end the thread that raised it.
    }
}

d2xx::Status GetFTDeviceCount() { return d2xx::DeviceCount(&FTDeviceCount); }

d2xx::Status GetFTDeviceSerialNo(uint32_t Index) {
    d2xx::Status s = d2xx::SerialNumberByIndex(Index, ListBuffer, sizeof ListBuffer);
    if (s == d2xx::kOk) FTListText = ListBufferToText();
    return s;
}

d2xx::Status GetFTDeviceDescription(uint32_t Index) {
    d2xx::Status s = d2xx::DescriptionByIndex(Index, ListBuffer, sizeof ListBuffer);
    if (s == d2xx::kOk) FTListText = ListBufferToText();
    return s;
}

d2xx::Status OpenBySerialNo(const std::string& Serial) {
    TextToListBuffer(Serial);
    return d2xx::OpenBySerialNumber(ListBuffer, &CurrentHandle);
}

d2xx::Status CloseFTDevice() { return d2xx::Close(CurrentHandle); }
d2xx::Status ResetFTDevice() { return d2xx::Reset(CurrentHandle); }
d2xx::Status PurgeTx() { return d2xx::Purge(CurrentHandle, d2xx::kPurgeTx); }
d2xx::Status PurgeRx() { return d2xx::Purge(CurrentHandle, d2xx::kPurgeRx); }
d2xx::Status SetFTBaudRate() { return d2xx::SetBaudRate(CurrentHandle, BaudRate); }

d2xx::Status SetFTDataCharacteristics() {
    return d2xx::SetDataCharacteristics(CurrentHandle, WordLength, StopBits, Parity);
}

d2xx::Status SetFTFlowControl() { return d2xx::SetFlowControl(CurrentHandle, FlowControl, XonChar, XoffChar); }

d2xx::Status SetFTTimeouts(uint32_t ReadMs, uint32_t WriteMs) {
    return d2xx::SetTimeouts(CurrentHandle, ReadMs, WriteMs);
}

d2xx::Status GetFTModemStatus() { return d2xx::GetModemStatus(CurrentHandle, &ModemStatus); }
d2xx::Status GetFTQueueStatus() { return d2xx::GetQueueStatus(CurrentHandle, &RxBytesWaiting); }

int WriteFrame(int Count) {
    uint32_t written = 0;
    LastFTStatus = d2xx::Write(CurrentHandle, TransmitBuffer, Clamp(Count), &written);
    return static_cast<int>(std::min(written, kD2XXBufferSize));
}

int ReadFTBytes(int Count) {
    const uint32_t count = Clamp(Count);
    uint32_t got = 0;
    LastFTStatus = d2xx::Read(CurrentHandle, ReceiveBuffer, count, &got);
    return static_cast<int>(std::min(got, count));
}

d2xx::Status WaitForFTQueue(uint32_t Count, uint32_t Ms) {
    return d2xx::WaitForQueue(CurrentHandle, Count, Ms, &RxBytesWaiting);
}

d2xx::Status WaitForLineData(d2xx::Handle Handle, uint32_t Ms) { return d2xx::WaitForRx(Handle, Ms); }
d2xx::Status CancelLineWait(d2xx::Handle Handle) { return d2xx::CancelWait(Handle); }

void NoteNotification(int Count) {
    // The handler is called when the exchange ends (D2XXGuard), not here: the
    // caller still needs ReceiveBuffer and a handler may start an exchange of its own.
    if (!MeasureMode.load() && FindNotification(Count)) ++PendingNotifications;
}

void NoteNotifications(unsigned Count) {
    if (!MeasureMode.load()) PendingNotifications += Count;
}

int ReadFrames(int Count) {
    const uint32_t count = Clamp(Count);
    const uint32_t got = static_cast<uint32_t>(ReadFTBytes(Count));
    uint32_t result = got;

    // A frame cut in two: read the missing part. Never for the reader's full-size
    // reads, and only when LEN itself came (at least two bytes).
    if (count > 0 && count < kD2XXBufferSize && got >= 2 && ReceiveBuffer[0] == kFrameStart &&
        ReceiveBuffer[got - 1] != kFrameEnd) {
        const uint32_t whole = static_cast<uint32_t>(ReceiveBuffer[1]) + 3;
        if (got < whole) {
            const uint32_t missing = whole - got;
            uint32_t got2 = 0;
            LastFTStatus = d2xx::Read(CurrentHandle, AuxBuffer, missing, &got2);
            got2 = std::min(got2, missing);
            if (got2 > 0 && AuxBuffer[got2 - 1] == kFrameEnd) {
                std::memcpy(ReceiveBuffer + got, AuxBuffer, got2);
                result = got + got2;
            }
        }
    }
    NoteNotification(static_cast<int>(result));
    return static_cast<int>(result);
}

int ReadWaiting() {
    if (GetFTQueueStatus() != d2xx::kOk) return 0;
    const int n = static_cast<int>(std::min(RxBytesWaiting, kD2XXBufferSize));
    if (n == 0) return 0;
    return ReadFTBytes(n);
}

bool FindNotification(int Count) {
    const uint32_t count = Clamp(Count);
    uint32_t pos = 0;
    // Each step needs the start and LEN bytes, then the whole frame, within count.
    while (pos + 1 < count && ReceiveBuffer[pos] == kFrameStart) {
        const uint32_t len = ReceiveBuffer[pos + 1];
        if (pos + len + 3 > count || ReceiveBuffer[pos + len + 2] != kFrameEnd) return false;
        if (len == kNotificationLen && ReceiveBuffer[pos + 2] == kNotificationCmd) {
            ReceiveBuffer[pos + 2] = kNotificationSeen;
            return true;
        }
        pos += len + 3;
    }
    return false;
}

std::string ListBufferToText() {
    ListBuffer[kListTextMax] = '\0';
    return std::string(ListBuffer);
}

void TextToListBuffer(const std::string& Text) {
    const size_t n = std::min(Text.size(), kListTextMax);
    std::memcpy(ListBuffer, Text.data(), n);
    ListBuffer[n] = '\0';
}
