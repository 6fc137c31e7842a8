#include "uFtdiDevice.h"

#include <algorithm>

#include "uD2XX.h"
#include "uFtdiThread.h"
#include "uGlobalDev.h"
#include "uTemplateSensors.h"
#include "z5clock.h"

namespace {
TTemplateSensors* Sensor(void* sensor) { return static_cast<TTemplateSensors*>(sensor); }
}  // namespace

TFtdiDevice::TFtdiDevice()
    : Parser(this),
      ParserThread(std::make_unique<TFtdiThread>([this] {
          WaitForWork();
          ParseReceived();
      })),
      ReaderThread(std::make_unique<TFtdiThread>([this] { ReadStep(); })) {}

TFtdiDevice::~TFtdiDevice() {
    {
        std::lock_guard g(IdleLock);
        Stopping.store(true);
    }
    WorkArrived.notify_all();
    LineSet.notify_all();
    if (const d2xx::Handle line = FTHandle.load()) CancelLineWait(line);
    ReaderThread->Terminate();
    ParserThread->Terminate();
    // No client thread may still be inside the lock.
    std::lock_guard g(Lock_);
    ReceiveStream.clear();
}

void TFtdiDevice::ResumeThreads() {
    ReaderThread->Resume();
    ParserThread->Resume();
}

bool TFtdiDevice::ThreadsRunning() const { return ReaderThread->Running() && ParserThread->Running(); }

bool TFtdiDevice::IsActive() const { return Active.load(); }

void TFtdiDevice::SetActive(bool value) {
    {
        std::lock_guard g(Lock_);
        Active.store(value);
        Parser.SetHoldNotification(value);
    }
    if (value) WakeParser();
}

void TFtdiDevice::SetHoldNotification(bool value) {
    std::lock_guard g(Lock_);
    Parser.SetHoldNotification(value);
}

void TFtdiDevice::ClearReceived() { SetPendingCount(0); }

uint32_t TFtdiDevice::GetPendingCount() const { return PendingCount.load(); }

uint64_t TFtdiDevice::GetDroppedCount() const { return DroppedCount.load(); }

void TFtdiDevice::SetPendingCount(uint32_t value) {
    std::lock_guard g(Lock_);
    if (value < ReceiveStream.size()) ReceiveStream.resize(value);
    PendingCount.store(static_cast<uint32_t>(ReceiveStream.size()));
}

void TFtdiDevice::SetOwnerDevice(IReaderOwner* owner) {
    std::lock_guard g(Lock_);
    OwnerDevice = owner;
}

void TFtdiDevice::SetTimeBase(uint32_t value) {
    std::lock_guard g(Lock_);
    Parser.SetTimeBase(value);
}

void TFtdiDevice::SetAsciiMode(bool value) {
    std::lock_guard g(Lock_);
    Parser.SetAsciiMode(value);
}

void TFtdiDevice::SetAsciiChannelCount(int32_t value) {
    std::lock_guard g(Lock_);
    Parser.SetAsciiChannelCount(value);
}

bool TFtdiDevice::IsReaderPaused() const { return ReaderPaused.load(); }
void TFtdiDevice::SetReaderPaused(bool value) { ReaderPaused.store(value); }

std::recursive_mutex& TFtdiDevice::BufferLock() { return Lock_; }

void TFtdiDevice::ClearLastValues() {
    std::lock_guard g(Lock_);
    Parser.ClearLastValues();
}

void TFtdiDevice::StartReceiving() {
    std::lock_guard g(Lock_);
    ReceiveStream.clear();
    PendingCount.store(0);
    Parser.Reset();
    ShortFrameNotifications = 0;
    Active.store(true);
    Parser.SetHoldNotification(true);
}

void TFtdiDevice::SetFTHandle(d2xx::Handle handle) {
    {
        std::lock_guard g(IdleLock);
        FTHandle.store(handle);
    }
    LineSet.notify_all();
}
d2xx::Handle TFtdiDevice::GetFTHandle() const { return FTHandle.load(); }

void TFtdiDevice::ReadStep() {
    if (ReaderPaused.load()) return;
    const d2xx::Handle line = FTHandle.load();
    if (!line) {
        std::unique_lock g(IdleLock);
        LineSet.wait_for(g, z5::Scaled(kIdleWaitMs), [this] { return Stopping.load() || FTHandle.load(); });
        return;
    }
    // Without any lock: requests keep the line meanwhile, and a quiet line costs nothing.
    WaitForLineData(line, kIdleWaitMs);
    if (Stopping.load()) return;
    // The guard raises a notification that ReadFrames found once D2XXLock is let go.
    D2XXGuard d2xx;
    // Tested again under the lock: once a pause is set, no read starts between the
    // pausing thread's exchanges.
    if (ReaderPaused.load()) return;
    CurrentHandle = FTHandle.load();
    if (!CurrentHandle) return;
    TakeWaiting();
}

namespace {
// Counts the notification frames that a read completes.
class TNotificationCount : public TLineFrames::ISink {
public:
    void Frame(std::span<const uint8_t> Frame, bool) override {
        if (TLineFrames::IsNotification(Frame)) ++Found;
    }
    void Stray(std::span<const uint8_t>) override {}
    unsigned Found = 0;
};
}  // namespace

void TFtdiDevice::TakeWaiting() {
    const int n = ReadWaiting();
    if (n <= 0) return;
    const std::span<const uint8_t> bytes(ReceiveBuffer, static_cast<size_t>(n));
    TNotificationCount count;
    Frames.Feed(bytes, count);
    NoteNotifications(count.Found);
    HandOn(bytes);
}

void TFtdiDevice::HandOn(std::span<const uint8_t> Bytes) {
    if (Bytes.empty()) return;
    std::lock_guard g(Lock_);
    Append(Bytes.data(), Bytes.size());
}

void TFtdiDevice::Append(const uint8_t* Bytes, size_t Count) {
    ReceiveStream.insert(ReceiveStream.end(), Bytes, Bytes + Count);
    if (ReceiveStream.size() > kReceiveStreamLimit) {
        const size_t over = ReceiveStream.size() - kReceiveStreamLimit;
        ReceiveStream.erase(ReceiveStream.begin(), ReceiveStream.begin() + static_cast<std::ptrdiff_t>(over));
        DroppedCount += over;
    }
    PendingCount.store(static_cast<uint32_t>(ReceiveStream.size()));
    if (Active.load()) WakeParser();
}

void TFtdiDevice::WakeParser() {
    // Taken so that the wake cannot fall between the parser's test and its wait.
    { std::lock_guard g(IdleLock); }
    WorkArrived.notify_one();
}

void TFtdiDevice::WaitForWork() {
    std::unique_lock g(IdleLock);
    WorkArrived.wait_for(g, z5::Scaled(kIdleWaitMs),
                         [this] { return Stopping.load() || (PendingCount.load() > 0 && Active.load()); });
}

void TFtdiDevice::ParseReceived() {
    if (PendingCount.load() == 0 || !Active.load()) return;
    unsigned notifications = 0;
    {
        std::lock_guard g(Lock_);
        if (!Active.load()) return;
        ShortFrameNotifications = 0;
        try {
            Parser.Parse(ReceiveStream);
        } catch (...) {
            // The rest of the batch is dropped with the stream below.
        }
        ReceiveStream.clear();
        PendingCount.store(0);
        notifications = ShortFrameNotifications;
        ShortFrameNotifications = 0;
    }
    // Raised without any lock held: a handler may call back into the library.
    while (notifications-- > 0) ::RaiseNotification();
}

void* TFtdiDevice::FindSensorByAddress(int32_t address) {
    return OwnerDevice ? OwnerDevice->FindSensorByAddressUnderBufferLock(address) : nullptr;
}

void* TFtdiDevice::GetSensor(int32_t index) {
    return OwnerDevice ? OwnerDevice->GetSensorUnderBufferLock(index) : nullptr;
}

int32_t TFtdiDevice::GetChannelCount(void* sensor) { return Sensor(sensor)->GetChannelCount(); }

bool TFtdiDevice::IsIdentity18(void* sensor) {
    return OwnerDevice && OwnerDevice->IsIdentity18(Sensor(sensor));
}

int32_t TFtdiDevice::GetSamplePeriod2(void* sensor) { return Sensor(sensor)->GetSamplePeriod2(); }

void TFtdiDevice::AddMeasurement(void* sensor, std::span<const int32_t> values, int64_t time) {
    Sensor(sensor)->AddMeasurement(static_cast<int32_t>(values.size()), values, time);
}

int32_t TFtdiDevice::GetSensorCountSum() { return SensorCountSum.load(); }

// Also during a measurement: a radio base's reader parses only while one runs.
void TFtdiDevice::RaiseNotification() { ++ShortFrameNotifications; }
