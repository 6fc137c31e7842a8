#include "uSensorXray.h"

#include "uXray.h"

TSensorsXRAY::~TSensorsXRAY() {
    Owner.store(nullptr);
    BeginDestruction();
}

int32_t TSensorsXRAY::GetChannelCount() { return kChannels; }

int32_t TSensorsXRAY::ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) {
    TXRAY* owner = Owner.load();
    if (!owner || owner->IsDestroying.load()) return -1;
    // Called without the vtable: the device's destructor may be rewriting it.
    return owner->TRTUU::ReadLatest(GetAddress(), Count, Values, Mode);
}
