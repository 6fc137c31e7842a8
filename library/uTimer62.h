// The Timer 6-2: a radio base device with the name "TIMER62" and the type number
// 8; two commands of its own, the radio base device's discovery otherwise.
#pragma once

#include "uRTUU.h"

class TTimer62 : public TRTUU {
public:
    static constexpr int32_t kTyp = 8;

    TTimer62() = default;
    // Closes the device first, then the radio base device's destruction runs.
    ~TTimer62() override;

    int32_t GetTyp() override;          // 8; -1 while destroying
    void GetName(std::u16string& Name) override;  // "TIMER62"; left as it is while destroying
    // Code 17 sends 'L' (receive buffer purged first), 18 'M'; 0 for a reply 0x1B,
    // else -1. Other codes and texts that do not parse: -1, nothing sent.
    int32_t SendCmdAndGetResponse(const char* Cmd, int32_t& Reply) override;
};
