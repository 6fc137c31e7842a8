// The protocol clock's scale for the length of a scope.
#pragma once
#include "z5clock.h"

namespace z5test {

class ScopedTimeScale {
public:
    explicit ScopedTimeScale(double scale) : old_(z5::TimeScale()) { z5::SetTimeScale(scale); }
    ~ScopedTimeScale() { z5::SetTimeScale(old_); }
    ScopedTimeScale(const ScopedTimeScale&) = delete;
    ScopedTimeScale& operator=(const ScopedTimeScale&) = delete;

private:
    double old_;
};

}  // namespace z5test
