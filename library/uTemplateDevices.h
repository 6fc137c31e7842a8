// Abstract device class: the operation set every device kind implements. The
// base answers each operation with its failure value.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "d2xx/z5d2xx.h"
#include "tovamod.h"

class TTemplateSensors;
struct TRTUUParams;
struct TDLUFileInfo;
struct FirmwareStream;

class TTemplateDevices {
public:
    TTemplateDevices() = default;
    TTemplateDevices(const TTemplateDevices&) = delete;
    TTemplateDevices& operator=(const TTemplateDevices&) = delete;

    // Received, unparsed bytes of the reader; -1.
    virtual int32_t GetReaderPending();
    // -1.
    virtual int32_t GetTyp();
    // Empty.
    // Name := the device class's type code; the base leaves Name as it is.
    virtual void GetName(std::u16string& Name);
    // Empty.
    virtual std::string GetVersion();
    // -1.
    virtual int32_t GetMaxSensors();
    // Ignored.
    virtual void SetSerialNo(const std::string& SerialNo);
    // Empty.
    virtual std::string GetSerialNo();
    // nullptr.
    virtual d2xx::Handle GetHandle();

    virtual ~TTemplateDevices();

    // nullptr.
    virtual TTemplateSensors* GetSensor(int32_t Index);
    // nullptr.
    virtual TTemplateSensors* FindSensorByAddress(int32_t Address);
    // Cmd: zero-terminated command text such as "0025,1,\r"; -1.
    virtual int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply);
    // Values: the caller's array of at least Count entries; -1.
    virtual int32_t ReadLatest(int32_t Address, int32_t Count, int32_t* Values, int32_t Mode);
    // -1.
    virtual int32_t OpenDevice(int32_t BaudRate, int32_t FlowControl);
    // -1.
    virtual int32_t CloseDevice();
    // -1.
    virtual int32_t GetSensorCount();
    // HardwareList: HardwareCount accepted hardware versions, one byte each; -1.
    virtual int32_t UpdateStart(int32_t Address, int32_t NewFirmware, int32_t PartIndex, int32_t PartCount,
                                int32_t FileSize, int32_t DeviceClass, int32_t HardwareCount,
                                const uint8_t* HardwareList);
    // CheckValue: CRC-32 of the part; -1.
    virtual int32_t UpdateFinish(int32_t Address, uint32_t CheckValue);
    // Reserved is read by no device; Stream: the caller's variable holding the stream; -1.
    virtual int32_t UpdateBlocks(int32_t Address, int32_t Reserved, FirmwareStream* const* Stream);
    // -1.
    virtual int32_t SetRTUUParam(int32_t Param, int32_t Size, int32_t Value);
    // -1 (all 64 bits).
    virtual int64_t GetRTUUParam(int32_t Param);
    // Params: the caller's record; -1.
    virtual int32_t GetRTUUParams(TRTUUParams* Params);
    // Records: the caller's first file record; -1.
    virtual int32_t GetDLUFileData(TDLUFileInfo* Records);
    // Node: the device's own live node; true when a sensor node changed. false.
    virtual bool RefreshSensors(TDeviceStructure* Node);
    // -1.
    virtual int32_t GetDLUValues(TDLUFileInfo* Records, int32_t Index);

    // Set first by destruction; every operation and export refuses a device
    // whose flag is set. One way: false to true.
    std::atomic<bool> IsDestroying{false};
};
