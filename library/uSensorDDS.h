// The function generator's sensor: five channels; everything else is the base's.
#pragma once

#include <atomic>

#include "uTemplateSensors.h"

class TDDS;

class TSensorsDDS : public TTemplateSensors {
public:
    static constexpr int32_t kChannels = 5;

    explicit TSensorsDDS(TDDS* Owner = nullptr) : Owner(Owner) {}
    // Owner := nullptr, then the sensor teardown.
    ~TSensorsDDS() override;

    int32_t GetChannelCount() override;  // 5
    TDDS* GetOwner() const { return Owner.load(); }

private:
    std::atomic<TDDS*> Owner;
};
