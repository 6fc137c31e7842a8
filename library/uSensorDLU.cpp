#include "uSensorDLU.h"

#include "uTemplateDevices.h"

TSensorsDLU::TSensorsDLU() : fChannel(std::make_unique<TChannels>()) { fChannelList.push_back(fChannel.get()); }

TSensorsDLU::~TSensorsDLU() {
    // The base's wait runs while the channel is still there.
    BeginDestruction();
    fChannelList.clear();
    fChannel.reset();
}

void TSensorsDLU::SetOwner(TTemplateDevices* Owner, int32_t Address) {
    fOwner = Owner;
    fAddress = Address;
}

int32_t TSensorsDLU::ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) {
    if (GetIsDestroying() || !fOwner) return -1;
    return fOwner->ReadLatest(fAddress, Count, Values, Mode);
}
