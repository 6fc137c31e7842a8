// The function generator: a radio base device with the name "DDS" and the type
// number 10, whose own parameters live at radio address 0x0100; one TSensorsDDS.
// Its open sends "0017,1,\r" and its destruction "0018,1,\r" while the line is
// still open.
#pragma once

#include "uRTUU.h"

class TDDS : public TRTUU {
public:
    static constexpr int32_t kTyp = 10;
    static constexpr int32_t kOwnAddress = 0x0100;
    static constexpr uint8_t kSensorKind = 9;

    TDDS() = default;
    // Sends "0018,1,\r", then the radio base device's destruction.
    ~TDDS() override;

    int32_t GetTyp() override;          // 10; -1 while destroying
    void GetName(std::u16string& Name) override;  // "DDS"; empty while destroying
    // The radio base device's open, then "0017,1,\r" (its result is not used).
    int32_t OpenDevice(int32_t BaudRate, int32_t FlowControl) override;
    // Codes 17..20 and 22..26 send 'M'..'U' to 0x0100 (receive buffer purged
    // first); 0 for a reply '8', else -1. After the exchange 22 starts and 23 stops
    // the reader whatever the reply. Code 21, other codes and texts that do not
    // parse: -1, nothing sent. Reply is not written.
    int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply) override;
    // Parameters at 0x0100. -1 while destroying (nothing sent).
    int32_t SetRTUUParam(int32_t Param, int32_t Size, int32_t Value) override;
    int64_t GetRTUUParam(int32_t Param) override;
    // Reads parameter 0 (unless a measurement runs), then makes the one sensor node
    // at the first call; true when it was made.
    bool RefreshSensors(TDeviceStructure* Node) override;
    // The reader only, no frame; MeasureMode stays. 0.
    int32_t StartMeasure() override;
    int32_t StopMeasure() override;
};
