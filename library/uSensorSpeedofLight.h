// The speed of light meter's sensor: two channels, the sample period that the
// meter's parameter 9 sets, latest values and zeroing through the meter itself
// (address 0).
#pragma once

#include <atomic>

#include "uTemplateSensors.h"

class TLIGHTSPEED;

class TSensorsSpeedofLight : public TTemplateSensors {
public:
    static constexpr int32_t kChannels = 2;

    explicit TSensorsSpeedofLight(TLIGHTSPEED* Owner = nullptr) : Owner(Owner) {}
    // Owner := nullptr, then the sensor teardown.
    ~TSensorsSpeedofLight() override;

    int32_t GetChannelCount() override;  // 2
    // SamplePeriod2 (0 until a parameter-9 write succeeded).
    int32_t GetSamplePeriod2() override;
    // Set by the meter after a successful write of its parameter 9 (the
    // inherited SetSamplePeriod2 stays the base's: it changes nothing).
    void StoreSamplePeriod2(int32_t Value);
    // The owner's ReadLatest at address 0; -1 without an owner or while it is being destroyed.
    int32_t ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) override;
    // The meter's zeroing request; Value is not used.
    int32_t SetValueToZero(int32_t Value) override;

    TLIGHTSPEED* GetOwner() const { return Owner.load(); }

private:
    std::atomic<TLIGHTSPEED*> Owner;
    std::atomic<int32_t> SamplePeriod2{0};
};
