// The speed of light meter: a radio base device with the name "SOL" and the type
// number 6, one TSensorsSpeedofLight that answers every address, its own start,
// stop and zeroing, parameter 9 as the sample period and time base, and its own
// firmware update (200-byte blocks, one attempt each, a second confirmation after
// the finish and a closing frame).
#pragma once

#include "uRTUU.h"

class TSensorsSpeedofLight;

class TLIGHTSPEED : public TRTUU {
public:
    static constexpr int32_t kTyp = 6;
    static constexpr uint8_t kSensorKind = 8;
    static constexpr int32_t kParamSamplePeriod = 9;
    static constexpr uint32_t kSecondConfirmationMs = 15000;

    TLIGHTSPEED();
    // IsDestroying, close, 1200 ms, then the radio base device's destruction.
    ~TLIGHTSPEED() override;

    int32_t GetTyp() override;          // 6; -1 while destroying
    void GetName(std::u16string& Name) override;  // "SOL"; empty while destroying
    // 5 the meter's start, 6 its stop, 19 'M' (receive buffer purged first), 20 'N'
    // (0 for a reply 0x1B). Other codes and texts that do not parse: -1, nothing
    // sent. Reply is not written.
    int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply) override;
    // Makes the one sensor node at the first call; true when it was made.
    bool RefreshSensors(TDeviceStructure* Node) override;
    // Its one sensor whatever the address; nullptr before the first refresh.
    TTemplateSensors* FindSensorByAddress(int32_t Address) override;
    // Written at address 0; a successful write of parameter 9 also sets the
    // sensor's SamplePeriod2 and the reader's time base. -1 while destroying.
    int32_t SetRTUUParam(int32_t Param, int32_t Size, int32_t Value) override;

    // The zeroing request (frame 0x4B to address 0); 0 for an empty reply, else -1.
    int32_t Zero();

    int32_t UpdateFinish(int32_t Address, uint32_t CheckValue) override;

protected:
    TUpdateConstants UpdateConstants() const override;

private:
    int32_t MeterStop();
    TSensorsSpeedofLight* OnlySensor();
};
