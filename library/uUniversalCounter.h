// The universal counter: a radio base device with the name "UNIZ" and the type
// number 7; everything else is the radio base device's.
#pragma once

#include "uRTUU.h"

class TUNIZ : public TRTUU {
public:
    static constexpr int32_t kTyp = 7;

    TUNIZ() = default;
    // Closes the device first, then the radio base device's destruction runs.
    ~TUNIZ() override;

    int32_t GetTyp() override;          // 7; -1 while destroying
    void GetName(std::u16string& Name) override;  // "UNIZ"; left as it is while destroying
};
