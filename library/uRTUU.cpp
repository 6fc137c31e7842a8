#include "uRTUU.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <typeinfo>

#include "uD2XX.h"
#include "uHandleRegistry.h"
#include "uSensorRTCU.h"

std::atomic<bool> DevicesBusy{false};

namespace {

constexpr int32_t kIdentity18 = 18;

// DevicesBusy for the length of a scope, cleared on every path.
class TDevicesBusy {
public:
    TDevicesBusy() { DevicesBusy.store(true); }
    ~TDevicesBusy() { DevicesBusy.store(false); }
    TDevicesBusy(const TDevicesBusy&) = delete;
    TDevicesBusy& operator=(const TDevicesBusy&) = delete;
};

constexpr uint32_t kLineTimeoutMs = 100;

}  // namespace

uint32_t CountBits(const uint8_t* Buffer, uint32_t Length) {
    static constexpr uint8_t kNibbleBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    uint32_t n = 0;
    for (uint32_t i = 0; i < Length; ++i) n += kNibbleBits[Buffer[i] & 0x0F] + kNibbleBits[Buffer[i] >> 4];
    return n;
}

uint32_t CountBits32(uint32_t Value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8),
                              static_cast<uint8_t>(Value >> 16), static_cast<uint8_t>(Value >> 24)};
    return CountBits(bytes, 4);
}

// ---- life cycle ----

TRTUU::TRTUU() {
    NodeAddresses.fill(-1);
    Reader = std::make_unique<TFtdiDevice>();
    Reader->SetOwnerDevice(&ReaderOwner);
    Reader->SetAsciiMode(false);
    Reader->ClearLastValues();
    Reader->ResumeThreads();
}

TRTUU::~TRTUU() {
    SetOnSensorAllowed(nullptr);
    IsDestroying.store(true);
    // Once the close has its D2XXLock, no exchange of this object runs any more;
    // exports cannot reach it (the moderator unregisters it first, which waits for them).
    TRTUU::CloseDevice();
    // From here the parser no longer asks this object for sensors.
    Reader->SetOwnerDevice(nullptr);
    FreeAllSensors();
    Reader.reset();  // stops the reader thread, then the parser thread
    { std::lock_guard lock(DeviceLock); }
}

int32_t TRTUU::GetReaderPending() { return static_cast<int32_t>(Reader->GetPendingCount()); }

int32_t TRTUU::GetTyp() { return IsDestroying.load() ? -1 : 2; }

void TRTUU::GetName(std::u16string& Name) { Name = IsDestroying.load() ? u"" : u"RTUU"; }

void TRTUU::SetSerialNo(const std::string& Value) {
    if (IsDestroying.load()) return;
    std::lock_guard lock(TextLock);
    SerialNo = Value;
}

std::string TRTUU::GetSerialNo() {
    if (IsDestroying.load()) return {};
    std::lock_guard lock(TextLock);
    return SerialNo;
}

d2xx::Handle TRTUU::GetHandle() { return FTHandle.load(); }

// ---- line ----

int32_t TRTUU::OpenDevice(int32_t BaudRate, int32_t FlowControl) {
    if (IsDestroying.load()) return -1;
    D2XXGuard guard;
    d2xx::Handle handle = nullptr;
    const int32_t r = SetLineSettings(GetSerialNo(), BaudRate, d2xx::kBits8, d2xx::kStopBits1, d2xx::kParityNone,
                                      static_cast<uint16_t>(FlowControl), handle);
    return r;
}

int32_t TRTUU::SetLineSettings(const std::string& Serial, int32_t Baud, uint8_t Word, uint8_t Stop, uint8_t Par,
                               uint16_t Flow, d2xx::Handle& Handle) {
    D2XXGuard guard;
    if (GetFTDeviceCount() != d2xx::kOk || FTDeviceCount == 0) return -1;
    if (OpenBySerialNo(Serial) != d2xx::kOk) return -1;
    ::BaudRate = static_cast<uint32_t>(Baud);
    ::WordLength = Word;
    ::StopBits = Stop;
    ::Parity = Par;
    ::FlowControl = Flow;
    ResetFTDevice();
    SetFTBaudRate();
    SetFTDataCharacteristics();
    SetFTFlowControl();
    SetFTTimeouts(kLineTimeoutMs, kLineTimeoutMs);
    Handle = CurrentHandle;
    FTHandle.store(CurrentHandle);
    LineOpen.store(true);
    Reader->SetFTHandle(CurrentHandle);
    return 0;
}

int32_t TRTUU::CloseDevice() {
    D2XXGuard guard;
    if (!LineOpen.exchange(false)) return static_cast<int32_t>(d2xx::kInvalidHandle);
    // The reader must not poll a handle that the layer may hand out again.
    Reader->SetFTHandle(nullptr);
    CurrentHandle = FTHandle.load();
    return static_cast<int32_t>(CloseFTDevice());
}

int32_t TRTUU::Identify(d2xx::Handle Handle, int64_t& OwnAddress) {
    if (IsDestroying.load()) return 0;
    {
        D2XXGuard guard;
        CurrentHandle = Handle;
    }
    if (Reader->IsActive()) return -1;
    OwnAddress = GetRTUUParam(4);
    // A failed read (-1) is no address either.
    OwnAddressValid.store(OwnAddress != 0xFFFF && OwnAddress != -1);
    return static_cast<int32_t>(GetRTUUParam(11));
}

// ---- sensor tables ----

int32_t TRTUU::GetSensorCount() {
    if (IsDestroying.load()) return 0;
    std::lock_guard device(DeviceLock);
    std::lock_guard buffer(Reader->BufferLock());
    return static_cast<int32_t>(Sensors.size());
}

int32_t TRTUU::GetMaxSensors() { return GetSensorCount(); }

TTemplateSensors* TRTUU::GetSensor(int32_t Index) {
    if (IsDestroying.load()) return nullptr;
    std::lock_guard device(DeviceLock);
    std::lock_guard buffer(Reader->BufferLock());
    if (Index < 0) throw std::out_of_range("list index out of bounds (" + std::to_string(Index) + ")");
    return static_cast<size_t>(Index) < Sensors.size() ? Sensors[static_cast<size_t>(Index)] : nullptr;
}

TTemplateSensors* TRTUU::FindSensorByAddress(int32_t Address) {
    if (IsDestroying.load()) return nullptr;
    std::lock_guard device(DeviceLock);
    std::lock_guard buffer(Reader->BufferLock());
    return FindSensorByAddressUnderBufferLock(Address);
}

TTemplateSensors* TRTUU::FindSensorByAddressUnderBufferLock(int32_t Address) {
    if (OneSensorForEveryAddress.load()) return Sensors.empty() ? nullptr : Sensors.front();
    for (TTemplateSensors* s : SensorSlots)
        if (s && s->GetAddress() == Address) return s;
    return nullptr;
}

TTemplateSensors* TRTUU::GetSensorUnderBufferLock(int32_t Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= Sensors.size()) return nullptr;
    return Sensors[static_cast<size_t>(Index)];
}

bool TRTUU::IsIdentity18(TTemplateSensors* Sensor) {
    if (!Sensor || typeid(*Sensor) != typeid(TSensorsRTCU)) return false;
    return static_cast<TSensorsRTCU*>(Sensor)->GetIdentity() == kIdentity18;
}

bool TRTUU::AddSensor(TTemplateSensors* Sensor) {
    if (!Sensor) return false;
    // Known to the registry before any client can find it.
    RegisterSensor(Sensor);
    bool added = false;
    try {
        std::lock_guard device(DeviceLock);
        std::lock_guard buffer(Reader->BufferLock());
        // A free slot, never one of a sensor still present: each stays findable by address.
        const auto slot = std::find(SensorSlots.begin(), SensorSlots.end(), nullptr);
        if (slot != SensorSlots.end()) {
            Sensors.push_back(Sensor);
            *slot = Sensor;
            added = true;
        }
    } catch (...) {
        UnregisterSensor(Sensor);
        throw;
    }
    if (!added) UnregisterSensor(Sensor);
    return added;
}

void TRTUU::DestroySensor(TTemplateSensors* Sensor) {
    try {
        UnregisterSensor(Sensor);
        Sensor->SetIsDestroying(true);
        delete Sensor;
    } catch (...) {
        // A sensor that fails to go must not keep the others.
    }
}

bool TRTUU::RemoveSensor(TTemplateSensors* Sensor, uint8_t) {
    if (!Sensor) return false;
    TDevicesBusy busy;
    bool found = false;
    try {
        {
            std::lock_guard device(DeviceLock);
            std::lock_guard buffer(Reader->BufferLock());
            const auto slot = std::find(SensorSlots.begin(), SensorSlots.end(), Sensor);
            if (slot != SensorSlots.end()) *slot = nullptr;
            const auto it = std::find(Sensors.rbegin(), Sensors.rend(), Sensor);
            if (it != Sensors.rend()) {
                Sensors.erase(std::next(it).base());
                found = true;
            }
        }
        // Once BufferLock has been let go the parser holds no reference to it; freed
        // outside the locks, so its destruction wait stalls neither reader nor requests.
        if (found) DestroySensor(Sensor);
    } catch (...) {
    }
    return found;
}

void TRTUU::FreeAllSensors() {
    TDevicesBusy busy;
    std::vector<TTemplateSensors*> taken;
    try {
        {
            std::lock_guard device(DeviceLock);
            std::lock_guard buffer(Reader->BufferLock());
            taken.swap(Sensors);
            SensorSlots.fill(nullptr);
        }
        // Both kinds, the last added first.
        for (auto it = taken.rbegin(); it != taken.rend(); ++it)
            if (*it) DestroySensor(*it);
    } catch (...) {
    }
}

// ---- settings ----

void TRTUU::SetOnSensorAllowed(TSensorAllowedEvent Event) {
    std::lock_guard lock(TextLock);
    OnSensorAllowed = std::move(Event);
}

bool TRTUU::SensorAllowed(const std::string& SensorMAC, const std::string& Own) {
    TSensorAllowedEvent event;
    {
        std::lock_guard lock(TextLock);
        event = OnSensorAllowed;
    }
    return event && event(SensorMAC, Own);
}

void TRTUU::SetOwnMAC(const std::string& Value) {
    std::lock_guard lock(TextLock);
    OwnMAC = Value;
}

std::string TRTUU::GetOwnMAC() {
    std::lock_guard lock(TextLock);
    return OwnMAC;
}

void TRTUU::SetReaderTimeBase(uint32_t Value) { Reader->SetTimeBase(Value); }
