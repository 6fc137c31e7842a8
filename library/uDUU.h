// The Desk-Port and Starter-Port USB interfaces: a radio base device with the
// name "DUU" and the type number 5, and one wired sensor unit (TSensorsRTCU) at
// radio address 1.
#pragma once

#include "uRTUU.h"

class TSensorsRTCU;

class TDUU : public TRTUU {
public:
    static constexpr int32_t kTyp = 5;
    static constexpr int32_t kUnitAddress = 1;

    TDUU() = default;
    // Closes the device first, then the radio base device's destruction runs.
    ~TDUU() override;

    // 5; -1 while destroying.
    int32_t GetTyp() override;
    // "DUU"; empty while destroying.
    void GetName(std::u16string& Name) override;  // "DUU"; left as it is while destroying
    // The hardware kind (device parameter 11); the arguments are not used.
    int32_t Identify(d2xx::Handle Handle, int64_t& OwnAddress) override;
    // The unit at address 1 (scan thread). While the device answers parameter 11:
    // the first refresh makes its sensor and node (identity, channel count, Value2
    // from parameter 22); later ones take a new identity with its channel count and
    // Value3 from parameter 22. A failed read changes nothing; while a measurement
    // runs nothing is asked. True when the node came or got a new identity.
    bool RefreshSensors(TDeviceStructure* Node) override;

private:
    bool MakeUnit(TDeviceStructure& Node);
    bool UpdateUnit(TSensorStructure& Unit);
    // The channel count of parameter 28 into the sensor and the node; false when
    // the read failed (nothing changed then).
    bool ReadChannelCount(TSensorsRTCU& Sensor, TSensorStructure& Unit);
};
