// A device without a model: it echoes every frame and line back, or answers nothing.
#pragma once
#include "z5sim_device.h"

namespace z5sim {

class GenericDevice : public Device {
public:
    enum class Answer { Echo, Nothing };
    GenericDevice(std::string description, std::string serial, Answer answer = Answer::Echo)
        : Device(std::move(description), std::move(serial)), answer_(answer) {}

protected:
    std::vector<Bytes> OnFrame(const Message& request) override;
    std::vector<Bytes> OnLine(const Message& request) override;

private:
    const Answer answer_;
};

}  // namespace z5sim
