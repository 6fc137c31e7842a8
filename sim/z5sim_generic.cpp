#include "z5sim_generic.h"

namespace z5sim {

std::vector<Bytes> GenericDevice::OnFrame(const Message& request) {
    if (answer_ == Answer::Nothing) return {};
    return {request.bytes};
}

std::vector<Bytes> GenericDevice::OnLine(const Message& request) {
    if (answer_ == Answer::Nothing) return {};
    return {request.bytes};
}

}  // namespace z5sim
