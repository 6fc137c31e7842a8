#include "uSensorSpeedofLight.h"

#include "uSpeedofLight.h"

TSensorsSpeedofLight::~TSensorsSpeedofLight() {
    Owner.store(nullptr);
    BeginDestruction();
}

int32_t TSensorsSpeedofLight::GetChannelCount() { return kChannels; }

int32_t TSensorsSpeedofLight::GetSamplePeriod2() { return SamplePeriod2.load(); }

void TSensorsSpeedofLight::StoreSamplePeriod2(int32_t Value) { SamplePeriod2.store(Value); }

int32_t TSensorsSpeedofLight::ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) {
    TLIGHTSPEED* owner = Owner.load();
    if (!owner || owner->IsDestroying.load()) return -1;
    // Called without the vtable: the device's destructor may be rewriting it.
    return owner->TRTUU::ReadLatest(0, Count, Values, Mode);
}

int32_t TSensorsSpeedofLight::SetValueToZero(int32_t) {
    TLIGHTSPEED* owner = Owner.load();
    return owner ? owner->Zero() : -1;
}
