#include "uTemplateDevices.h"

int32_t TTemplateDevices::GetReaderPending() { return -1; }
int32_t TTemplateDevices::GetTyp() { return -1; }
void TTemplateDevices::GetName(std::u16string&) {}
std::string TTemplateDevices::GetVersion() { return {}; }
int32_t TTemplateDevices::GetMaxSensors() { return -1; }
void TTemplateDevices::SetSerialNo(const std::string&) {}
std::string TTemplateDevices::GetSerialNo() { return {}; }
d2xx::Handle TTemplateDevices::GetHandle() { return nullptr; }

TTemplateDevices::~TTemplateDevices() = default;

TTemplateSensors* TTemplateDevices::GetSensor(int32_t) { return nullptr; }
TTemplateSensors* TTemplateDevices::FindSensorByAddress(int32_t) { return nullptr; }
int32_t TTemplateDevices::SendCmdAndGetResponse(const char*, int32_t&) { return -1; }
int32_t TTemplateDevices::ReadLatest(int32_t, int32_t, int32_t*, int32_t) { return -1; }
int32_t TTemplateDevices::OpenDevice(int32_t, int32_t) { return -1; }
int32_t TTemplateDevices::CloseDevice() { return -1; }
int32_t TTemplateDevices::GetSensorCount() { return -1; }
int32_t TTemplateDevices::UpdateStart(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                      const uint8_t*) {
    return -1;
}
int32_t TTemplateDevices::UpdateFinish(int32_t, uint32_t) { return -1; }
int32_t TTemplateDevices::UpdateBlocks(int32_t, int32_t, FirmwareStream* const*) { return -1; }
int32_t TTemplateDevices::SetRTUUParam(int32_t, int32_t, int32_t) { return -1; }
int64_t TTemplateDevices::GetRTUUParam(int32_t) { return -1; }
int32_t TTemplateDevices::GetRTUUParams(TRTUUParams*) { return -1; }
int32_t TTemplateDevices::GetDLUFileData(TDLUFileInfo*) { return -1; }
bool TTemplateDevices::RefreshSensors(TDeviceStructure*) { return false; }
int32_t TTemplateDevices::GetDLUValues(TDLUFileInfo*, int32_t) { return -1; }
