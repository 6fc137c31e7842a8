#include "uHandleRegistry.h"

#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include "uTemplateDevices.h"
#include "uTemplateSensors.h"

namespace {

struct TEntry {
    bool Sensor = false;
    bool Gone = false;  // unregistered; the destroyer waits for Uses to reach 0
    int Uses = 0;
};

std::mutex RegistryLock;
std::condition_variable LeaseReturned;
std::unordered_map<const void*, TEntry> Objects;
thread_local int ThreadLeases = 0;

void Register(const void* Object, bool Sensor) {
    if (!Object) return;
    std::lock_guard lock(RegistryLock);
    Objects[Object] = TEntry{Sensor, false, 0};
}

void Unregister(const void* Object) {
    if (!Object) return;
    std::unique_lock lock(RegistryLock);
    auto it = Objects.find(Object);
    if (it == Objects.end() || it->second.Gone) return;
    // Elements keep their address when the map rehashes; iterators do not.
    TEntry& entry = it->second;
    entry.Gone = true;
    LeaseReturned.wait(lock, [&] { return entry.Uses == 0; });
    Objects.erase(Object);
}

}  // namespace

namespace handle_registry_detail {

bool Acquire(const void* Object, bool Sensor) {
    std::lock_guard lock(RegistryLock);
    auto it = Objects.find(Object);
    if (it == Objects.end() || it->second.Gone || it->second.Sensor != Sensor) return false;
    ++it->second.Uses;
    ++ThreadLeases;
    return true;
}

void Release(const void* Object) {
    bool wake = false;
    {
        std::lock_guard lock(RegistryLock);
        auto it = Objects.find(Object);
        if (it == Objects.end()) return;
        --ThreadLeases;
        wake = --it->second.Uses == 0 && it->second.Gone;
    }
    if (wake) LeaseReturned.notify_all();
}

}  // namespace handle_registry_detail

void RegisterDevice(TTemplateDevices* Device) { Register(Device, false); }
void RegisterSensor(TTemplateSensors* Sensor) { Register(Sensor, true); }
void UnregisterDevice(TTemplateDevices* Device) { Unregister(Device); }
void UnregisterSensor(TTemplateSensors* Sensor) { Unregister(Sensor); }

int LeasesHeldByThisThread() { return ThreadLeases; }

THandleLease<TTemplateDevices> LeaseDevice(void* Handle) {
    auto lease = LeaseHandle<TTemplateDevices>(Handle, false);
    if (lease && lease->IsDestroying.load()) return {};
    return lease;
}

THandleLease<TTemplateSensors> LeaseSensor(void* Handle) {
    auto lease = LeaseHandle<TTemplateSensors>(Handle, true);
    if (lease && lease->GetIsDestroying()) return {};
    return lease;
}
