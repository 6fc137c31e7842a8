// The radio base's own radio unit: its address is the base's parameter 4, its MAC
// parameter 2. Parameter reads and writes go to the owning device at that address;
// every other sensor operation is the base class's.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "uTemplateSensors.h"

class TRTUU;

class TSensorsRCU : public TTemplateSensors {
public:
    TSensorsRCU() = default;
    ~TSensorsRCU() override;

    std::u16string GetName() override;  // "RCU"
    // The write (no caching); 0 / -1.
    int32_t SetRcuParam(int32_t Param, int32_t Size, int32_t Value) override;
    // -1 failed.
    int64_t GetRcuParam(int32_t Param) override;
    // Parameter 2; "FFFFFFFFFFFFFFFF" on failure.
    std::u16string GetMACExtAddr() override;

    // Always 0 for the own unit.
    int32_t GetIdentity() const { return 0; }
    TRTUU* GetOwner() const { return Owner.load(); }
    void SetOwner(TRTUU* Value) { Owner.store(Value); }

private:
    std::atomic<TRTUU*> Owner{nullptr};
};
