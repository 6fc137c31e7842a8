// The Desk-Port and Starter-Port USB interfaces: a radio base device with the
// name "DUU" and the type number 5.
#pragma once

#include "uRTUU.h"

class TDUU : public TRTUU {
public:
    static constexpr int32_t kTyp = 5;

    TDUU() = default;
    // Closes the device first, then the radio base device's destruction runs.
    ~TDUU() override;

    // 5; -1 while destroying.
    int32_t GetTyp() override;
    // "DUU"; empty while destroying.
    std::u16string GetName() override;
};
