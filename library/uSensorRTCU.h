// A remote radio sensor unit behind a radio base (or the Desk-Port's wired unit):
// every sensor operation goes to the owning device with the unit's radio address.
// It caches the sample periods (parameters 8 and 9) and parameter 20, and knows its
// channel count (the set bits of the low byte of parameter 28).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "uTemplateSensors.h"

class TRTUU;

class TSensorsRTCU : public TTemplateSensors {
public:

    TSensorsRTCU() = default;
    // Owner := nullptr, then the sensor teardown.
    ~TSensorsRTCU() override;

    std::u16string GetName() override;  // "RTCU"
    int32_t GetChannelCount() override;
    void SetChannelCount(int32_t Value) override;
    int32_t GetSamplePeriod1() override;
    void SetSamplePeriod1(int32_t Value) override;
    int32_t GetSamplePeriod2() override;
    void SetSamplePeriod2(int32_t Value) override;
    int32_t GetParam20() override;
    void SetParam20(int32_t Value) override;
    // Parameter 4 of the unit; -1 failed.
    int64_t GetDeviceParam4() override;

    // -1 without an owner or while it is being destroyed (nothing sent).
    int32_t ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) override;
    // The write, then on success the cache of parameter 8, 9 (and the reader's time
    // base), 20 or 28 (the channel count); a failed write (-1) changes no cache.
    int32_t SetRtcuParam(int32_t Param, int32_t Size, int32_t Value) override;
    int64_t GetRtcuParam(int32_t Param) override;
    // Parameter 3; "FFFFFFFFFFFFFFFF" on failure.
    std::u16string GetMACExtAddr() override;
    // 1 filled, -1 failed (record untouched).
    int32_t GetRTCUParams(TRTCUParam* Params) override;
    int32_t SetEEPROMData(int32_t Param, int32_t Size, int64_t Value) override;
    int32_t SetEEPROMDataCal(int32_t Param, float Value) override;
    int32_t SetEEPROMDataTrim(int32_t Param, float Value) override;
    int64_t GetSUParam(int32_t Param) override;
    int32_t GetEEPROMData(int32_t Kind, TSensorEEPROMData* Data, float* Calibration, float* Trim) override;
    int32_t SetRange(int32_t Value1, int32_t Value2) override;
    int32_t GetRange(int32_t Value) override;
    int32_t SetCommand(int32_t Value1, int32_t Value2) override;
    int32_t SetValueToZero(int32_t Value) override;

    // Sensor EEPROM value 1 at the last refresh (0 before the first); read by the
    // stream parser.
    int32_t GetIdentity() const { return Identity.load(std::memory_order_relaxed); }
    void SetIdentity(int32_t Value) {
        Identity.store(Value, std::memory_order_relaxed);
        IdentityKnown.store(true, std::memory_order_relaxed);
    }
    // False until a refresh stored an identity: a unit whose identity is 0 still gets
    // its channel count on its first refresh.
    bool HasIdentity() const { return IdentityKnown.load(std::memory_order_relaxed); }
    TRTUU* GetOwner() const { return Owner.load(); }
    void SetOwner(TRTUU* Value) { Owner.store(Value); }

private:
    std::atomic<int32_t> Identity{0};
    std::atomic<bool> IdentityKnown{false};
    std::atomic<TRTUU*> Owner{nullptr};
    std::atomic<int32_t> SamplePeriod1{10};
    std::atomic<int32_t> SamplePeriod2{2000};
    std::atomic<int32_t> Param20{3};
    std::atomic<int32_t> ChannelCount{0};
};
