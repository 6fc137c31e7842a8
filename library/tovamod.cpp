// The export table of the shared library tovamod. Each export is a thin entry
// into the common frame (uExportFrame.h); the version script tovamod.map keeps
// every other symbol local.
#include <string>

#include "uClientCopies.h"
#include "uD2XX.h"
#include "uExportFrame.h"
#include "uGlobalDev.h"
#include "uRTUU.h"
#include "uTemplateDevices.h"
#include "uTemplateSensors.h"
#include "z5widestring.h"

namespace {

constexpr uint8_t kNoSensorStatus = 3;
constexpr std::u16string_view kNoMAC16 = u"FFFFFFFFFFFFFFFF";
constexpr int32_t kSamplePeriod1Param = 8, kSamplePeriod2Param = 9;
constexpr uint8_t kOwnRadioUnitKind = 1;     // the base's own radio unit (TSensorsRCU)
constexpr uint8_t kRemoteRadioUnitKind = 0;  // a remote radio sensor unit (TSensorsRTCU)

// The sensor kinds that choose between the two parameter paths: the kind byte
// tells the base's own radio unit (1) from a remote unit (0).
bool IsOwnRadioUnit(const TTemplateSensors& Sensor) { return Sensor.GetKind() == kOwnRadioUnitKind; }
bool IsRemoteRadioUnit(const TTemplateSensors& Sensor) { return Sensor.GetKind() == kRemoteRadioUnitKind; }

// Stores a new shared wide string in the caller's variable, releasing what it
// held; when no string can be made the variable is left alone.
void AssignWide(z5_char16** Variable, std::u16string_view Text) {
    if (!Variable) return;
    z5_char16* text = z5::WideAlloc(Text);
    if (!text) return;
    z5_wstr_free(*Variable);
    *Variable = text;
}

// A text handed out through a pointer: the calling thread's copy, valid until
// the same thread calls the same export again.
template <class Tag, class Text>
const typename Text::value_type* KeepText(Text Value) {
    thread_local Text kept;
    kept = std::move(Value);
    return kept.c_str();
}
struct TSensorNameTag {};
struct TVersionTag {};

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

// ---- devices ----

int32_t tovamod_Device_SendCmdAndGetResponse(void* Device, const char* Cmd, int32_t Reply) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) { return device.SendCmdAndGetResponse(Cmd, Reply); });
}

int32_t tovamod_Device_SetRTUUParam(void* Device, int32_t Param, int32_t Size, int32_t Value) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) { return device.SetRTUUParam(Param, Size, Value); });
}

int32_t tovamod_Device_GetRTUUParam(void* Device, int32_t Param) {
    return WithDevice(Device, -1,
                      [&](TTemplateDevices& device) { return static_cast<int32_t>(device.GetRTUUParam(Param)); });
}

int32_t tovamod_Device_GetRTUUParams(void* Device, TRTUUParams* P) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) { return device.GetRTUUParams(P); });
}

int32_t tovamod_Device_GetVersion(void* Device, const char** Version) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) {
        std::string version = device.GetVersion();
        if (Version) *Version = KeepText<TVersionTag>(std::move(version));
        return 0;
    });
}

int32_t tovamod_Device_GetDLUFileData(void* Device, TDLUFileInfo* P) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) { return device.GetDLUFileData(P); });
}

int32_t tovamod_Device_GetDLUValues(void* Device, TDLUFileInfo* P, int32_t Index) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) { return device.GetDLUValues(P, Index); });
}

int32_t tovamod_Device_Update_Start(void* Device, int32_t Address, int32_t NewFirmware, int32_t PartIndex,
                                    int32_t PartCount, int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                                    const uint8_t* HardwareList) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) {
        return device.UpdateStart(Address, NewFirmware, PartIndex, PartCount, FileSize, DeviceClass, HardwareCount,
                                  HardwareList);
    });
}

int32_t tovamod_Device_Update_Finish(void* Device, int32_t Address, int32_t CheckValue) {
    return WithDevice(Device, -1, [&](TTemplateDevices& device) {
        return device.UpdateFinish(Address, static_cast<uint32_t>(CheckValue));
    });
}

int32_t tovamod_Device_Update(void* Device, int32_t Address, int32_t Unused, FirmwareStream* const* Stream) {
    return WithDevice(Device, -1,
                      [&](TTemplateDevices& device) { return device.UpdateBlocks(Address, Unused, Stream); });
}

void tovamod_Device_GetMACExtAddr(void* Device, z5_char16** Addr) {
    std::u16string mac(kNoMAC16);
    WithDevice(Device, 0, [&](TTemplateDevices& device) {
        if (auto* base = dynamic_cast<TRTUU*>(&device)) mac = z5::Latin1ToUtf16(base->GetMACExtAddr(0, false));
        return 0;
    });
    AssignWide(Addr, mac);
}

// ---- sensors ----

int32_t tovamod_Sensor_SetSamplePeriode(void* Sensor, int32_t Mode, int32_t Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) {
        // The period is kept (and the parser's time base moved) only once the
        // device has taken it: a refused write reads as a failure.
        switch (Mode) {
            case 1:
                if (sensor.SetRtcuParam(kSamplePeriod1Param, 2, Value) == -1) return -1;
                sensor.SetSamplePeriod1(Value);
                return sensor.GetSamplePeriod1();
            case 2:
                if (sensor.SetRtcuParam(kSamplePeriod2Param, 4, Value) == -1) return -1;
                sensor.SetSamplePeriod2(Value);
                return sensor.GetSamplePeriod2();
            default:
                return -1;  // no such period: nothing is sent
        }
    });
}

int64_t tovamod_Sensor_GetNumMeasureAvailable(void* Sensor) {
    return WithSensor(Sensor, int64_t{-1}, [](TTemplateSensors& sensor) { return sensor.GetNumMeasureAvailable(); });
}

int32_t tovamod_Sensor_ReadRawMeasurement(void* Sensor, int64_t* Time, int32_t Count, int32_t* Values) {
    return WithSensor(Sensor, -1,
                      [&](TTemplateSensors& sensor) { return sensor.ReadRawMeasurement(Time, Count, Values); });
}

int32_t tovamod_Sensor_ReadLatestMeasurement(void* Sensor, int32_t Count, int32_t* Values, int32_t Mode) {
    // One such read at a time in the whole library; the handle is tested inside the lock.
    return WithModerator(true, -1, -1, [&](TModerator& moderator) {
        std::lock_guard lock(moderator.CriticalSectionAccessObjs());
        return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) {
            return sensor.ReadLatestMeasurement(Count, Values, Mode);
        });
    });
}

int32_t tovamod_Sensor_SetRtcuParam(void* Sensor, int32_t Param, int32_t Size, int32_t Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) {
        return IsOwnRadioUnit(sensor) ? sensor.SetRcuParam(Param, Size, Value) : sensor.SetRtcuParam(Param, Size, Value);
    });
}

int64_t tovamod_Sensor_GetRtcuParam(void* Sensor, int32_t Param) {
    return WithSensor(Sensor, int64_t{-1}, [&](TTemplateSensors& sensor) -> int64_t {
        if (IsRemoteRadioUnit(sensor)) return sensor.GetRtcuParam(Param);
        // The low 32 bits, widened with their sign.
        return static_cast<int32_t>(sensor.GetRcuParam(Param));
    });
}

int32_t tovamod_Sensor_SetEEPROMData(void* Sensor, int32_t Param, int32_t Size, int32_t Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) {
        return sensor.SetEEPROMData(Param, Size, static_cast<int64_t>(Value));
    });
}

int32_t tovamod_Sensor_GetSUParam(void* Sensor, int32_t Param) {
    return WithSensor(Sensor, -1,
                      [&](TTemplateSensors& sensor) { return static_cast<int32_t>(sensor.GetSUParam(Param)); });
}

int32_t tovamod_Sensor_GetName(void* Sensor, const z5_char16** Name) {
    return WithSensor(
        Sensor, -1,
        [&](TTemplateSensors& sensor) {
            std::u16string name = sensor.GetName();
            if (Name) *Name = KeepText<TSensorNameTag>(std::move(name));
            return 0;
        },
        [&] {
            if (Name) *Name = u"";
        });
}

int32_t tovamod_Sensor_GetEEPROMData(void* Sensor, TSensorEEPROMData* P) {
    return WithSensor(Sensor, -1,
                      [&](TTemplateSensors& sensor) { return sensor.GetEEPROMData(0, P, nullptr, nullptr); });
}

int32_t tovamod_Sensor_GetEEPROMDataCal(void* Sensor, float* P) {
    return WithSensor(Sensor, -1,
                      [&](TTemplateSensors& sensor) { return sensor.GetEEPROMData(1, nullptr, P, nullptr); });
}

int32_t tovamod_Sensor_GetEEPROMDataTrim(void* Sensor, float* P) {
    return WithSensor(Sensor, -1,
                      [&](TTemplateSensors& sensor) { return sensor.GetEEPROMData(2, nullptr, nullptr, P); });
}

int32_t tovamod_Sensor_SetEEPROMDataCal(void* Sensor, int32_t Param, float Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.SetEEPROMDataCal(Param, Value); });
}

int32_t tovamod_Sensor_SetEEPROMDataTrim(void* Sensor, int32_t Param, float Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.SetEEPROMDataTrim(Param, Value); });
}

int32_t tovamod_Sensor_GetRTCUParams(void* Sensor, TRTCUParam* P) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.GetRTCUParams(P); });
}

int32_t tovamod_Sensor_SetRange(void* Sensor, int32_t Value1, int32_t Value2) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.SetRange(Value1, Value2); });
}

int32_t tovamod_Sensor_GetRange(void* Sensor, int32_t Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.GetRange(Value); });
}

int32_t tovamod_Sensor_SetCommand(void* Sensor, int32_t Value1, int32_t Value2) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.SetCommand(Value1, Value2); });
}

void tovamod_Sensor_GetRtcuMACExtAddr(void* Sensor, z5_char16** Addr) {
    std::u16string mac(kNoMAC16);
    WithSensor(Sensor, 0, [&](TTemplateSensors& sensor) {
        std::u16string text = sensor.GetMACExtAddr();
        // A sensor class without a MAC knows no address.
        if (!text.empty()) mac = std::move(text);
        return 0;
    });
    AssignWide(Addr, mac);
}

int32_t tovamod_Sensor_SetValueToZero(void* Sensor, int32_t Value) {
    return WithSensor(Sensor, -1, [&](TTemplateSensors& sensor) { return sensor.SetValueToZero(Value); });
}

}  // extern "C"
#pragma GCC visibility pop
