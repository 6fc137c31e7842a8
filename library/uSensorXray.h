// The X-ray unit's sensor: five channels; its latest values come from the unit
// at the sensor's address.
#pragma once

#include <atomic>

#include "uTemplateSensors.h"

class TXRAY;

class TSensorsXRAY : public TTemplateSensors {
public:
    static constexpr int32_t kChannels = 5;

    explicit TSensorsXRAY(TXRAY* Owner = nullptr) : Owner(Owner) {}
    // Owner := nullptr, then the sensor teardown.
    ~TSensorsXRAY() override;

    int32_t GetChannelCount() override;  // 5
    // -1 without an owner or while it is being destroyed; else the owner's
    // ReadLatest at the sensor's address.
    int32_t ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) override;

    TXRAY* GetOwner() const { return Owner.load(); }

private:
    std::atomic<TXRAY*> Owner;
};
