#include "uSensorDDS.h"

TSensorsDDS::~TSensorsDDS() {
    Owner.store(nullptr);
    BeginDestruction();
}

int32_t TSensorsDDS::GetChannelCount() { return kChannels; }
