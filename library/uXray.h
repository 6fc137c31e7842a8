// The X-ray unit: a radio base device with the name "DDS" and the type number 10
// (like the function generator; only the node's kind tells them apart), one
// TSensorsXRAY and three commands with a value byte.
#pragma once

#include "uRTUU.h"

class TXRAY : public TRTUU {
public:
    static constexpr int32_t kTyp = 10;
    static constexpr uint8_t kSensorKind = 10;

    TXRAY() = default;
    // IsDestroying, close, 1200 ms, then the radio base device's destruction.
    ~TXRAY() override;

    int32_t GetTyp() override;          // 10; -1 while destroying
    void GetName(std::u16string& Name) override;  // "DDS"; empty while destroying
    // Codes 17, 18, 19 send 0x2A, 0x2B, 0x2C with the low byte of the first value;
    // 0 for a reply 0x1B, else -1. Other codes and texts that do not parse: -1,
    // nothing sent. Reply is not written.
    int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply) override;
    // Makes the one sensor node at the first call; false afterwards.
    bool RefreshSensors(TDeviceStructure* Node) override;
};
