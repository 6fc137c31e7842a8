// Registry of the live device and sensor objects, the objects that clients hold
// as handles. An export reaches an object only through a lease: a handle that
// is not registered (never was, or its object has gone or is going) gives an
// empty lease, and a registered object is not destroyed while a lease on it is
// held, because its destroyer unregisters it first and that waits for the leases.
//
// Handles are the addresses of the TTemplateDevices and TTemplateSensors base
// objects (node Device and Sensor fields hold exactly these).
#pragma once

#include <utility>

class TTemplateDevices;
class TTemplateSensors;

// The moderator registers each device it creates; a device class registers each
// sensor object it creates, as soon as the object exists.
void RegisterDevice(TTemplateDevices* Device);
void RegisterSensor(TTemplateSensors* Sensor);

// Removes the object from the registry (new leases fail at once), then waits
// until every lease on it has been given back; unknown objects return at once.
// Call before the object is destroyed, and not while holding a lock that a
// leaseholder may wait for (a device lock, D2XXLock, a reader's buffer lock,
// the sensor-read lock); DeviceListLock is fine, no export waits for it while
// holding a lease.
void UnregisterDevice(TTemplateDevices* Device);
void UnregisterSensor(TTemplateSensors* Sensor);

// Leases the calling thread holds now. A thread that holds one must not destroy
// the library (it would wait for itself).
int LeasesHeldByThisThread();

namespace handle_registry_detail {
bool Acquire(const void* Object, bool Sensor);
void Release(const void* Object);
}  // namespace handle_registry_detail

// The use of one object for the length of an export.
template <class T>
class THandleLease {
public:
    THandleLease() = default;
    ~THandleLease() { Reset(); }
    THandleLease(THandleLease&& Other) noexcept : Object(std::exchange(Other.Object, nullptr)) {}
    THandleLease& operator=(THandleLease&& Other) noexcept {
        if (this != &Other) {
            Reset();
            Object = std::exchange(Other.Object, nullptr);
        }
        return *this;
    }
    THandleLease(const THandleLease&) = delete;
    THandleLease& operator=(const THandleLease&) = delete;

    explicit operator bool() const { return Object != nullptr; }
    T* get() const { return Object; }
    T* operator->() const { return Object; }
    T& operator*() const { return *Object; }

private:
    template <class U>
    friend THandleLease<U> LeaseHandle(void* Handle, bool Sensor);
    explicit THandleLease(T* Taken) : Object(Taken) {}
    void Reset() {
        if (Object) handle_registry_detail::Release(Object);
        Object = nullptr;
    }
    T* Object = nullptr;
};

template <class U>
THandleLease<U> LeaseHandle(void* Handle, bool Sensor) {
    if (!Handle || !handle_registry_detail::Acquire(Handle, Sensor)) return {};
    return THandleLease<U>(static_cast<U*>(Handle));
}

// Empty for nil, for a handle of no live object of that kind, and for an object
// whose IsDestroying is set.
THandleLease<TTemplateDevices> LeaseDevice(void* Handle);
THandleLease<TTemplateSensors> LeaseSensor(void* Handle);
