#include "uSensorRCU.h"

#include "uRTUU.h"
#include "z5widestring.h"

TSensorsRCU::~TSensorsRCU() { BeginDestruction(); }

std::u16string TSensorsRCU::GetName() { return u"RCU"; }

int32_t TSensorsRCU::SetRcuParam(int32_t Param, int32_t Size, int32_t Value) {
    TRTUU* owner = Owner.load();
    return owner ? owner->WriteParam(GetAddress(), Param, Size, Value) : -1;
}

int64_t TSensorsRCU::GetRcuParam(int32_t Param) {
    TRTUU* owner = Owner.load();
    return owner ? owner->ReadParam(GetAddress(), Param) : -1;
}

std::u16string TSensorsRCU::GetMACExtAddr() {
    TRTUU* owner = Owner.load();
    return z5::Latin1ToUtf16(owner ? owner->GetMACExtAddr(GetAddress(), true) : std::string(kNoMAC));
}
