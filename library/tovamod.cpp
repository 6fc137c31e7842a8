// The export table of the shared library tovamod. Each export is a thin entry
// into the common frame (uExportFrame.h); the version script tovamod.map keeps
// every other symbol local.
#include <string>

#include "uClientCopies.h"
#include "uD2XX.h"
#include "uExportFrame.h"
#include "uGlobalDev.h"
#include "uTemplateDevices.h"
#include "uTemplateSensors.h"
#include "z5widestring.h"

namespace {

constexpr uint8_t kNoSensorStatus = 3;

// A type code as zero-terminated UTF-16 that outlives the call: the kind
// table's literal, else the calling thread's own copy.
const z5_char16* NameText(const std::u16string& Name) {
    for (const auto& info : DeviceKinds)
        if (info.Name == Name) return info.Name.data();
    thread_local std::u16string other;
    other = Name;
    return other.c_str();
}

}  // namespace

#pragma GCC visibility push(default)
extern "C" {

int32_t tovamod_init(void) { return LibraryInit(); }

int32_t tovamod_uninit(void) { return LibraryUninit(); }

int32_t tovamod_DisplayTracer(uint8_t) {
    return WithModerator(false, -1, -1, [](TModerator&) { return 0; });
}

int32_t tovamod_GetNthAvailableDevice(const z5_char16** Name, int32_t Index) {
    return WithModerator(true, -1, -1, [&](TModerator& moderator) {
        // Count and name under one hold of the list: a scan cannot change it between them.
        std::lock_guard lock(moderator.GetDeviceListLock());
        if (Index < 0 || Index >= moderator.GetDeviceCount()) return -1;
        std::u16string name;
        moderator.GetDeviceName(Index, name);
        if (Name) *Name = NameText(name);
        return 0;
    });
}

int32_t tovamod_GetNumberOfAvailableDevice(void) {
    return WithModerator(true, 0, -1, [](TModerator& moderator) { return moderator.GetDeviceCount(); });
}

void* tovamod_OpenDevice(int32_t Index, int32_t BaudRate, int32_t FlowControl, int32_t* MaxSensors) {
    return WithModerator<void*>(true, nullptr, nullptr, [&](TModerator& moderator) -> void* {
        std::lock_guard lock(moderator.GetDeviceListLock());
        if (Index > moderator.GetDeviceCount()) return nullptr;
        const int32_t maxSensors = moderator.GetDeviceMaxSensors(Index);
        if (MaxSensors) *MaxSensors = maxSensors;
        moderator.OpenDeviceByIndex(Index, BaudRate, FlowControl);
        return moderator.GetDeviceObject(Index);
    });
}

int32_t tovamod_CloseDevice(void* Device) {
    return WithDevice(Device, -1, [](TTemplateDevices& device) { return device.CloseDevice(); });
}

int32_t tovamod_OpenSensor(void* Device, int32_t BaudRate, int32_t FlowControl, int32_t Index, void** Sensor,
                           uint8_t* Status) {
    auto fail = [&] {
        if (Status) *Status = kNoSensorStatus;
    };
    return WithDevice(
        Device, -1,
        [&](TTemplateDevices& device) {
            if (device.GetSensorCount() < Index) {
                fail();
                return -1;
            }
            TTemplateSensors* sensor = device.GetSensor(Index);
            device.OpenDevice(BaudRate, FlowControl);
            if (Sensor) *Sensor = sensor;
            if (Status) *Status = sensor ? sensor->GetKind() : kNoSensorStatus;
            return 0;
        },
        fail);
}

int32_t tovamod_CloseSensor(void*) { return -1; }

void tovamod_getProcessData(const TonProcessData* Handler) {
    if (!Handler) return;
    try {
        SetProcessDataHandler(Handler->Code ? *Handler : TonProcessData{nullptr, nullptr});
    } catch (...) {
    }
}

void tovamod_DeactivateDevicesIdentification(void) {
    WithModerator(true, [](TModerator& moderator) { moderator.SetIdentificationActive(0); });
}

void tovamod_ActivateDevicesIdentification(void) {
    WithModerator(true, [](TModerator& moderator) { moderator.SetIdentificationActive(1); });
}

THardwareStructure* tovamod_GetHardwareStructure(void) {
    THardwareStructure* copy = WithModerator<THardwareStructure*>(
        false, nullptr, nullptr, [](TModerator& moderator) { return moderator.CopyHardwareStructure(); });
    return KeepHardwareCopy(copy);
}

void tovamod_SetHardwareStructureProcessed(uint8_t Processed) {
    WithModerator(false, [&](TModerator& moderator) { moderator.SetHardwareStructureProcessed(Processed); });
}

uint8_t tovamod_GetRefreshingRecordStructure(void) {
    return WithModerator<uint8_t>(false, 0, 0,
                                  [](TModerator& moderator) { return moderator.GetRefreshingRecordStructure(); });
}

uint8_t tovamod_DevicesInMeasureMode(void) { return MeasureMode.load() ? 1 : 0; }

TZ5_HardLock_Networks* tovamod_GetZ5NetsFileStructure(void) {
    TZ5_HardLock_Networks* copy = WithModerator<TZ5_HardLock_Networks*>(
        false, nullptr, nullptr, [](TModerator& moderator) { return moderator.GetNetworksCopy(); });
    return KeepNetworksCopy(copy);
}

void tovamod_SetZ5NetsFileStructure(const TZ5_HardLock_Networks* Tree) {
    WithModerator(false, [&](TModerator& moderator) { moderator.SaveNetworks(Tree); });
}

void tovamod_GetDescriptionActiveNet(uint8_t* Exists, z5_char16** Description) {
    WithModerator(false, [&](TModerator& moderator) {
        uint8_t exists = 0;
        std::u16string description;
        moderator.GetDescriptionActiveNet(exists, description);
        z5_char16* text = nullptr;
        if (!description.empty()) {
            text = z5::WideAlloc(description);
            if (!text) return;
        }
        if (Exists) *Exists = exists;
        if (Description) {
            z5_wstr_free(*Description);
            *Description = text;
        } else {
            z5_wstr_free(text);
        }
    });
}

}  // extern "C"
#pragma GCC visibility pop
