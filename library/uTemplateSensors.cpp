#include "uTemplateSensors.h"

#include <algorithm>

#include "uHandleRegistry.h"


std::u16string TTemplateSensors::GetName() { return {}; }

int64_t TTemplateSensors::GetNumMeasureAvailable() {
    std::lock_guard lock(QueueLock);
    return QueueCount;
}

int32_t TTemplateSensors::GetChannelCount() { return -1; }
int32_t TTemplateSensors::GetSamplePeriod1() { return -1; }
void TTemplateSensors::SetSamplePeriod1(int32_t) {}
int32_t TTemplateSensors::GetSamplePeriod2() { return -1; }
void TTemplateSensors::SetSamplePeriod2(int32_t) {}
int32_t TTemplateSensors::GetParam20() { return -1; }
int64_t TTemplateSensors::GetDeviceParam4() { return -1; }
void TTemplateSensors::SetParam20(int32_t) {}
void TTemplateSensors::SetChannelCount(int32_t) {}

void TTemplateSensors::BeginDestruction() {
    if (DestructionBegun) return;
    DestructionBegun = true;
    IsDestroying.store(true);
    // Waits until no export holds the sensor (nothing when it was never registered or
    // its device unregistered it already); the parser no longer reaches it by then.
    UnregisterSensor(this);
}

TTemplateSensors::~TTemplateSensors() {
    BeginDestruction();
    ClearMeasurements();
    // No thread may still be inside a lock when it goes.
    { std::lock_guard lock(QueueLock); }
    { std::lock_guard lock(AddressLock); }
}

int32_t TTemplateSensors::ReadRawMeasurement(int64_t* Time, int32_t Count, int32_t* Values) {
    if (IsDestroying.load()) return -1;
    if (!Time || (!Values && Count > 0)) return -1;
    TMeasuringList* head;
    {
        std::lock_guard lock(QueueLock);
        if (QueueCount == 0 || !QueueHead) return -1;
        head = QueueHead;
        *Time = head->Value.Time;
        const size_t n = std::min(static_cast<size_t>(std::max(Count, 0)), head->Value.Values.size());
        std::copy_n(head->Value.Values.begin(), n, Values);
        QueueHead = head->Next;
        if (!QueueHead) QueueTail = nullptr;
        --QueueCount;
    }
    delete head;
    return 0;
}

int32_t TTemplateSensors::ReadLatestMeasurement(int32_t, int32_t*, int32_t) { return -1; }
int32_t TTemplateSensors::SetRtcuParam(int32_t, int32_t, int32_t) { return -1; }
int64_t TTemplateSensors::GetRtcuParam(int32_t) { return -1; }
std::u16string TTemplateSensors::GetMACExtAddr() { return {}; }
int32_t TTemplateSensors::GetRTCUParams(TRTCUParam*) { return -1; }
int32_t TTemplateSensors::SetRcuParam(int32_t, int32_t, int32_t) { return -1; }
int64_t TTemplateSensors::GetRcuParam(int32_t) { return -1; }
int32_t TTemplateSensors::SetEEPROMData(int32_t, int32_t, int64_t) { return -1; }
int32_t TTemplateSensors::SetEEPROMDataCal(int32_t, float) { return -1; }
int32_t TTemplateSensors::SetEEPROMDataTrim(int32_t, float) { return -1; }
int64_t TTemplateSensors::GetSUParam(int32_t) { return -1; }
int32_t TTemplateSensors::GetEEPROMData(int32_t, TSensorEEPROMData*, float*, float*) { return -1; }
int32_t TTemplateSensors::SetRange(int32_t, int32_t) { return -1; }
int32_t TTemplateSensors::GetRange(int32_t) { return -1; }
int32_t TTemplateSensors::SetCommand(int32_t, int32_t) { return -1; }
int32_t TTemplateSensors::SetValueToZero(int32_t) { return -1; }

void TTemplateSensors::AddMeasurement(int32_t Count, std::span<const int32_t> Values, int64_t Time) {
    if (IsDestroying.load()) return;
    const size_t n = std::min(static_cast<size_t>(std::max(Count, 0)), Values.size());
    auto* node = new TMeasuringList{{Time, IntArray(Values.begin(), Values.begin() + n)}, nullptr};
    {
        std::lock_guard lock(QueueLock);
        // Tested again under the lock: destruction clears the queue under it
        // after setting the flag, so nothing is queued behind the clear.
        if (!IsDestroying.load()) {
            if (!QueueHead) QueueHead = node;
            else QueueTail->Next = node;
            QueueTail = node;
            ++QueueCount;
            node = nullptr;
        }
    }
    delete node;
}

void TTemplateSensors::ClearMeasurements() {
    TMeasuringList* node;
    {
        std::lock_guard lock(QueueLock);
        node = QueueHead;
        QueueHead = nullptr;
        QueueTail = nullptr;
        QueueCount = 0;
    }
    while (node) {
        TMeasuringList* next = node->Next;
        delete node;
        node = next;
    }
}

int32_t TTemplateSensors::GetAddress() const {
    std::lock_guard lock(AddressLock);
    return Address;
}

void TTemplateSensors::SetAddress(int32_t Value) {
    std::lock_guard lock(AddressLock);
    Address = Value;
}

void TTemplateSensors::SetIsDestroying(bool Value) {
    if (Value) IsDestroying.store(true);
}

std::u16string TTemplateSensors::GetMACText() const {
    std::lock_guard lock(AddressLock);
    return MACText;
}

void TTemplateSensors::SetMACText(const std::u16string& Value) {
    std::lock_guard lock(AddressLock);
    MACText = Value;
}
