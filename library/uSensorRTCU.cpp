#include "uSensorRTCU.h"

#include "uRTUU.h"
#include "z5widestring.h"

namespace {
constexpr int32_t kParamSamplePeriod1 = 8;
constexpr int32_t kParamSamplePeriod2 = 9;
constexpr int32_t kParam20 = 20;
constexpr int32_t kParamChannelMask = 28;
constexpr int32_t kParamDevice4 = 4;
}  // namespace

TSensorsRTCU::~TSensorsRTCU() {
    Owner.store(nullptr);
    BeginDestruction();
}

std::u16string TSensorsRTCU::GetName() { return u"RTCU"; }

int32_t TSensorsRTCU::GetChannelCount() { return ChannelCount.load(std::memory_order_relaxed); }
void TSensorsRTCU::SetChannelCount(int32_t Value) { ChannelCount.store(Value, std::memory_order_relaxed); }
int32_t TSensorsRTCU::GetSamplePeriod1() { return SamplePeriod1.load(std::memory_order_relaxed); }
void TSensorsRTCU::SetSamplePeriod1(int32_t Value) { SamplePeriod1.store(Value, std::memory_order_relaxed); }
int32_t TSensorsRTCU::GetSamplePeriod2() { return SamplePeriod2.load(std::memory_order_relaxed); }
void TSensorsRTCU::SetSamplePeriod2(int32_t Value) { SamplePeriod2.store(Value, std::memory_order_relaxed); }
int32_t TSensorsRTCU::GetParam20() { return Param20.load(std::memory_order_relaxed); }
void TSensorsRTCU::SetParam20(int32_t Value) { Param20.store(Value, std::memory_order_relaxed); }

int64_t TSensorsRTCU::GetDeviceParam4() {
    TRTUU* owner = Owner.load();
    return owner ? owner->ReadParam(GetAddress(), kParamDevice4) : -1;
}

int32_t TSensorsRTCU::ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) {
    TRTUU* owner = Owner.load();
    if (!owner || owner->IsDestroying.load()) return -1;
    // Called without the vtable: a derived device's destructor may be rewriting it.
    return owner->TRTUU::ReadLatest(GetAddress(), Count, Values, Mode);
}

int32_t TSensorsRTCU::SetRtcuParam(int32_t Param, int32_t Size, int32_t Value) {
    TRTUU* owner = Owner.load();
    if (!owner) return -1;
    const int32_t r = owner->WriteParam(GetAddress(), Param, Size, Value);
    if (r == -1) return -1;
    switch (Param) {
        case kParamSamplePeriod1: SetSamplePeriod1(Value); break;
        case kParamSamplePeriod2:
            SetSamplePeriod2(Value);
            owner->SetReaderTimeBase(static_cast<uint32_t>(Value));
            break;
        case kParam20: SetParam20(Value); break;
        case kParamChannelMask: SetChannelCount(static_cast<int32_t>(CountBits32(static_cast<uint32_t>(Value) & 0xFF))); break;
        default: break;
    }
    return r;
}

int64_t TSensorsRTCU::GetRtcuParam(int32_t Param) {
    TRTUU* owner = Owner.load();
    return owner ? owner->ReadParam(GetAddress(), Param) : -1;
}

std::u16string TSensorsRTCU::GetMACExtAddr() {
    TRTUU* owner = Owner.load();
    return z5::Latin1ToUtf16(owner ? owner->GetMACExtAddr(GetAddress(), false) : std::string(kNoMAC));
}

int32_t TSensorsRTCU::GetRTCUParams(TRTCUParam* Params) {
    TRTUU* owner = Owner.load();
    return owner ? owner->ReadRTCUParams(GetAddress(), Params) : -1;
}

int32_t TSensorsRTCU::SetEEPROMData(int32_t Param, int32_t Size, int64_t Value) {
    TRTUU* owner = Owner.load();
    return owner ? owner->WriteSensorEEPROM(GetAddress(), Param, Size, Value) : -1;
}

int32_t TSensorsRTCU::SetEEPROMDataCal(int32_t Param, float Value) {
    TRTUU* owner = Owner.load();
    return owner ? owner->WriteSensorEEPROMFloat(GetAddress(), Param, Value) : -1;
}

// Trim values travel in the same frame as calibration values.
int32_t TSensorsRTCU::SetEEPROMDataTrim(int32_t Param, float Value) {
    TRTUU* owner = Owner.load();
    return owner ? owner->WriteSensorEEPROMFloat(GetAddress(), Param, Value) : -1;
}

int64_t TSensorsRTCU::GetSUParam(int32_t Param) {
    TRTUU* owner = Owner.load();
    return owner ? owner->ReadSensorParam(GetAddress(), Param) : -1;
}

int32_t TSensorsRTCU::GetEEPROMData(int32_t Kind, TSensorEEPROMData* Data, float* Calibration, float* Trim) {
    TRTUU* owner = Owner.load();
    return owner ? owner->ReadSensorEEPROM(GetAddress(), Kind, Data, Calibration, Trim) : -1;
}

int32_t TSensorsRTCU::SetRange(int32_t Value1, int32_t Value2) {
    TRTUU* owner = Owner.load();
    return owner ? owner->SetRange(GetAddress(), Value1, Value2) : -1;
}

int32_t TSensorsRTCU::GetRange(int32_t Value) {
    TRTUU* owner = Owner.load();
    return owner ? owner->GetRange(GetAddress(), Value) : -1;
}

int32_t TSensorsRTCU::SetCommand(int32_t Value1, int32_t Value2) {
    TRTUU* owner = Owner.load();
    return owner ? owner->SendSensorCommand(GetAddress(), Value1, Value2) : -1;
}

int32_t TSensorsRTCU::SetValueToZero(int32_t Value) {
    TRTUU* owner = Owner.load();
    return owner ? owner->SetValueToZero(GetAddress(), Value) : -1;
}
